/* create: packs files and directory trees (with everything below them) into a new zip
 * archive at level 9, replacing ARCHIVE once the new one is complete.
 *   create ARCHIVE PATH... */
#include <kestrel.h>
#include <stdio.h>

static void report(void* context, const kestrel_entry_done* entry) {
  (void)context;
  printf("%s (%llu -> %llu bytes)\n", entry->name, (unsigned long long)entry->size,
         (unsigned long long)entry->compressed_size);
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: create ARCHIVE PATH...\n");
    return 2;
  }
  kestrel_writer* writer = NULL;
  int result = kestrel_writer_open(argv[1], KESTREL_WRITE_OVERWRITE, &writer);
  if (result == KESTREL_OK) result = kestrel_writer_set_level(writer, 9);
  if (result == KESTREL_OK) result = kestrel_writer_set_entry_callback(writer, report, NULL);
  kestrel_add_options options = {0};
  options.recurse = 1;
  for (int i = 2; i < argc && result == KESTREL_OK; i++) {
    result = kestrel_writer_add_path(writer, argv[i], &options);
  }
  if (result == KESTREL_OK) result = kestrel_writer_commit(writer, NULL, NULL);
  if (result != KESTREL_OK) {
    fprintf(stderr, "create: %s: %s\n", argv[1], kestrel_writer_error(writer));
    kestrel_writer_close(writer);
    return 1;
  }
  /* Files that could not be read are passed over: name each one and say so in the status. */
  kestrel_commit_stats stats;
  kestrel_writer_stats(writer, &stats);
  for (size_t i = 0; i < stats.skipped; i++) {
    const char *path, *reason;
    kestrel_writer_skipped(writer, i, &path, &reason);
    fprintf(stderr, "create: %s passed over: %s\n", path, reason);
  }
  kestrel_writer_close(writer);
  return stats.skipped == 0 ? 0 : 1;
}

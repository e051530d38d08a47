/* extract: unpacks a zip archive into a directory, or only the entries named after it,
 * reporting each entry that fails. Names that would leave the directory are refused.
 *   extract ARCHIVE DIR [NAME...] */
#include <kestrel.h>
#include <stdio.h>

static void report(void* context, const kestrel_entry* entry, int result, const char* message,
                   const char* path) {
  (void)context;
  if (result == KESTREL_OK) {
    printf("%s\n", path);
  } else {
    fprintf(stderr, "extract: %s: %s\n", entry->name, message);
  }
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: extract ARCHIVE DIR [NAME...]\n");
    return 2;
  }
  kestrel_reader* reader = kestrel_reader_new();
  int result = kestrel_reader_open(reader, argv[1]);
  if (result == KESTREL_OK) {
    kestrel_extract_options options = {0};
    options.overwrite = KESTREL_OVERWRITE_ALWAYS;
    options.include = (const char* const*)(argv + 3);
    options.include_count = (size_t)(argc - 3);
    options.entry_done = report;
    result = kestrel_reader_extract_all(reader, argv[2], &options);
  }
  if (result != KESTREL_OK) {
    fprintf(stderr, "extract: %s: %s\n", argv[1], kestrel_reader_error(reader));
  }
  kestrel_reader_close(reader);
  return result == KESTREL_OK ? 0 : 1;
}

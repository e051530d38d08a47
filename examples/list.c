/* list: prints the entries of a zip archive, one per line: size, method, date, name.
 *   list ARCHIVE */
#include <kestrel.h>
#include <stdio.h>
#include <time.h>

static const char* method_name(unsigned method) {
  switch (method) {
    case 0: return "stored";
    case 1: return "shrunk";
    case 2: case 3: case 4: case 5: return "reduced";
    case 6: return "imploded";
    case 8: return "deflated";
    default: return "other";
  }
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: list ARCHIVE\n");
    return 2;
  }
  kestrel_reader* reader = kestrel_reader_new();
  int result = kestrel_reader_open(reader, argv[1]);
  kestrel_entry entry;
  uint64_t count = 0, total = 0;
  while (result == KESTREL_OK && (result = kestrel_reader_next(reader, &entry)) == KESTREL_OK) {
    char date[32];
    time_t mtime = (time_t)entry.mtime;
    strftime(date, sizeof date, "%Y-%m-%d %H:%M", localtime(&mtime));
    printf("%10llu  %-8s  %s  %s\n", (unsigned long long)entry.uncompressed_size,
           method_name(entry.method), date, entry.name);
    count++;
    total += entry.uncompressed_size;
  }
  if (result != KESTREL_END) {
    fprintf(stderr, "list: %s: %s\n", argv[1], kestrel_reader_error(reader));
    kestrel_reader_close(reader);
    return 1;
  }
  printf("%10llu  %llu entries\n", (unsigned long long)total, (unsigned long long)count);
  kestrel_reader_close(reader);
  return 0;
}

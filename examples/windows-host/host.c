/* A small Windows host of Kestrel.dll: packs a folder, checks the archive, unpacks it into a
 * second folder and lists what came out. It links the DLL through its import library
 * (libKestrel.dll.a for MinGW, Kestrel.lib for MSVC) and includes kestrel.h unchanged.
 *
 *   windows-host FOLDER WORKDIR    -> WORKDIR\example.zip and WORKDIR\unpacked\...
 *
 * Paths are in the ANSI code page, as the library expects. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "kestrel.h"

/* Prints every file below dir (path relative to the listing's root, size in bytes). */
static void list_files(const char* dir, const char* relative) {
  char pattern[MAX_PATH];
  WIN32_FIND_DATAA found;
  snprintf(pattern, sizeof pattern, "%s\\*", dir);
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    char path[MAX_PATH], name[MAX_PATH];
    if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
    snprintf(path, sizeof path, "%s\\%s", dir, found.cFileName);
    snprintf(name, sizeof name, "%s%s%s", relative, *relative ? "\\" : "", found.cFileName);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      list_files(path, name);
    } else {
      printf("  %s (%lu bytes)\n", name, (unsigned long)found.nFileSizeLow);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

int main(int argc, char** argv) {
  char archive[MAX_PATH], unpacked[MAX_PATH];
  if (argc != 3) {
    fprintf(stderr, "usage: windows-host FOLDER WORKDIR\n");
    return 2;
  }
  snprintf(archive, sizeof archive, "%s\\example.zip", argv[2]);
  snprintf(unpacked, sizeof unpacked, "%s\\unpacked", argv[2]);
  /* ZipFile asks before replacing an existing archive; this host always starts afresh. */
  DeleteFileA(archive);

  printf("Kestrel %s\n", KestrelGetVersion());
  int32_t packed = ZipFile(argv[1], archive, "", 6, 1);
  if (packed < 0) {
    fprintf(stderr, "windows-host: could not pack %s\n", argv[1]);
    return 1;
  }
  printf("packed %d files into example.zip\n", (int)packed);
  if (!isZip(archive)) {
    fprintf(stderr, "windows-host: %s is not a zip archive\n", archive);
    return 1;
  }
  if (!UnZipFile(archive, unpacked, "")) {
    fprintf(stderr, "windows-host: could not unpack %s\n", archive);
    return 1;
  }
  printf("unpacked:\n");
  list_files(unpacked, "");
  return 0;
}

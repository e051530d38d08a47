// library_unpack.h — unpacks a whole archive with the library's reader the way the entry point
// does (the directory walker hands out the records, one ExtractEntry each, the archive held
// open for the walk), for benchmarks that compare it with `unzip` on the same archive.
#pragma once

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "reader/extract_entry.h"
#include "reader/unzip_state.h"
#include "reader/zip_walker.h"

namespace bench {

// Extracts every entry of the host archive into the host directory destDir; returns the
// number of entries that failed (each is named on stderr), or -1 if the walk cannot start.
inline int UnpackWithLibrary(const std::string& archive, const std::string& destDir) {
  namespace os = kestrel::os;
  namespace reader = kestrel::reader;
  std::string drivedArchive, drivedDest;
  if (!os::host::DrivePath(archive, drivedArchive) || !os::host::DrivePath(destDir, drivedDest)) {
    std::fprintf(stderr, "no drive maps %s or %s\n", archive.c_str(), destDir.c_str());
    return -1;
  }
  if (drivedDest.back() != '\\') drivedDest += '\\';
  reader::ArchiveHold hold(drivedArchive);
  os::NameLookupScope names;
  reader::ZipDirEntry entry;
  if (reader::FirstZipEntry(drivedArchive, entry) != 0) {
    std::fprintf(stderr, "%s: cannot walk the directory\n", archive.c_str());
    return -1;
  }
  int failed = 0;
  do {
    const std::string path = drivedDest + entry.name;
    const reader::DirectorySizes sizes = reader::DirectorySizesOf(entry);
    const int result = reader::ExtractEntry(drivedArchive.c_str(), path.c_str(), entry.attributes,
                                            int32_t(entry.localHeaderOffset), nullptr, 0, &sizes);
    if (result != reader::ExtractOk) {
      std::fprintf(stderr, "%s: %s\n", entry.name, reader::ExtractResultText(result));
      ++failed;
    }
  } while (reader::NextZipEntry(entry) == 0);
  return failed;
}

}  // namespace bench

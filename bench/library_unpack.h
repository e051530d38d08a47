// library_unpack.h — unpacks a whole archive with the library's extraction driver, the way the
// entry point does (one ExtractEntry per directory record, the archive held open for the
// walk), for benchmarks that compare it with `unzip` on the same archive.
#pragma once

#include <cstdio>
#include <string>

#include "bench/zip_index.h"
#include "platform/platform.h"
#include "reader/extract_entry.h"
#include "reader/unzip_state.h"

namespace bench {

// Extracts every entry of the host archive into the host directory destDir; returns the
// number of entries that failed (each is named on stderr).
inline int UnpackWithLibrary(const std::string& archive, const std::string& destDir) {
  namespace os = kestrel::os;
  std::string drivedArchive, drivedDest;
  if (!os::host::DrivePath(archive, drivedArchive) || !os::host::DrivePath(destDir, drivedDest)) {
    std::fprintf(stderr, "no drive maps %s or %s\n", archive.c_str(), destDir.c_str());
    return 1;
  }
  if (drivedDest.back() != '\\') drivedDest += '\\';
  const ZipIndex index = ReadZipIndex(archive);
  kestrel::reader::ArchiveHold hold(drivedArchive);
  int failed = 0;
  for (const ZipIndexEntry& e : index.entries) {
    std::string path = drivedDest + e.name;
    for (char& c : path) c = c == '/' ? '\\' : c;
    const int result = kestrel::reader::ExtractEntry(drivedArchive.c_str(), path.c_str(),
                                                     e.dosAttributes, int32_t(e.localOffset),
                                                     nullptr, 0);
    if (result != kestrel::reader::ExtractOk) {
      std::fprintf(stderr, "%s: %s\n", e.name.c_str(), kestrel::reader::ExtractResultText(result));
      ++failed;
    }
  }
  return failed;
}

}  // namespace bench

// fuzz_drive_path.h — the drive path the library sees for a host scratch file, shared by the
// fuzz targets that hand files to the zip component by name.
#pragma once

#include <string>

#include "platform/platform.h"

// Through the drive table when the path is mapped; otherwise the default C: mapping of "/".
inline std::string DrivePathOf(const std::string& host) {
  std::string drive;
  if (kestrel::os::host::DrivePath(host, drive)) return drive;
  std::string p = host;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return "C:" + p;
}

// entry_path.h — where an archive entry may be written: the output path of an entry under the
// destination directory, refused when the stored name could reach outside it or would open
// a device of the system instead of a file.
//
// One function serves UnZipFile and the kestrel command, so both refuse the same names.
#pragma once

#include <string>

#include "platform/platform.h"

namespace kestrel::exports {

// Longest output path (destination directory plus entry name) the extraction accepts: what
// the system's paths take (259 characters on Windows, 4095 bytes on Linux), and why not.
inline constexpr size_t kMaxOutputPath = os::kMaxPath - 1;
#if defined(_WIN32)
inline constexpr const char* kOutputPathTooLong = "output path longer than 259 characters";
#else
inline constexpr const char* kOutputPathTooLong = "output path longer than 4095 bytes";
#endif

enum class EntryPath {
  Ok,       // outputPath holds the path to write
  Unsafe,   // the name is empty, absolute, names a drive or stream, climbs with "..", or
            // has a component that opens a device (on Windows: CON, nul.txt, COM1, ...)
  TooLong,  // the output path would exceed kMaxOutputPath characters
};

// True when name (as the walker delivers it, "\" separators, code page bytes) stays inside
// any directory it is appended to and names files there, not devices.
bool IsSafeEntryName(const std::string& name);

// destDir, a "\" when it does not end in one, then the entry name. outputPath is set only
// when the result is Ok.
EntryPath OutputPathFor(const std::string& destDir, const std::string& name,
                        std::string& outputPath);

}  // namespace kestrel::exports

// entry_path.h — where an archive entry may be written: the output path of an entry under the
// destination directory, refused when the stored name could reach outside it or would open
// a device of the system instead of a file.
//
// One function serves UnZipFile and the kestrel command, so both refuse the same names.
#pragma once

#include <string>

namespace kestrel::exports {

// Longest output path (destination directory plus entry name) the extraction accepts.
inline constexpr size_t kMaxOutputPath = 259;

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

// zip_file.h — the packing request behind the exported ZipFile: its result and, for a
// failure, the message kestrel_last_error gives.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::exports {

struct ZipFileOutcome {
  int32_t result = 0;        // what ZipFile returns: files packed, or -1
  bool splitFailed = false;  // the floppy split of an A: archive did not complete
  std::string failure;       // why the result is -1 (ANSI text), empty otherwise
};

// ZipFile's whole operation. Never throws.
ZipFileOutcome PackSource(const std::string& source, const std::string& zipName, int32_t packLevel,
                          bool recurse);

}  // namespace kestrel::exports

// zip_file.h — the packing request behind the exported ZipFile, for the library's own hosts
// (the kestrel command) that want to watch the component's progress events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestrel::writer {
class TLynZip;
}

namespace kestrel::exports {

struct ZipFileOutcome {
  int32_t result = 0;        // what ZipFile returns: files packed, or -1
  bool splitFailed = false;  // the floppy split of an A: archive did not complete
  std::string failure;       // why the result is -1 (ANSI text), empty otherwise
};

// ZipFile's whole operation. prepare (when set) is called with the configured component
// right before it runs, to attach event handlers. Never throws. With spanA, an archive on A:
// is written there by the component itself (its spanned mode) instead of as a volume set.
ZipFileOutcome PackSource(const std::string& source, const std::string& zipName, int32_t packLevel,
                          bool recurse, const std::function<void(writer::TLynZip&)>& prepare = {},
                          bool spanA = false);

}  // namespace kestrel::exports

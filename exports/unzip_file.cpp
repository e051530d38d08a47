// unzip_file.cpp — the exported UnZipFile: unpacks an archive into a directory.
#include <exception>

#include "exports/host_hooks.h"
#include "exports/unpack_walk.h"
#include "kestrel.h"
#include "platform/platform.h"
#include "reader/unzip_state.h"

extern "C" uint8_t KESTREL_CALL UnZipFile(const char* source, const char* destDir,
                                          const char* /*reserved*/) {
  using namespace kestrel::exports;
  if (source == nullptr || destDir == nullptr) {
    SetLastFailure("no source or destination given");
    return 0;
  }
  try {
    const WalkSummary summary = UnpackArchive(source, destDir, WalkMode::Extract, nullptr);
    if (summary.stopResult == kestrel::reader::ExtractCancelled) {
      // The host's request has been acted on: it must not cancel the next call too.
      kestrel::os::TakeCancelRequest();
      SetLastFailure("cancelled");
      return uint8_t(summary.result);
    }
    SetLastFailure(summary.failure);
    return uint8_t(summary.result);
  } catch (const std::exception&) {
    // Nothing may escape to a foreign caller; memory running out is the only way here.
    SetLastFailure("out of memory");
    return 0;
  }
}

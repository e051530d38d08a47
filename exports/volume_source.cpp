// volume_source.cpp — joining a floppy volume set for UnZipFile, and removing it afterwards.
#include "exports/volume_source.h"

#include <cctype>

#include "exports/volume_set.h"
#include "platform/platform.h"

namespace kestrel::exports {

JoinedArchive::JoinedArchive(const std::string& source) : path_(source) {
  const bool onA = !source.empty() && std::toupper(static_cast<unsigned char>(source[0])) == 'A';
  if (!onA || !IsVolumeSetFile(source)) return;
  const std::string temp = os::TempPath();
  // A temporary directory that does not fit the 100-character buffer is refused, like one
  // the system cannot give.
  if (temp.empty() || temp.size() > kMaxTempPath) {
    outcome_ = Outcome::Failed;
    return;
  }
  std::string storedName;
  if (JoinVolumes(source, temp, storedName) == 0) {
    // The join removes its own incomplete output; nothing is left to delete here.
    outcome_ = Outcome::Failed;
    return;
  }
  outcome_ = Outcome::Joined;
  path_ = temp + storedName;
  joined_ = true;
}

JoinedArchive::~JoinedArchive() {
  if (joined_) os::DeleteFile(path_);
}

}  // namespace kestrel::exports

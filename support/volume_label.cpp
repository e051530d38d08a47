// volume_label.cpp — volume labels through the platform layer.
#include "support/volume_label.h"

#include "platform/platform.h"

namespace kestrel::support {

namespace {
// The label buffer holds 14 bytes, terminator included.
constexpr size_t kLabelBuffer = 14;
}  // namespace

bool SetVolumeLabel(const std::string& root, const std::string& label) {
  os::SetVolumeLabel(root, std::string());
  return os::SetVolumeLabel(root, label);
}

std::string GetVolumeLabel(const std::string& root) {
  std::string label;
  if (!os::GetVolumeLabel(root, label)) return std::string();
  // A label that would not fit the buffer fails the system call there: no label.
  if (label.size() >= kLabelBuffer) return std::string();
  return label;
}

}  // namespace kestrel::support

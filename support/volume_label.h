// volume_label.h — reading and writing the volume label of a disk (spanned archives).
#pragma once

#include <string>

namespace kestrel::support {

// Removes the label of the disk at root (for example "A:\"), then sets label; the result is
// that of setting it.
bool SetVolumeLabel(const std::string& root, const std::string& label);
// The label, as it fits a 14-byte buffer (at most 13 bytes); empty when it cannot be read.
std::string GetVolumeLabel(const std::string& root);

}  // namespace kestrel::support

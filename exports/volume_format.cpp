// volume_format.cpp — volume header encoding, volume names and the stored-name checks.
#include "exports/volume_format.h"

#include <cctype>

#include "classlib/ansi_string.h"

namespace kestrel::exports {

int32_t VolumeCount(int64_t total, int64_t volumeSize) {
  return static_cast<int32_t>((total + volumeSize - 1) / volumeSize);
}

int64_t VolumeDataLength(int64_t total, int64_t volumeSize, int32_t k) {
  int64_t start = static_cast<int64_t>(k - 1) * volumeSize;
  if (k < 1 || start >= total) return 0;
  return total - start < volumeSize ? total - start : volumeSize;
}

std::string VolumeBase(const std::string& path) {
  size_t dot = path.find('.');
  return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string VolumeName(const std::string& base, int32_t k) {
  return base + (k < 10 ? ".m0" : ".m") + std::to_string(k);
}

void AppendInt32(std::string& out, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

int32_t DecodeInt32(const unsigned char* bytes) {
  uint32_t v = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
               uint32_t{bytes[3]} << 24;
  return static_cast<int32_t>(v);
}

std::string VolumeHeader(int32_t k) {
  std::string header(kVolumeTag, kTagBytes);
  AppendInt32(header, k);
  return header;
}

std::string FirstVolumeHeader(int32_t total, int32_t volumeSize, const std::string& name) {
  std::string header = VolumeHeader(1);
  AppendInt32(header, total);
  AppendInt32(header, volumeSize);
  AppendInt32(header, static_cast<int32_t>(name.size()));
  return header + name;
}

size_t LastSeparator(const std::string& path) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (classlib::IsLeadByte(c) && i + 1 < path.size()) {
      ++i;  // the trail byte belongs to this character
    } else if (c == '\\') {
      last = i;
    }
  }
  return last;
}

std::string FileNamePart(const std::string& path) {
  size_t sep = LastSeparator(path);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string DirectoryPart(const std::string& path) {
  size_t sep = LastSeparator(path);
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && LastSeparator(path) == path.size() - 1;
}

bool IsSafeStoredName(const std::string& name) {
  if (name.empty() || name.size() > static_cast<size_t>(kMaxStoredName)) return false;
  // "." , ".." and names of dots and blanks only resolve to the directory itself or above it.
  if (name.find_first_not_of(". ") == std::string::npos) return false;
  // Refused everywhere, not only as a component: a host layer that splits a double-byte name
  // at a "\" trail byte must still not be able to form a ".." component.
  if (name.find("..") != std::string::npos) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (classlib::IsLeadByte(c)) {
      if (i + 1 >= name.size()) return false;  // a lead byte without its trail byte
      ++i;
      continue;
    }
    if (c < 0x20 || c == 0x7F) return false;
    switch (c) {
      case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return false;
      default:
        break;
    }
  }
  return true;
}

bool PathExists(const std::string& path) {
  return os::GetFileAttributes(path) != os::kInvalidAttributes;
}

}  // namespace kestrel::exports

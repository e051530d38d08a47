// volume_format.h — the on-disk layout of a floppy volume set: the "xml" tag, the volume
// headers, the volume file names (<base>.m01, .m02 … .m10 …) and the checks on a stored name.
//
// Every volume starts with the 3-byte tag and its 32-bit volume number; the first volume then
// holds the total size, the data bytes per volume, and the carried file's name (at most 50
// bytes). Data runs to the end of each volume file. Integers are signed 32-bit little-endian.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace kestrel::exports {

inline constexpr int32_t VolumeSizeKiB = 1400;  // the volume size that ZipFile asks for
inline constexpr uint32_t kCopyBlock = 32768;   // read and write unit of both directions
inline constexpr uint32_t kHeaderReserve = 50;  // added to the volume size in the space test
inline constexpr int32_t kMaxStoredName = 50;   // size of the name field
inline constexpr char kVolumeTag[3] = {'x', 'm', 'l'};
inline constexpr uint32_t kTagBytes = 3;
inline constexpr uint32_t kVolumeHeaderBytes = 7;       // tag + volume number
inline constexpr uint32_t kFirstVolumeHeaderBytes = 19;  // + total, volume size, name length

// Number of volumes for total bytes at volumeSize bytes each (volumeSize > 0, total >= 0).
int32_t VolumeCount(int64_t total, int64_t volumeSize);
// Data bytes volume k (1-based) carries; 0 past the last volume.
int64_t VolumeDataLength(int64_t total, int64_t volumeSize, int32_t k);

// The path cut before its first "." (anywhere in the path); the whole path when it has none.
std::string VolumeBase(const std::string& path);
// Volume k of a set whose base is base: base + ".m0" + k for k < 10, base + ".m" + k beyond.
std::string VolumeName(const std::string& base, int32_t k);

// Header bytes of volume k; for k = 1 the caller appends the first volume's fields.
std::string VolumeHeader(int32_t k);
std::string FirstVolumeHeader(int32_t total, int32_t volumeSize, const std::string& name);
void AppendInt32(std::string& out, int32_t value);
int32_t DecodeInt32(const unsigned char* bytes);

// Path helpers that treat double-byte characters of the ANSI code page as one character, so
// a trail byte equal to "\" is not taken for a separator.
size_t LastSeparator(const std::string& path);  // index of the last "\" or npos
std::string FileNamePart(const std::string& path);   // after the last "\"
std::string DirectoryPart(const std::string& path);  // up to and including the last "\"
bool EndsWithSeparator(const std::string& path);

// A stored name read from a volume is untrusted: true only for a plain file name that stays
// inside the output directory (no separator, drive colon, "..", reserved character, control
// byte or dot-only name; 1 to 50 bytes).
bool IsSafeStoredName(const std::string& name);

// True when a file or directory exists at path.
bool PathExists(const std::string& path);

}  // namespace kestrel::exports

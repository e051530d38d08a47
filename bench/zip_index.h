// zip_index.h — the central directory of a zip archive as a list, for the inflate benchmark:
// where each entry's data lies and what it should decode to. Kept apart from the library's
// walker so that the streams given to both decoders are found independently of Kestrel.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

struct ZipIndexEntry {
  std::string name;  // as stored, "/" separators
  uint16_t method = 0;
  uint32_t crc = 0;
  uint32_t packedSize = 0;
  uint32_t size = 0;
  size_t dataOffset = 0;  // first byte of the compressed data
};

struct ZipIndex {
  std::vector<uint8_t> bytes;  // the whole archive
  std::vector<ZipIndexEntry> entries;
};

inline uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

// Reads the whole archive and its directory; exits with a message if it has no end record.
inline ZipIndex ReadZipIndex(const std::string& path) {
  ZipIndex index;
  std::ifstream in(path, std::ios::binary);
  in.seekg(0, std::ios::end);
  index.bytes.resize(size_t(std::max<std::streamoff>(0, in.tellg())));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(index.bytes.data()), std::streamsize(index.bytes.size()));
  const std::vector<uint8_t>& zip = index.bytes;
  if (zip.size() < 22) {
    std::fprintf(stderr, "%s: not a zip archive\n", path.c_str());
    std::exit(1);
  }
  size_t end = zip.size() - 22;
  while (end > 0 && Le32(&zip[end]) != 0x06054B50) --end;
  if (Le32(&zip[end]) != 0x06054B50) {
    std::fprintf(stderr, "%s: no end record\n", path.c_str());
    std::exit(1);
  }
  const uint32_t count = Le16(&zip[end + 10]);
  size_t at = Le32(&zip[end + 16]);
  for (uint32_t i = 0; i < count && at + 46 <= zip.size() && Le32(&zip[at]) == 0x02014B50; ++i) {
    ZipIndexEntry e;
    const uint32_t nameLength = Le16(&zip[at + 28]);
    e.method = uint16_t(Le16(&zip[at + 10]));
    e.crc = Le32(&zip[at + 16]);
    e.packedSize = Le32(&zip[at + 20]);
    e.size = Le32(&zip[at + 24]);
    if (at + 46 + nameLength > zip.size()) break;
    e.name.assign(reinterpret_cast<const char*>(&zip[at + 46]), nameLength);
    const size_t local = Le32(&zip[at + 42]);
    if (local + 30 <= zip.size()) {
      e.dataOffset = local + 30 + Le16(&zip[local + 26]) + Le16(&zip[local + 28]);
      if (e.dataOffset + e.packedSize <= zip.size()) index.entries.push_back(e);
    }
    at += 46 + nameLength + Le16(&zip[at + 30]) + Le16(&zip[at + 32]);
  }
  return index;
}

}  // namespace bench

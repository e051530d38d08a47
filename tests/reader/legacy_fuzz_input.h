// legacy_fuzz_input.h — shared input layout of the old-method decoder fuzz targets:
//   byte 0      variant selector (method, flags, declared sizes; see each target)
//   bytes 1-3   uncompressed size, little-endian
//   bytes 4-    the compressed data
#pragma once

#include <cstddef>
#include <cstdint>

#include "tests/reader/legacy_harness.h"

namespace kestrel::testing {

inline bool ParseFuzzInput(const uint8_t* data, size_t size, uint8_t& selector,
                           DecodeRequest& request) {
  if (size < 4) return false;
  selector = data[0];
  request.uncompressedSize = int32_t(data[1] | (data[2] << 8) | (data[3] << 16));
  request.data.assign(data + 4, data + size);
  // What follows an entry in an archive: the next record's signature.
  request.trailer = {0x50, 0x4B, 0x03, 0x04};
  return true;
}

inline const LegacyScratch& FuzzScratch() {
  static const LegacyScratch scratch;
  return scratch;
}

}  // namespace kestrel::testing

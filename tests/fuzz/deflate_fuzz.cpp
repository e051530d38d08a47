// deflate_fuzz.cpp — round trip of the Deflate compressor on arbitrary bytes.
//
// Byte 0 picks the level (1-9); byte 1 picks how the rest is stretched (tiled up to 64 times,
// so that inputs reach past the 64 KB window) and the read chunk size. The stream is decoded
// by the strict reference decoder and compared with the input; a compressor object reused
// across inputs must give the same stream as a fresh one.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "writer/deflate_reference_inflate.h"
#include "writer/deflate_test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel::testing;
  if (size < 2) return 0;
  int level = 1 + data[0] % 9;
  uint32_t tiles = 1 + (data[1] & 0x3F);
  uint32_t chunk = (data[1] & 0x40) ? 1 + data[0] * 61u : 0;
  std::vector<uint8_t> input;
  for (uint32_t t = 0; t < tiles; ++t) input.insert(input.end(), data + 2, data + size);
  if ((data[1] & 0x80) && !input.empty()) input.pop_back();  // off-by-one sizes too

  static kestrel::writer::Deflater reused;
  Compressed c = Compress(reused, input, level, chunk);
  if (c.result.compressedSize != c.bytes.size() || c.result.uncompressedSize != input.size()) std::abort();
  if (c.result.method == 0) {
    if (c.bytes != input) std::abort();
  } else {
    auto decoded = ReferenceInflater::Inflate(c.bytes.data(), c.bytes.size());
    if (!decoded || *decoded != input) std::abort();
  }
  kestrel::writer::Deflater fresh;
  Compressed again = Compress(fresh, input, level, chunk);
  if (again.bytes != c.bytes) std::abort();
  return 0;
}

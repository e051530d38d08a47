// inflate_fuzz.cpp — arbitrary bytes as a raw Deflate stream, decoded from memory through the
// driver's refill path. The first byte selects the declared compressed size: bit 0 set makes
// it far larger than the data (refills run dry at the end of the input instead of at the
// entry's end). Every result must be one of Inflate's, and decoding must end.
#include <cstdlib>
#include <vector>

#include "reader/inflate.h"
#include "reader/unzip_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel::reader;
  if (size == 0 || size > 1000000) return 0;
  const bool oversized = data[0] & 1;
  MemoryStreams memory{data + 1, size - 1, 0, nullptr};
  UseMemoryStreams(&memory);
  BeginMemoryEntry(oversized ? int32_t(size) * 64 : int32_t(size - 1));
  const int result = Inflate();
  EndMemoryEntry();
  UseMemoryStreams(nullptr);
  if (result < InflateOk || result > InflateCancelled) std::abort();
  return 0;
}

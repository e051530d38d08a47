// unreduce_fuzz.cpp — arbitrary bytes as reduced data. Selector bits 0-1 pick the compression
// factor (methods 2 to 5); bit 2 declares a compressed size larger than the data.
#include <algorithm>
#include <cstdlib>

#include "tests/reader/legacy_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel::testing;
  uint8_t selector = 0;
  DecodeRequest request;
  if (!ParseFuzzInput(data, size, selector, request)) return 0;
  request.method = 2 + (selector & 3);
  if (selector & 4) request.compressedSize = int32_t(request.data.size()) * 2 + 4096;
  const DecodeRun run = RunLegacyDecoder(FuzzScratch(), request);
  if (run.result != 0 && run.result != 2 && run.result != 5) std::abort();
  if (run.output.size() > size_t(std::max(request.uncompressedSize, 0))) std::abort();
  return 0;
}

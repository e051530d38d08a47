// unshrink_fuzz.cpp — arbitrary bytes as shrunk data. Selector bit 0 declares a compressed
// size larger than the data, so decoding runs into the end of the file.
#include <cstdlib>

#include "tests/reader/legacy_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel::testing;
  uint8_t selector = 0;
  DecodeRequest request;
  if (!ParseFuzzInput(data, size, selector, request)) return 0;
  request.method = 1;
  if (selector & 1) request.compressedSize = int32_t(request.data.size()) * 2 + 4096;
  const DecodeRun run = RunLegacyDecoder(FuzzScratch(), request);
  if (run.result < 0 || run.result > 6) std::abort();
  // No code expands to more than the stack holds.
  if (run.output.size() > (request.data.size() * 8 / 9 + 1) * 8193) std::abort();
  return 0;
}

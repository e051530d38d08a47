// explode_fuzz.cpp — arbitrary bytes as imploded data. Selector bits 1 and 2 are the entry's
// flag bits (dictionary size, literal tree); bit 3 declares a compressed size above 200000
// (8-bit distance lookups); bit 4 marks the sizes unknown (data descriptor).
#include <cstdlib>

#include "tests/reader/legacy_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel::testing;
  uint8_t selector = 0;
  DecodeRequest request;
  if (!ParseFuzzInput(data, size, selector, request)) return 0;
  request.method = 6;
  request.flags = uint16_t(selector & 6);
  if (selector & 8) request.compressedSize = 200001 + int32_t(request.data.size());
  if (selector & 16) {
    request.compressedSize = request.uncompressedSize = kestrel::reader::kUnknownSize;
    request.flags |= 8;
  }
  const DecodeRun run = RunLegacyDecoder(FuzzScratch(), request);
  if (run.result < 0 || run.result > 5) std::abort();
  if (!(selector & 16) && run.output.size() > size_t(request.uncompressedSize)) std::abort();
  return 0;
}

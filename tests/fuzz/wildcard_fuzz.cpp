// wildcard_fuzz.cpp — the mask matcher on arbitrary masks and names (split at the first zero
// byte): it must finish, and on short inputs agree code for code with the literal reference.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/wildcard.h"
#include "tests/support/wildcard_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string mask = input.substr(0, split);
  const std::string name = split == std::string::npos ? std::string() : input.substr(split + 1);
  const int result = kestrel::support::MatchPattern(mask, name);
  if (result < 1 || result > 6) std::abort();
  if (kestrel::support::IsMatch(mask, name) != (result == 1)) std::abort();
  // The reference is exponential in the number of stars: only short inputs.
  if (mask.size() <= 12 && name.size() <= 12 &&
      kestrel::testing::reference::MatchPattern(mask, name) != result)
    std::abort();
  return 0;
}

// random.cpp — bytes from the system's preferred random number generator (BCryptGenRandom),
// for the encryption header of enciphered entries.
#include <algorithm>
#include <cstdint>

// <bcrypt.h> needs the Windows types declared first.
#include "platform/win32/windows_api.h"

#include <bcrypt.h>

namespace kestrel::os {

bool RandomBytes(void* buffer, size_t n) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (n > 0) {
    ULONG piece = static_cast<ULONG>(std::min<size_t>(n, 0x10000000u));
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, out, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      return false;
    }
    out += piece;
    n -= piece;
  }
  return true;
}

}  // namespace kestrel::os

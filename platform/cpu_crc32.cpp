// cpu_crc32.cpp — CRC-32 by carry-less multiplication: four 128-bit lanes are folded forward
// 512 bits at a time, then into one lane, then reduced to 64 and 32 bits and finished with a
// Barrett reduction. The constants are bit-reflected powers of x modulo the polynomial (the
// distances of the 512-bit and 128-bit folds and of the 64-to-32-bit step), and the
// polynomial itself with its Barrett quotient.
#include "platform/cpu_crc32.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#include <immintrin.h>
#define KESTREL_CLMUL_CRC 1
#endif

namespace kestrel::os {

#if KESTREL_CLMUL_CRC

namespace {

#define KESTREL_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

KESTREL_CLMUL_TARGET inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x * (x^a, x^b) with x's low and high halves, plus the data it is folded onto.
KESTREL_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i data) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), data);
}

}  // namespace

bool HasClmulCrc32() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSE4_1) != 0;
}

KESTREL_CLMUL_TARGET size_t ClmulCrc32Blocks(uint32_t& reg, const uint8_t* p, size_t n) {
  if (n < 64) return 0;
  const size_t total = n & ~size_t(15);
  const __m128i k512 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
  const __m128i k128 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  const __m128i k64 = _mm_set_epi64x(0, 0x163cd6124);
  const __m128i barrett = _mm_set_epi64x(0x1f7011641, 0x1db710641);
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);

  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(int(reg)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  n = total - 64;
  for (; n >= 64; n -= 64, p += 64) {
    x1 = Fold(x1, k512, Load(p));
    x2 = Fold(x2, k512, Load(p + 16));
    x3 = Fold(x3, k512, Load(p + 32));
    x4 = Fold(x4, k512, Load(p + 48));
  }
  __m128i x = Fold(Fold(Fold(x1, k128, x2), k128, x3), k128, x4);
  for (; n >= 16; n -= 16, p += 16) x = Fold(x, k128, Load(p));

  // 128 to 64 bits, 64 to 32 bits, then the remainder by Barrett reduction.
  x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, k128, 0x10));
  x = _mm_xor_si128(_mm_srli_si128(x, 4),
                    _mm_clmulepi64_si128(_mm_and_si128(x, low32), k64, 0x00));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  reg = uint32_t(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
  return total;
}

#else

bool HasClmulCrc32() { return false; }
size_t ClmulCrc32Blocks(uint32_t&, const uint8_t*, size_t) { return 0; }

#endif

}  // namespace kestrel::os

// Built with -mavx512f -mavx512bw -mavx512vl -mvpclmulqdq (and the 128- and 256-bit kernels'
// flags); called only when the CPU has them and the operating system saves the 512-bit registers.

// GCC 12's AVX-512 headers start several intrinsics from a deliberately undefined register and
// then warn about it (-Wuninitialized, -Wmaybe-uninitialized) wherever they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

#include "crc/crc16_internal.h"
#include "crc/crc16_x86_fold.h"

namespace lomvik::internal {

using namespace x86;

namespace {

inline __m512i constant512(const std::uint64_t (&k)[2]) {
  return _mm512_broadcast_i32x4(constant(k));
}

inline __m512i load512(const std::uint8_t* p) { return _mm512_loadu_si512(p); }

// Both products and the new data in one three-way exclusive-or (truth table 0x96).
inline __m512i fold512(__m512i acc, __m512i data, __m512i k) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(acc, k, 0x00),
                                   _mm512_clmulepi64_epi128(acc, k, 0x11), data, 0x96);
}

inline __m256i fold256(__m256i acc, __m256i data, __m256i k) {
  return _mm256_ternarylogic_epi64(_mm256_clmulepi64_epi128(acc, k, 0x00),
                                   _mm256_clmulepi64_epi128(acc, k, 0x11), data, 0x96);
}

}  // namespace

// Four accumulators are enough here: eight measured no faster on AMD Zen 5, where the carry-less
// multiplies, not their latency, set the pace.
std::uint16_t crc_vpclmul_avx512(std::uint16_t crc, const std::uint8_t* data, std::size_t length) {
  if (length < 256) return crc_vpclmul_avx2(crc, data, length);

  // Four 512-bit accumulators, 256 bytes a round.
  __m512i z[4];
  for (int i = 0; i < 4; ++i) z[i] = load512(data + 64 * i);
  z[0] = _mm512_xor_si512(z[0], _mm512_zextsi128_si512(_mm_cvtsi32_si128(crc)));
  std::size_t pos = 256;
  const __m512i k2048 = constant512(kFold2048);
  for (; length - pos >= 256; pos += 256) {
    for (int i = 0; i < 4; ++i) z[i] = fold512(z[i], load512(data + pos + 64 * i), k2048);
  }

  // Halve the accumulators, folding in one more block after each halving when that much is left.
  const __m512i k1024 = constant512(kFold1024);
  for (int i = 0; i < 2; ++i) z[i] = fold512(z[i], z[i + 2], k1024);
  if (length - pos >= 128) {
    for (int i = 0; i < 2; ++i) z[i] = fold512(z[i], load512(data + pos + 64 * i), k1024);
    pos += 128;
  }
  const __m512i k512 = constant512(kFold512);
  __m512i acc = fold512(z[0], z[1], k512);
  if (length - pos >= 64) {
    acc = fold512(acc, load512(data + pos), k512);
    pos += 64;
  }

  // 512 -> 256 -> 128 bits.
  const __m256i k256 = _mm256_broadcastsi128_si256(constant(kFold256));
  __m256i half = fold256(_mm512_castsi512_si256(acc), _mm512_extracti64x4_epi64(acc, 1), k256);
  if (length - pos >= 32) {
    half = fold256(half, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos)), k256);
    pos += 32;
  }
  const __m128i folded =
      fold(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1), constant(kFold128));
  _mm256_zeroupper();
  return finish(folded, data, pos, length);
}

}  // namespace lomvik::internal

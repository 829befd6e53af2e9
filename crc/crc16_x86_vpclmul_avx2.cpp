// Built with -mavx2 -mvpclmulqdq (and the 128-bit kernel's flags); called only when the CPU has
// AVX2 and VPCLMULQDQ and the operating system saves the 256-bit registers.
#include "crc/crc16_internal.h"
#include "crc/crc16_x86_fold.h"

namespace lomvik::internal {

using namespace x86;

namespace {

inline __m256i constant256(const std::uint64_t (&k)[2]) {
  return _mm256_broadcastsi128_si256(constant(k));
}

inline __m256i load256(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

inline __m256i fold256(__m256i acc, __m256i data, __m256i k) {
  return _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(acc, k, 0x00),
                                           _mm256_clmulepi64_epi128(acc, k, 0x11)),
                          data);
}

}  // namespace

std::uint16_t crc_vpclmul_avx2(std::uint16_t crc, const std::uint8_t* data, std::size_t length) {
  if (length < 256) return crc_pclmul(crc, data, length);

  // Four 256-bit accumulators, 128 bytes a round.
  __m256i y[4];
  for (int i = 0; i < 4; ++i) y[i] = load256(data + 32 * i);
  y[0] = _mm256_xor_si256(y[0], _mm256_zextsi128_si256(_mm_cvtsi32_si128(crc)));
  std::size_t pos = 128;
  const __m256i k1024 = constant256(kFold1024);
  for (; length - pos >= 128; pos += 128) {
    for (int i = 0; i < 4; ++i) y[i] = fold256(y[i], load256(data + pos + 32 * i), k1024);
  }

  const __m256i k512 = constant256(kFold512);
  for (int i = 0; i < 2; ++i) y[i] = fold256(y[i], y[i + 2], k512);
  if (length - pos >= 64) {
    for (int i = 0; i < 2; ++i) y[i] = fold256(y[i], load256(data + pos + 32 * i), k512);
    pos += 64;
  }
  const __m256i k256 = constant256(kFold256);
  __m256i acc = fold256(y[0], y[1], k256);
  if (length - pos >= 32) {
    acc = fold256(acc, load256(data + pos), k256);
    pos += 32;
  }
  const __m128i folded =
      fold(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1), constant(kFold128));
  _mm256_zeroupper();
  return finish(folded, data, pos, length);
}

}  // namespace lomvik::internal

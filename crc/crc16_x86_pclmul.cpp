// Built with -msse4.1 -mpclmul; called only when the CPU has both.
#include "crc/crc16_internal.h"
#include "crc/crc16_x86_fold.h"

namespace lomvik::internal {

using namespace x86;

std::uint16_t crc_pclmul(std::uint16_t crc, const std::uint8_t* data, std::size_t length) {
  if (length < 16) return crc_bytewise(crc, data, length);
  const __m128i initial = _mm_cvtsi32_si128(crc);
  if (length < 128) return finish(_mm_xor_si128(load(data), initial), data, 16, length);

  // Eight accumulators, 128 bytes a round.
  __m128i x[8];
  for (int i = 0; i < 8; ++i) x[i] = load(data + 16 * i);
  x[0] = _mm_xor_si128(x[0], initial);
  std::size_t pos = 128;
  const __m128i k1024 = constant(kFold1024);
  for (; length - pos >= 128; pos += 128) {
    for (int i = 0; i < 8; ++i) x[i] = fold(x[i], load(data + pos + 16 * i), k1024);
  }

  // Halve the accumulators, folding in one more block after each halving when that much is left.
  const __m128i k512 = constant(kFold512);
  for (int i = 0; i < 4; ++i) x[i] = fold(x[i], x[i + 4], k512);
  if (length - pos >= 64) {
    for (int i = 0; i < 4; ++i) x[i] = fold(x[i], load(data + pos + 16 * i), k512);
    pos += 64;
  }
  const __m128i k256 = constant(kFold256);
  for (int i = 0; i < 2; ++i) x[i] = fold(x[i], x[i + 2], k256);
  if (length - pos >= 32) {
    for (int i = 0; i < 2; ++i) x[i] = fold(x[i], load(data + pos + 16 * i), k256);
    pos += 32;
  }
  return finish(fold(x[0], x[1], constant(kFold128)), data, pos, length);
}

}  // namespace lomvik::internal

// Carry-less multiply folding on 128-bit lanes, shared by the x86-64 kernels. Include only from a
// file built with SSE4.1 and PCLMULQDQ enabled.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "crc/crc16_fold_constants.h"

namespace lomvik::internal::x86 {

namespace {

using namespace fold_constants;

inline __m128i constant(const std::uint64_t (&k)[2]) {
  return _mm_set_epi64x(static_cast<long long>(k[1]), static_cast<long long>(k[0]));
}

inline __m128i load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline __m128i fold(__m128i acc, __m128i data, __m128i k) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(acc, k, 0x00), _mm_clmulepi64_si128(acc, k, 0x11)), data);
}

// The last 1 to 15 bytes: A * x^(8r) + B becomes C1 * x^128 + C2, folded once. The last 16 bytes
// of the input are loaded again (overlapping, never past the end) and blended in.
inline __m128i tail_fold(__m128i acc, const std::uint8_t* end, std::size_t r) {
  const __m128i last16 = load(end - 16);
  const __m128i shift_down = load(kShiftTable + 16 + r);  // acc >> 8r
  const __m128i shift_up = load(kShiftTable + r);         // acc << 8(16 - r)
  const __m128i low = _mm_shuffle_epi8(acc, shift_down);
  const __m128i high = _mm_shuffle_epi8(acc, shift_up);
  // Where shift_up selects zero, keep the shifted accumulator; elsewhere take the new bytes.
  const __m128i blended = _mm_blendv_epi8(last16, low, shift_up);
  return fold(high, blended, constant(kFold128));
}

// 128 bits to the 16-bit reflected CRC.
inline std::uint16_t reduce(__m128i x) {
  const __m128i k128 = constant(kFold128);
  const __m128i barrett = constant(kBarrett);
  x = _mm_xor_si128(_mm_clmulepi64_si128(x, k128, 0x10), _mm_srli_si128(x, 8));
  const __m128i t = _mm_clmulepi64_si128(x, barrett, 0x00);
  x = _mm_xor_si128(x, _mm_clmulepi64_si128(t, barrett, 0x10));
  return static_cast<std::uint16_t>(_mm_extract_epi16(x, 4));
}

// Folds the remaining whole 16-byte blocks and the tail into acc, then reduces.
inline std::uint16_t finish(__m128i acc, const std::uint8_t* data, std::size_t pos,
                            std::size_t length) {
  const __m128i k128 = constant(kFold128);
  for (; length - pos >= 16; pos += 16) acc = fold(acc, load(data + pos), k128);
  if (length > pos) acc = tail_fold(acc, data + length, length - pos);
  return reduce(acc);
}

}  // namespace

}  // namespace lomvik::internal::x86

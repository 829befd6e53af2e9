// Built with the crypto extension enabled (-march=armv8-a+crypto); called only when the CPU
// reports PMULL at run time. The folding is that of the x86-64 kernels (crc16_fold_constants.h),
// with PMULL and PMULL2 for the two halves of a 128-bit lane; TBL gives zero for index 0xFF.
#include <arm_neon.h>

#include "crc/crc16_fold_constants.h"
#include "crc/crc16_internal.h"

namespace lomvik::internal {

namespace {

using namespace fold_constants;

inline uint64x2_t constant(const std::uint64_t (&k)[2]) { return vld1q_u64(k); }

inline uint64x2_t load(const std::uint8_t* p) { return vreinterpretq_u64_u8(vld1q_u8(p)); }

inline uint64x2_t clmul_lo(uint64x2_t a, uint64x2_t b) {
  return vreinterpretq_u64_p128(vmull_p64(static_cast<poly64_t>(vgetq_lane_u64(a, 0)),
                                          static_cast<poly64_t>(vgetq_lane_u64(b, 0))));
}

inline uint64x2_t clmul_hi(uint64x2_t a, uint64x2_t b) {
  return vreinterpretq_u64_p128(vmull_high_p64(vreinterpretq_p64_u64(a), vreinterpretq_p64_u64(b)));
}

inline uint64x2_t fold(uint64x2_t acc, uint64x2_t data, uint64x2_t k) {
  return veorq_u64(veorq_u64(clmul_lo(acc, k), clmul_hi(acc, k)), data);
}

inline uint64x2_t tail_fold(uint64x2_t acc, const std::uint8_t* end, std::size_t r) {
  const uint8x16_t last16 = vld1q_u8(end - 16);
  const uint8x16_t shift_down = vld1q_u8(kShiftTable + 16 + r);
  const uint8x16_t shift_up = vld1q_u8(kShiftTable + r);
  const uint8x16_t bytes = vreinterpretq_u8_u64(acc);
  const uint8x16_t low = vqtbl1q_u8(bytes, shift_down);
  const uint8x16_t high = vqtbl1q_u8(bytes, shift_up);
  const uint8x16_t new_bytes = vcltq_u8(shift_up, vdupq_n_u8(16));
  const uint8x16_t blended = vbslq_u8(new_bytes, last16, low);
  return fold(vreinterpretq_u64_u8(high), vreinterpretq_u64_u8(blended), constant(kFold128));
}

inline std::uint16_t reduce(uint64x2_t x) {
  const uint64x2_t k128 = constant(kFold128);
  const uint64x2_t barrett = constant(kBarrett);
  const uint64x2_t upper = vcombine_u64(vget_high_u64(x), vdup_n_u64(0));
  x = veorq_u64(clmul_lo(x, vdupq_laneq_u64(k128, 1)), upper);
  const uint64x2_t t = clmul_lo(x, barrett);
  x = veorq_u64(x, clmul_lo(t, vdupq_laneq_u64(barrett, 1)));
  return vgetq_lane_u16(vreinterpretq_u16_u64(x), 4);
}

inline std::uint16_t finish(uint64x2_t acc, const std::uint8_t* data, std::size_t pos,
                            std::size_t length) {
  const uint64x2_t k128 = constant(kFold128);
  for (; length - pos >= 16; pos += 16) acc = fold(acc, load(data + pos), k128);
  if (length > pos) acc = tail_fold(acc, data + length, length - pos);
  return reduce(acc);
}

}  // namespace

std::uint16_t crc_pmull(std::uint16_t crc, const std::uint8_t* data, std::size_t length) {
  if (length < 16) return crc_bytewise(crc, data, length);
  const uint64x2_t initial = vcombine_u64(vcreate_u64(crc), vdup_n_u64(0));
  if (length < 128) return finish(veorq_u64(load(data), initial), data, 16, length);

  uint64x2_t x[8];
  for (int i = 0; i < 8; ++i) x[i] = load(data + 16 * i);
  x[0] = veorq_u64(x[0], initial);
  std::size_t pos = 128;
  const uint64x2_t k1024 = constant(kFold1024);
  for (; length - pos >= 128; pos += 128) {
    for (int i = 0; i < 8; ++i) x[i] = fold(x[i], load(data + pos + 16 * i), k1024);
  }

  const uint64x2_t k512 = constant(kFold512);
  for (int i = 0; i < 4; ++i) x[i] = fold(x[i], x[i + 4], k512);
  if (length - pos >= 64) {
    for (int i = 0; i < 4; ++i) x[i] = fold(x[i], load(data + pos + 16 * i), k512);
    pos += 64;
  }
  const uint64x2_t k256 = constant(kFold256);
  for (int i = 0; i < 2; ++i) x[i] = fold(x[i], x[i + 2], k256);
  if (length - pos >= 32) {
    for (int i = 0; i < 2; ++i) x[i] = fold(x[i], load(data + pos + 16 * i), k256);
    pos += 32;
  }
  return finish(fold(x[0], x[1], constant(kFold128)), data, pos, length);
}

}  // namespace lomvik::internal

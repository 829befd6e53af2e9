// Constants of carry-less multiply folding for the CRC's polynomial, shared by the x86-64 and
// AArch64 kernels.
//
// A 16-byte little-endian load puts the coefficient of x^(127-k) in bit k. Folding an accumulator
// A across D bits and adding the next block B gives A * x^D + B (mod G) as
//   clmul(A.lo, K.lo) ^ clmul(A.hi, K.hi) ^ B,
// with K.lo = reflect64((x^(D+15) mod G) * x^48) and K.hi = reflect64((x^(D-49) mod G) * x^48).
// The x^48 scaling lets every constant fit in 16 bits and lets the final step reuse the 128-bit
// constant. The last 128 bits are reduced to 16 by one more fold and a Barrett reduction.
#pragma once

#include <cstdint>

namespace lomvik::internal::fold_constants {

// {K.lo, K.hi} per fold distance in bits.
inline constexpr std::uint64_t kFold128[2] = {0x4c0c, 0x24da};
inline constexpr std::uint64_t kFold256[2] = {0xbe1f, 0x8a74};
inline constexpr std::uint64_t kFold512[2] = {0x458d, 0x229d};
inline constexpr std::uint64_t kFold1024[2] = {0x2bdf, 0x2dae};
inline constexpr std::uint64_t kFold2048[2] = {0x0a62, 0x5133};
// {floor(x^79 / G) reflected, (G - x^16) * x^47 reflected}
inline constexpr std::uint64_t kBarrett[2] = {0x3cc398ad274e0d37, 0x1a82a};

// Byte shuffle indexes for the tail: the 16 bytes from offset 16 + r move a register's bytes down
// by r places, the 16 bytes from offset r move them up by 16 - r places; 0xFF selects zero.
alignas(16) inline constexpr std::uint8_t kShiftTable[48] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

}  // namespace lomvik::internal::fold_constants

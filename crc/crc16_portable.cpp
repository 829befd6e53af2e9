#include <array>

#include "crc/crc16.h"
#include "crc/crc16_internal.h"

namespace lomvik::internal {

namespace {

// kSlices[k][b]: the reflected CRC of byte b followed by k zero bytes.
constexpr std::array<std::array<std::uint16_t, 256>, 16> make_slices() {
  std::array<std::array<std::uint16_t, 256>, 16> slices{};
  for (unsigned b = 0; b < 256; ++b) slices[0][b] = byte_swap(crc_table[b]);
  for (std::size_t k = 1; k < 16; ++k) {
    for (unsigned b = 0; b < 256; ++b) {
      const std::uint16_t prev = slices[k - 1][b];
      slices[k][b] = static_cast<std::uint16_t>((prev >> 8) ^ slices[0][prev & 0xFFU]);
    }
  }
  return slices;
}

constexpr auto kSlices = make_slices();

}  // namespace

std::uint16_t crc_bytewise(std::uint16_t crc, const std::uint8_t* data, std::size_t length) {
  const auto& table = kSlices[0];
  for (std::size_t i = 0; i < length; ++i) {
    crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFFU]);
  }
  return crc;
}

std::uint16_t crc_portable(std::uint16_t crc, const std::uint8_t* data, std::size_t length) {
  for (; length >= 16; data += 16, length -= 16) {
    unsigned sum = kSlices[15][(data[0] ^ crc) & 0xFFU] ^ kSlices[14][data[1] ^ (crc >> 8)];
    for (std::size_t j = 2; j < 16; ++j) sum ^= kSlices[15 - j][data[j]];
    crc = static_cast<std::uint16_t>(sum);
  }
  return crc_bytewise(crc, data, length);
}

}  // namespace lomvik::internal

// CRC-16 of the tool: the reflected CRC-16 with polynomial 0xD415 (normal 0xA82B), initial value
// 0 and no final exclusive-or, kept and reported with its two bytes exchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lomvik {

using CrcValue = std::uint16_t;

constexpr CrcValue byte_swap(CrcValue value) noexcept {
  return static_cast<CrcValue>((value << 8) | (value >> 8));
}

// Entry i: start at i, eight times shift right by one and exclusive-or 0xD415 when a 1 fell out,
// then exchange the two bytes.
constexpr std::array<CrcValue, 256> make_crc_table() noexcept {
  std::array<CrcValue, 256> table{};
  for (unsigned index = 0; index < 256; ++index) {
    unsigned value = index;
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1U) != 0 ? (value >> 1) ^ 0xD415U : value >> 1;
    }
    table[index] = byte_swap(static_cast<CrcValue>(value));
  }
  return table;
}

inline constexpr std::array<CrcValue, 256> crc_table = make_crc_table();

// One step: folds one byte into the CRC.
constexpr CrcValue crc_update(CrcValue crc, std::uint8_t byte) noexcept {
  return static_cast<CrcValue>(crc_table[(crc >> 8) ^ byte] ^ (crc << 8));
}

// Folds a block of bytes into the CRC; crc_extend(crc_extend(c, a), b) equals crc_extend(c, ab).
CrcValue crc_extend(CrcValue crc, std::span<const std::uint8_t> bytes) noexcept;

// The CRC of A followed by B, from the CRC of A, the CRC of B and the length of B.
CrcValue crc_combine(CrcValue first, CrcValue second, std::uint64_t second_length) noexcept;

// Exactly four lowercase hexadecimal digits, zero-padded.
std::string format_crc(CrcValue crc);

}  // namespace lomvik

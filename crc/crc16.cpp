#include "crc/crc16.h"

namespace lomvik {

CrcValue crc_extend(CrcValue crc, std::span<const std::uint8_t> bytes) noexcept {
  for (const std::uint8_t byte : bytes) crc = crc_update(crc, byte);
  return crc;
}

std::string format_crc(CrcValue crc) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(4, '0');
  for (int place = 3; place >= 0; --place) {
    text[static_cast<std::size_t>(place)] = kDigits[crc & 0xFU];
    crc = static_cast<CrcValue>(crc >> 4);
  }
  return text;
}

}  // namespace lomvik

// libFuzzer target: every kernel this CPU can run agrees with the byte-at-a-time table, and
// extending in pieces equals extending at once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crc/crc16.h"
#include "crc/crc16_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lomvik;
  using namespace lomvik::internal;
  if (size < 2) return 0;
  // The first two bytes choose the starting CRC; the rest is the input.
  const auto start = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
  data += 2;
  size -= 2;

  const std::uint16_t expected = crc_bytewise(start, data, size);
  for (const CrcKernel& kernel : crc_kernels()) {
    if (!kernel.usable()) continue;
    if (kernel.extend(start, data, size) != expected) std::abort();
    // Split where the input says: at the value of its first byte, scaled to the length.
    const std::size_t split =
        size == 0 ? 0 : (static_cast<std::size_t>(data[0]) * 131) % (size + 1);
    const std::uint16_t first = kernel.extend(start, data, split);
    if (kernel.extend(first, data + split, size - split) != expected) std::abort();
  }
  const std::span<const std::uint8_t> bytes(data, size);
  if (crc_extend(byte_swap(start), bytes) != byte_swap(expected)) std::abort();
  return 0;
}

#include "crc/crc16.h"

#include <cstdlib>

#include "crc/crc16_internal.h"

namespace lomvik {

namespace internal {

namespace {

bool always() { return true; }

constexpr CrcKernel kKernels[] = {
#if defined(LOMVIK_HAVE_X86_KERNELS)
    {"avx512", crc_vpclmul_avx512, cpu_has_vpclmul_avx512},
    {"avx2", crc_vpclmul_avx2, cpu_has_vpclmul_avx2},
    {"pclmul", crc_pclmul, cpu_has_pclmul},
#endif
#if defined(LOMVIK_HAVE_ARM_KERNELS)
    {"pmull", crc_pmull, cpu_has_pmull},
#endif
    {"portable", crc_portable, always},
};

}  // namespace

std::span<const CrcKernel> crc_kernels() { return kKernels; }

const CrcKernel* find_usable_kernel(std::string_view name) {
  for (const CrcKernel& kernel : kKernels) {
    if (kernel.name == name) return kernel.usable() ? &kernel : nullptr;
  }
  return nullptr;
}

const CrcKernel& choose_kernel(const char* forced_name, std::span<const CrcKernel> kernels) {
  if (forced_name != nullptr) {
    for (const CrcKernel& kernel : kernels) {
      if (kernel.name == forced_name && kernel.usable()) return kernel;
    }
  }
  for (const CrcKernel& kernel : kernels) {
    if (kernel.usable()) return kernel;
  }
  return kernels.back();
}

const CrcKernel& selected_kernel() {
  static const CrcKernel& kernel = choose_kernel(std::getenv("LOMVIK_CRC_KERNEL"), kKernels);
  return kernel;
}

}  // namespace internal

namespace {

// Polynomials modulo G in the reflected form: bit 15 is the coefficient of x^0.
constexpr std::uint16_t kReflectedPoly = 0xD415;
constexpr std::uint16_t kOne = 0x8000;

constexpr std::uint16_t multiply_mod(std::uint16_t a, std::uint16_t b) noexcept {
  std::uint16_t product = 0;
  for (std::uint16_t term = kOne; term != 0; term >>= 1) {
    if ((a & term) != 0) product ^= b;
    b = (b & 1U) != 0 ? static_cast<std::uint16_t>((b >> 1) ^ kReflectedPoly)
                      : static_cast<std::uint16_t>(b >> 1);
  }
  return product;
}

// kSquares[k] = x^(2^k) mod G, for shifts of up to 2^64 bytes (2^67 bits).
constexpr std::array<std::uint16_t, 67> kSquares = [] {
  std::array<std::uint16_t, 67> squares{};
  squares[0] = kOne >> 1;  // x^1
  for (std::size_t k = 1; k < squares.size(); ++k) {
    squares[k] = multiply_mod(squares[k - 1], squares[k - 1]);
  }
  return squares;
}();

}  // namespace

CrcValue crc_combine(CrcValue first, CrcValue second, std::uint64_t second_length) noexcept {
  // With initial value 0 and no final exclusive-or the CRC is linear:
  // crc(A B) = crc(A) * x^(8 |B|) + crc(B)  (mod G).
  std::uint16_t shift = kOne;
  for (std::size_t k = 3; second_length != 0; second_length >>= 1, ++k) {
    if ((second_length & 1U) != 0) shift = multiply_mod(kSquares[k], shift);
  }
  return static_cast<CrcValue>(byte_swap(multiply_mod(shift, byte_swap(first))) ^ second);
}

CrcValue crc_extend(CrcValue crc, std::span<const std::uint8_t> bytes) noexcept {
  if (bytes.size() < 16) {
    for (const std::uint8_t byte : bytes) crc = crc_update(crc, byte);
    return crc;
  }
  return byte_swap(internal::selected_kernel().extend(byte_swap(crc), bytes.data(), bytes.size()));
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

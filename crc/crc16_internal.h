// The CRC kernels, for the dispatcher, the tests and the benchmarks.
//
// Kernels work on the ordinary reflected register: the tool's value with its two bytes exchanged
// (byte_swap). Every kernel gives the same result for every input; they differ only in speed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace lomvik::internal {

using CrcKernelFn = std::uint16_t (*)(std::uint16_t reflected_crc, const std::uint8_t* data,
                                      std::size_t length);

struct CrcKernel {
  std::string_view name;
  CrcKernelFn extend;
  bool (*usable)();  // true when this CPU (and its operating system) can run the kernel
};

// Every kernel built into this program, fastest first; the last is "portable".
std::span<const CrcKernel> crc_kernels();

// The kernel of that name if it is built in and usable here, else nullptr.
const CrcKernel* find_usable_kernel(std::string_view name);

// The kernel named forced_name if kernels has it and it is usable; otherwise (an unknown or
// unusable name, or none) the first usable one; the last one if none is. kernels is not empty.
const CrcKernel& choose_kernel(const char* forced_name, std::span<const CrcKernel> kernels);

// The kernel crc_extend uses: choose_kernel of LOMVIK_CRC_KERNEL and crc_kernels(), chosen once.
const CrcKernel& selected_kernel();

// Byte at a time through the reflected table: the reference.
std::uint16_t crc_bytewise(std::uint16_t crc, const std::uint8_t* data, std::size_t length);
// Slicing-by-16: sixteen table look-ups per 16 bytes, any CPU.
std::uint16_t crc_portable(std::uint16_t crc, const std::uint8_t* data, std::size_t length);

#if defined(__x86_64__) || defined(_M_X64)
#define LOMVIK_HAVE_X86_KERNELS 1
bool cpu_has_pclmul();
bool cpu_has_vpclmul_avx2();
bool cpu_has_vpclmul_avx512();
// Carry-less multiply folding on 128-bit registers (SSE4.1 + PCLMULQDQ).
std::uint16_t crc_pclmul(std::uint16_t crc, const std::uint8_t* data, std::size_t length);
// The same on 256-bit registers (AVX2 + VPCLMULQDQ).
std::uint16_t crc_vpclmul_avx2(std::uint16_t crc, const std::uint8_t* data, std::size_t length);
// The same on 512-bit registers (AVX-512 F/BW/VL + VPCLMULQDQ).
std::uint16_t crc_vpclmul_avx512(std::uint16_t crc, const std::uint8_t* data, std::size_t length);
#endif

#if defined(__aarch64__)
#define LOMVIK_HAVE_ARM_KERNELS 1
bool cpu_has_pmull();
// Carry-less multiply folding with PMULL (the AArch64 crypto extension).
std::uint16_t crc_pmull(std::uint16_t crc, const std::uint8_t* data, std::size_t length);
#endif

}  // namespace lomvik::internal

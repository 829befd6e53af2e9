// What the CPU can run, probed once per question. Built for the baseline CPU.
#include "crc/crc16_internal.h"

#if defined(LOMVIK_HAVE_X86_KERNELS)
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

#if defined(LOMVIK_HAVE_ARM_KERNELS) && defined(__linux__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

namespace lomvik::internal {

#if defined(LOMVIK_HAVE_X86_KERNELS)

namespace {

struct CpuidRegisters {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

CpuidRegisters cpuid(unsigned leaf, unsigned subleaf) {
  CpuidRegisters r;
#if defined(_MSC_VER)
  int regs[4];
  __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
  r = {static_cast<unsigned>(regs[0]), static_cast<unsigned>(regs[1]),
       static_cast<unsigned>(regs[2]), static_cast<unsigned>(regs[3])};
#else
  if (static_cast<unsigned>(__get_cpuid_max(0, nullptr)) >= leaf)
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
  return r;
}

// The register state the operating system saves on a context switch (XCR0).
std::uint64_t enabled_register_state() {
#if defined(_MSC_VER)
  return _xgetbv(0);
#else
  unsigned low = 0, high = 0;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (static_cast<std::uint64_t>(high) << 32) | low;
#endif
}

constexpr unsigned kSse41 = 1U << 19;     // leaf 1, ecx
constexpr unsigned kPclmul = 1U << 1;     // leaf 1, ecx
constexpr unsigned kOsxsave = 1U << 27;   // leaf 1, ecx
constexpr unsigned kAvx = 1U << 28;       // leaf 1, ecx
constexpr unsigned kAvx2 = 1U << 5;       // leaf 7, ebx
constexpr unsigned kAvx512f = 1U << 16;   // leaf 7, ebx
constexpr unsigned kAvx512bw = 1U << 30;  // leaf 7, ebx
constexpr unsigned kAvx512vl = 1U << 31;  // leaf 7, ebx
constexpr unsigned kVpclmul = 1U << 10;   // leaf 7, ecx
constexpr std::uint64_t kXmmYmmState = 0x6;
// XMM, YMM, and the three AVX-512 components: opmask, ZMM_Hi256 and Hi16_ZMM.
constexpr std::uint64_t kZmmState = 0xE6;

}  // namespace

bool cpu_has_pclmul() {
  static const bool has = [] {
    const unsigned ecx = cpuid(1, 0).ecx;
    return (ecx & kSse41) != 0 && (ecx & kPclmul) != 0;
  }();
  return has;
}

bool cpu_has_vpclmul_avx2() {
  static const bool has = [] {
    const unsigned ecx1 = cpuid(1, 0).ecx;
    if (!cpu_has_pclmul() || (ecx1 & kOsxsave) == 0 || (ecx1 & kAvx) == 0) return false;
    if ((enabled_register_state() & kXmmYmmState) != kXmmYmmState) return false;
    const CpuidRegisters leaf7 = cpuid(7, 0);
    return (leaf7.ebx & kAvx2) != 0 && (leaf7.ecx & kVpclmul) != 0;
  }();
  return has;
}

bool cpu_has_vpclmul_avx512() {
  static const bool has = [] {
    // The kernel hands short inputs to the avx2 kernel, so it needs all that one needs
    // (VPCLMULQDQ and the saved YMM state among them).
    if (!cpu_has_vpclmul_avx2()) return false;
    if ((enabled_register_state() & kZmmState) != kZmmState) return false;
    const unsigned ebx7 = cpuid(7, 0).ebx;
    return (ebx7 & kAvx512f) != 0 && (ebx7 & kAvx512bw) != 0 && (ebx7 & kAvx512vl) != 0;
  }();
  return has;
}

#endif  // LOMVIK_HAVE_X86_KERNELS

#if defined(LOMVIK_HAVE_ARM_KERNELS)

bool cpu_has_pmull() {
#if defined(__linux__)
  static const bool has = (getauxval(AT_HWCAP) & HWCAP_PMULL) != 0;
  return has;
#elif defined(__APPLE__)
  return true;  // every Apple AArch64 CPU has the crypto extension
#else
  return false;
#endif
}

#endif  // LOMVIK_HAVE_ARM_KERNELS

}  // namespace lomvik::internal

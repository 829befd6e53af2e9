// Every CRC kernel this CPU can run meets the same expectations; kernels it cannot run are
// skipped. The reference is the byte-at-a-time table update.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "crc/crc16.h"
#include "crc/crc16_internal.h"

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace lomvik::internal {
namespace {

std::uint16_t reference(std::uint16_t reflected_crc, const std::uint8_t* data, std::size_t length) {
  CrcValue crc = byte_swap(reflected_crc);
  for (std::size_t i = 0; i < length; ++i) crc = crc_update(crc, data[i]);
  return byte_swap(crc);
}

std::vector<std::uint8_t> random_bytes(std::size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(length);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

class CrcKernelTest : public ::testing::TestWithParam<const CrcKernel*> {
 protected:
  void SetUp() override {
    if (!GetParam()->usable()) GTEST_SKIP() << "this CPU cannot run " << GetParam()->name;
  }
  std::uint16_t extend(std::uint16_t crc, const std::uint8_t* data, std::size_t length) const {
    return GetParam()->extend(crc, data, length);
  }
};

std::string repeat(std::string_view text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

std::string all_byte_values() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  return bytes;
}

TEST_P(CrcKernelTest, KnownAnswers) {
  const struct {
    std::string bytes;
    CrcValue crc;
  } answers[] = {
      {"", 0x0000},
      {"abc", 0x59D2},
      {"123456789", 0x5B42},
      {"59d2\n", 0xF23E},
      {repeat("123456789", 3), 0x2318},
      {repeat("abc", 100), 0xDAF2},
      {repeat(all_byte_values(), 4), 0xC19B},
  };
  for (const auto& answer : answers) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(answer.bytes.data());
    EXPECT_EQ(extend(0, data, answer.bytes.size()), byte_swap(answer.crc))
        << answer.bytes.size() << " bytes";
  }
}

// Lengths 0 to 300, 500 to 1100 (every remainder after two to four of the widest kernel's 256-byte
// rounds) and block sizes plus and minus one, at every start alignment 0 to 63, from a zero and a
// non-zero starting CRC.
TEST_P(CrcKernelTest, EveryLengthAtEveryAlignment) {
  std::vector<std::size_t> lengths;
  for (std::size_t length = 0; length <= 300; ++length) lengths.push_back(length);
  for (std::size_t length = 500; length <= 1100; ++length) lengths.push_back(length);
  for (std::size_t block : {2048, 4096, 65536}) {
    lengths.insert(lengths.end(), {block - 1, block, block + 1});
  }
  const std::vector<std::uint8_t> bytes = random_bytes(65536 + 64 + 1, 1);
  for (std::size_t align = 0; align < 64; ++align) {
    for (const std::uint16_t start : {std::uint16_t{0}, std::uint16_t{0xB00F}}) {
      const std::uint8_t* data = bytes.data() + align;
      // The reference for every prefix of data, in one pass.
      std::vector<std::uint16_t> expected(65536 + 2);
      expected[0] = start;
      for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
        expected[i + 1] = reference(expected[i], data + i, 1);
      }
      for (const std::size_t length : lengths) {
        ASSERT_EQ(extend(start, data, length), expected[length])
            << "length " << length << " alignment " << align << " start " << start;
      }
    }
  }
}

TEST_P(CrcKernelTest, ExtendInTwoPiecesEqualsOne) {
  const std::vector<std::uint8_t> bytes = random_bytes(5000, 2);
  const std::uint16_t whole = extend(0x1234, bytes.data(), bytes.size());
  ASSERT_EQ(whole, reference(0x1234, bytes.data(), bytes.size()));
  for (std::size_t split = 0; split <= bytes.size(); split += split < 300 ? 1 : 97) {
    const std::uint16_t first = extend(0x1234, bytes.data(), split);
    ASSERT_EQ(extend(first, bytes.data() + split, bytes.size() - split), whole) << split;
  }
}

TEST_P(CrcKernelTest, ConstantFills) {
  for (const std::uint8_t fill : {0x00, 0xFF}) {
    for (const std::size_t length : {16, 17, 31, 32, 33, 127, 128, 129, 255, 256, 257, 1000}) {
      const std::vector<std::uint8_t> bytes(length, fill);
      ASSERT_EQ(extend(0, bytes.data(), length), reference(0, bytes.data(), length))
          << "fill " << int{fill} << " length " << length;
    }
  }
}

#ifndef _WIN32
// The buffer's last byte lies against a page that cannot be read: a kernel that reads past the end
// crashes here.
TEST_P(CrcKernelTest, NeverReadsPastTheEnd) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* region =
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  auto* base = static_cast<std::uint8_t*>(region);
  ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
  const std::vector<std::uint8_t> bytes = random_bytes(page, 3);
  std::memcpy(base, bytes.data(), page);
  for (std::size_t length = 0; length <= std::min<std::size_t>(page, 1100); ++length) {
    const std::uint8_t* data = base + page - length;
    ASSERT_EQ(extend(0, data, length), reference(0, data, length)) << length;
  }
  munmap(region, 2 * page);
}
#endif

std::vector<const CrcKernel*> all_kernels() {
  std::vector<const CrcKernel*> kernels;
  for (const CrcKernel& kernel : crc_kernels()) kernels.push_back(&kernel);
  return kernels;
}

INSTANTIATE_TEST_SUITE_P(Kernels, CrcKernelTest, ::testing::ValuesIn(all_kernels()),
                         [](const auto& info) { return std::string(info.param->name); });

TEST(CrcKernels, PortableIsLastAndAlwaysUsable) {
  ASSERT_FALSE(crc_kernels().empty());
  EXPECT_EQ(crc_kernels().back().name, "portable");
  EXPECT_NE(find_usable_kernel("portable"), nullptr);
  EXPECT_EQ(find_usable_kernel("no-such-kernel"), nullptr);
  EXPECT_TRUE(selected_kernel().usable());
}

// choose_kernel on fake kernel tables: which kernel a LOMVIK_CRC_KERNEL value selects.
bool yes() { return true; }
bool no() { return false; }
std::uint16_t unused(std::uint16_t crc, const std::uint8_t*, std::size_t) { return crc; }

constexpr CrcKernel kSomeUsable[] = {
    {"wide", unused, no}, {"mid", unused, yes}, {"narrow", unused, yes}, {"portable", unused, yes}};
constexpr CrcKernel kOnlyLastUsable[] = {
    {"wide", unused, no}, {"mid", unused, no}, {"portable", unused, yes}};

TEST(ChooseKernel, ForcedNameOrFirstUsable) {
  const struct {
    std::span<const CrcKernel> kernels;
    const char* forced;
    std::string_view expected;
    const char* why;
  } cases[] = {
      {kSomeUsable, "narrow", "narrow", "forced and usable: chosen over faster ones"},
      {kSomeUsable, "portable", "portable", "forced and usable: the last one"},
      {kSomeUsable, "wide", "mid", "forced but unusable: never chosen"},
      {kSomeUsable, "no-such", "mid", "unknown name"},
      {kSomeUsable, "narro", "mid", "only the whole name counts"},
      {kSomeUsable, "narrow ", "mid", "only the exact name counts"},
      {kSomeUsable, "", "mid", "empty name"},
      {kSomeUsable, nullptr, "mid", "not set"},
      {kOnlyLastUsable, nullptr, "portable", "nothing but the last usable"},
      {kOnlyLastUsable, "wide", "portable", "forced unusable, nothing but the last usable"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(choose_kernel(c.forced, c.kernels).name, c.expected) << c.why;
  }
}

}  // namespace
}  // namespace lomvik::internal

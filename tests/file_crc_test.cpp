// Reading files for their CRC: how much is read for each kind of file, and that no CRC is ever
// given for bytes that were not read.
#include "inf/file_crc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

#include "temp_dir.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace lomvik {
namespace {

std::span<const std::uint8_t> bytes_of(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(ReadExtent, FollowsTheKindOfFile) {
  struct Case {
    io::FileKind kind;
    std::uint64_t size;
    ReadExtent extent;
  } const cases[] = {
      {io::FileKind::regular, 3, ReadExtent::reported_size},
      // A pseudo file reports 0 and still has content.
      {io::FileKind::regular, 0, ReadExtent::to_end},
      // Positioning at the end of a block device gives its size; its reported size is 0.
      {io::FileKind::block_device, 0, ReadExtent::end_offset},
      // Positioning at the end of a character device gives 0 whatever it holds.
      {io::FileKind::character_device, 0, ReadExtent::to_end},
      {io::FileKind::fifo, 0, ReadExtent::to_end},
      {io::FileKind::fifo, 4096, ReadExtent::to_end},
      {io::FileKind::socket, 0, ReadExtent::to_end},
      {io::FileKind::directory, 4096, ReadExtent::refused},
  };
  for (const Case& c : cases) {
    io::FileInfo info;
    info.kind = c.kind;
    info.size = c.size;
    EXPECT_EQ(read_extent(info), c.extent) << static_cast<int>(c.kind) << " size " << c.size;
  }
}

class FileCrcTest : public testing::TempDirTest {
 protected:
  struct Opened {
    io::File file;
    io::FileInfo info;
  };
  static Opened open(const std::string& name) {
    auto file = io::File::open(name, io::Access::read, io::Blocking::never);
    EXPECT_TRUE(file) << name << ": " << file.error();
    auto info = file->info();
    EXPECT_TRUE(info);
    return {std::move(*file), *info};
  }
};

TEST_F(FileCrcTest, FromOffsetToTheEnd) {
  const std::string name = path("data");
  write_file(name, "XXXXabc");
  struct Case {
    std::uint64_t offset;
    CrcValue crc;
    std::uint64_t length;
  } const cases[] = {
      {0, crc_extend(0, bytes_of("XXXXabc")), 7}, {4, 0x59D2, 3}, {7, 0, 0}, {100, 0, 0}};
  for (const Case& c : cases) {
    auto [file, info] = open(name);
    const FileCrc result = crc_of_file(file, info, c.offset, {});
    EXPECT_TRUE(result.ok()) << c.offset;
    EXPECT_EQ(result.crc, c.crc) << c.offset;
    EXPECT_EQ(result.length, c.length) << c.offset;
  }
}

TEST_F(FileCrcTest, CopiesTheFirstBytes) {
  const std::string name = path("data");
  write_file(name, "f23e59d2\n");
  for (const std::size_t head_size : {0, 4, 8, 16}) {
    auto [file, info] = open(name);
    std::uint8_t head[16] = {};
    const FileCrc result = crc_of_file(file, info, 0, {.head = std::span(head, head_size)});
    ASSERT_TRUE(result.ok());
    const std::size_t copied = std::min<std::size_t>(head_size, 9);
    EXPECT_EQ(std::string_view(reinterpret_cast<char*>(head), copied),
              std::string_view("f23e59d2\n", copied));
  }
}

// A file that holds fewer bytes than its size says (as some pseudo files do), or that changes while
// it is read, fails: the CRC of bytes that were not read is never given.
TEST_F(FileCrcTest, MissingOrChangedBytesFail) {
  const std::string name = path("data");
  write_file(name, "abc");
  struct Case {
    const char* what;
    std::uint64_t size;
    std::int64_t modified_delta;
    FileCrcProblem problem;
  } const cases[] = {
      {"as it is", 3, 0, FileCrcProblem::none},
      {"shorter than its size", 5, 0, FileCrcProblem::changed},
      {"grew after its size was taken", 2, 0, FileCrcProblem::changed},
      {"written to while read", 3, 1, FileCrcProblem::changed},
  };
  for (const Case& c : cases) {
    auto [file, info] = open(name);
    info.size = c.size;
    info.modified_ns += c.modified_delta;
    EXPECT_EQ(crc_of_file(file, info, 0, {}).problem, c.problem) << c.what;
  }
  // A file read under a lock that keeps its writers out is not looked at again.
  auto [file, info] = open(name);
  info.modified_ns += 1;
  ReadOptions locked_out;
  locked_out.change_check = ChangeCheck::none;
  EXPECT_TRUE(crc_of_file(file, info, 0, locked_out).ok());
}

TEST_F(FileCrcTest, ReadsAcrossBlocks) {
  const std::string name = path("data");
  std::string content(300 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 + 7);
  write_file(name, content);
  auto [file, info] = open(name);
  const FileCrc result = crc_of_file(file, info, 0, {});
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.crc, crc_extend(0, bytes_of(content)));
}

// Files of many megabytes take another road (several threads); it must give the same CRC, and a
// file that is cut short while being read must fail, not count missing bytes.
TEST_F(FileCrcTest, LargeFilesAndTruncation) {
  const std::string name = path("large");
  std::string content((std::size_t{150} << 20) + 12345, '\0');
  std::mt19937_64 random(5);
  for (std::size_t i = 0; i + 8 <= content.size(); i += 8) {
    const std::uint64_t value = random();
    std::memcpy(content.data() + i, &value, 8);
  }
  write_file(name, content);
  const CrcValue expected = crc_extend(0, bytes_of(content));

  for (const std::uint64_t offset : {0, 4}) {
    auto [file, info] = open(name);
    std::uint8_t head[8] = {};
    const FileCrc result = crc_of_file(file, info, offset, {.head = head});
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.crc, offset == 0 ? expected : crc_extend(0, bytes_of(content).subspan(4)));
    EXPECT_EQ(std::memcmp(head, content.data() + offset, sizeof head), 0);
  }

  auto [file, info] = open(name);
  std::filesystem::resize_file(name, content.size() / 3);
  EXPECT_FALSE(crc_of_file(file, info, 0, {}).ok());
}

TEST_F(FileCrcTest, FoldersAreRefused) {
  auto folder = io::File::open(path(""), io::Access::read, io::Blocking::never);
  if (!folder) GTEST_SKIP() << "this system does not open folders as files";
  const auto info = folder->info();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->kind, io::FileKind::directory);
  EXPECT_FALSE(crc_of_file(*folder, *info, 0, {}).ok());
}

#ifdef __linux__
// A pseudo file reports the size 0 and is read to its end.
TEST_F(FileCrcTest, PseudoFilesAreReadToTheirEnd) {
  std::ifstream in("/proc/version", std::ios::binary);
  const std::string content(std::istreambuf_iterator<char>(in), {});
  ASSERT_FALSE(content.empty());
  auto [file, info] = open("/proc/version");
  EXPECT_EQ(info.size, 0U);
  const FileCrc result = crc_of_file(file, info, 0, {});
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.crc, crc_extend(0, bytes_of(content)));
  EXPECT_EQ(result.length, content.size());
}
#endif

#ifndef _WIN32
TEST_F(FileCrcTest, PipesAreReadToTheirEnd) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], "abc", 3), 3);
  close(ends[1]);
  io::File file(ends[0]);
  const auto info = file.info();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->kind, io::FileKind::fifo);
  const FileCrc result = crc_of_file(file, *info, 0, {});
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.crc, 0x59D2);
}
#endif

}  // namespace
}  // namespace lomvik

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "inf/inf_file.h"
#include "temp_dir.h"

namespace lomvik {
namespace {

TEST(InfName, AppendsInfToTheWholeName) {
  EXPECT_EQ(inf_name_for("image.bin"), "image.bin.inf");
  EXPECT_EQ(inf_name_for("image"), "image.inf");
  EXPECT_EQ(inf_name_for("dir/sub/-x"), "dir/sub/-x.inf");
  const std::string long_name(1000, 'a');
  EXPECT_EQ(inf_name_for(long_name), long_name + ".inf");
}

struct StampCase {
  const char* name;
  std::optional<std::string> before;  // empty: no inf file
  bool create;                        // stamp_new_inf, else stamp_existing_inf
  CrcValue data_crc;
  std::string after;  // after stamping and sealing
};

const StampCase kStampCases[] = {
    {"NewForAbc", std::nullopt, true, 0x59D2, "f23e59d2\n"},
    {"NewForEmptyData", std::nullopt, true, 0x0000, "9a530000\n"},
    {"NewEmptiesOldContent", "ABCD1234rest\nmore\n", true, 0x59D2, "f23e59d2\n"},
    {"ExistingKeepsTail", "ABCD1234rest\n", false, 0x59D2, "333d59d2rest\n"},
    {"ExistingShortGrowsToEight", "ab", false, 0x59D2, "9e1659d2"},
    {"ExistingEmptyGrowsToEight", "", false, 0x59D2, "9e1659d2"},
    {"ExistingKeepsCrLf", "zzzz9999a\r\nb\r\n", false, 0x0000,
     format_crc(crc_extend(0, {reinterpret_cast<const std::uint8_t*>("0000a\r\nb\r\n"), 10})) +
         "0000a\r\nb\r\n"},
};

class InfStampTest : public testing::TempDirTest,
                     public ::testing::WithParamInterface<StampCase> {};

TEST_P(InfStampTest, StampThenSeal) {
  const StampCase& c = GetParam();
  const std::string inf = path("data.inf");
  if (c.before) write_file(inf, *c.before);

  const InfResult stamped = c.create ? stamp_new_inf(inf, c.data_crc, std::nullopt)
                                     : stamp_existing_inf(inf, c.data_crc, std::nullopt);
  ASSERT_EQ(stamped, InfResult::ok);
  const std::string stamped_text = *read_file(inf);
  EXPECT_EQ(stamped_text.substr(0, 8), "0000" + format_crc(c.data_crc));

  const InfCrc body = inf_body_crc(inf, std::nullopt);
  ASSERT_EQ(body.result, InfResult::ok);
  ASSERT_EQ(seal_inf(inf, body.crc, std::nullopt), InfResult::ok);
  EXPECT_EQ(read_file(inf), c.after);
}

INSTANTIATE_TEST_SUITE_P(All, InfStampTest, ::testing::ValuesIn(kStampCases),
                         [](const auto& info) { return std::string(info.param.name); });

class InfFileTest : public testing::TempDirTest {};

TEST_F(InfFileTest, OperationsOnAMissingFileFailAndCreateNothing) {
  const std::string inf = path("absent.inf");
  EXPECT_EQ(stamp_existing_inf(inf, 0x1234, std::nullopt), InfResult::io_error);
  EXPECT_EQ(inf_body_crc(inf, std::nullopt).result, InfResult::io_error);
  EXPECT_EQ(seal_inf(inf, 0x1234, std::nullopt), InfResult::io_error);
  EXPECT_FALSE(lock_inf(inf, io::LockKind::exclusive, false, std::nullopt));
  EXPECT_FALSE(std::filesystem::exists(inf));
}

TEST_F(InfFileTest, ShortFilesHaveBodyCrcZeroAndSealGrowsThemToFour) {
  for (const std::string content : {"", "ab", "abcd"}) {
    const std::string inf = path("short.inf");
    write_file(inf, content);
    const InfCrc body = inf_body_crc(inf, std::nullopt);
    ASSERT_EQ(body.result, InfResult::ok);
    EXPECT_EQ(body.crc, 0);
    ASSERT_EQ(seal_inf(inf, body.crc, std::nullopt), InfResult::ok);
    EXPECT_EQ(read_file(inf), "0000") << "from '" << content << "'";
  }
}

TEST_F(InfFileTest, CreateFailsWhereNoFileCanBeMade) {
  EXPECT_EQ(stamp_new_inf(path("no/such/folder.inf"), 0, std::nullopt), InfResult::io_error);
  EXPECT_EQ(stamp_new_inf(path(""), 0, std::nullopt), InfResult::io_error);
}

// An inf file that is the data file under another name is never written: every operation fails
// and the data file keeps its bytes.
TEST_F(InfFileTest, TheDataFileIsNeverTakenForTheInfFile) {
  const std::string data = path("data");
  write_file(data, "precious");
  const auto id = io::Folder::working().stat(data);
  ASSERT_TRUE(id);
  const DataFileId data_file = id->id;
  EXPECT_FALSE(lock_inf(data, io::LockKind::exclusive, true, data_file));
  EXPECT_EQ(stamp_new_inf(data, 0x1234, data_file), InfResult::io_error);
  EXPECT_EQ(stamp_existing_inf(data, 0x1234, data_file), InfResult::io_error);
  EXPECT_EQ(inf_body_crc(data, data_file).result, InfResult::io_error);
  EXPECT_EQ(seal_inf(data, 0x1234, data_file), InfResult::io_error);
  EXPECT_EQ(read_file(data), "precious");
}

// A run of Lomvik creates the inf file and locks it a moment later: a reader that comes in between
// finds it empty, and must wait for that run rather than read the file half made.
TEST_F(InfFileTest, AReaderWaitsForTheRunThatCreatedTheInfFile) {
  const std::string inf = path("new.inf");
  write_file(inf, "");
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto file = io::File::open(inf, io::Access::update, io::Blocking::never);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->lock(io::LockKind::exclusive), 0);
    ASSERT_EQ(file->write_at(std::string_view("f23e59d2\n"), 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(file->close(), 0);
  });
  auto reader = io::File::open(inf, io::Access::read, io::Blocking::never);
  ASSERT_TRUE(reader);
  const auto info = lock_inf_file(*reader, io::LockKind::shared);
  reader->close();  // a reader that did not wait would hold up the writer otherwise
  writer.join();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->size, 9U);
}

TEST_F(InfFileTest, AFolderIsNoInfFile) {
  const std::string folder = path("x.inf");
  std::filesystem::create_directory(folder);
  EXPECT_FALSE(lock_inf(folder, io::LockKind::exclusive, true, std::nullopt));
  EXPECT_EQ(stamp_new_inf(folder, 0x1234, std::nullopt), InfResult::io_error);
  EXPECT_EQ(stamp_existing_inf(folder, 0x1234, std::nullopt), InfResult::io_error);
  EXPECT_EQ(inf_body_crc(folder, std::nullopt).result, InfResult::io_error);
}

#ifdef __linux__
// Devices are not inf files: nothing is "stored" in /dev/null, and /dev/full is not written to.
TEST_F(InfFileTest, DevicesAreNoInfFiles) {
  for (const std::string device : {"/dev/null", "/dev/full"}) {
    EXPECT_FALSE(lock_inf(device, io::LockKind::exclusive, true, std::nullopt)) << device;
    EXPECT_EQ(stamp_new_inf(device, 0x1234, std::nullopt), InfResult::io_error) << device;
    EXPECT_EQ(stamp_existing_inf(device, 0x1234, std::nullopt), InfResult::io_error) << device;
    EXPECT_EQ(inf_body_crc(device, std::nullopt).result, InfResult::io_error) << device;
    EXPECT_EQ(seal_inf(device, 0x1234, std::nullopt), InfResult::io_error) << device;
  }
}
#endif

}  // namespace
}  // namespace lomvik

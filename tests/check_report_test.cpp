// What Lomvik-check prints: JSON strings for any name, and the status line cut to the terminal.
#include "cli/check_report.h"

#include <gtest/gtest.h>

#include <string>

#include "cli/check_progress.h"

namespace lomvik {
namespace {

TEST(JsonString, EscapesWhatJsonNeedsAndKeepsEveryByte) {
  struct Case {
    std::string text;
    std::string json;
  } const cases[] = {
      {"rel/image.bin", R"("rel/image.bin")"},
      {"say \"hi\" \\ there", R"("say \"hi\" \\ there")"},
      {"tab\there\nline\r\x01\x1f\x7f", R"("tab\there\nline\r\u0001\u001f\u007f")"},
      {"données データ 😀", "\"données データ 😀\""},
      // Bytes that are not UTF-8, each on its own: a stray byte, an overlong form, a surrogate,
      // a sequence cut short, a value beyond U+10FFFF.
      {"bad\xff", R"("bad\udcff")"},
      {"\xc0\xaf", R"("\udcc0\udcaf")"},
      {"\xed\xa0\x80", R"("\udced\udca0\udc80")"},
      {"\xe2\x82", R"("\udce2\udc82")"},
      {"\xf4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},
      {std::string("nul\0byte", 8), R"("nul\u0000byte")"},
  };
  for (const Case& c : cases) EXPECT_EQ(json_string(c.text), c.json) << c.json;
}

TEST(ProgressLine, FitsTheTerminalAndKeepsTheEndOfTheName) {
  const std::string full =
      ProgressLine::compose(12, 340, 5 << 20, 2.0, "release/images/firmware.bin", 200);
  EXPECT_EQ(full, "Lomvik-check: 12 of 340 files, 5.0 MiB, 2.5 MiB/s: release/images/firmware.bin");
  // Before the search has counted the files, there is no total.
  EXPECT_EQ(ProgressLine::compose(3, 0, 100, 0, "", 80), "Lomvik-check: 3 files, 100 B");

  for (std::size_t width = 1; width <= 90; ++width) {
    const std::string line =
        ProgressLine::compose(12, 340, 5 << 20, 2.0, "release/images/ファームウェア.bin", width);
    std::size_t columns = 0;
    for (const char c : line) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    EXPECT_LE(columns, width > 0 ? width - 1 : 0) << width;
  }
  EXPECT_EQ(ProgressLine::compose(12, 340, 5 << 20, 2.0, "release/images/firmware.bin", 70),
            "Lomvik-check: 12 of 340 files, 5.0 MiB, 2.5 MiB/s: ...es/firmware.bin");
}

}  // namespace
}  // namespace lomvik

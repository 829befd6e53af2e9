#include "cli/wildcards.h"

#include <gtest/gtest.h>

namespace lomvik {
namespace {

TEST(WildcardMatch, StarsQuestionMarksAndCase) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } const cases[] = {
      {"*.bin", "image.bin", true},
      {"*.bin", "image.bin.inf", false},
      {"*.bin", ".bin", true},
      {"*.BIN", "image.bin", true},
      {"image.*", "image.bin", true},
      {"i?age.bin", "image.bin", true},
      {"i?age.bin", "iage.bin", false},
      {"*", "", true},
      {"", "x", false},
      {"a*b*c", "axxbyyc", true},
      {"a*b*c", "axxbyyd", false},
      {"*a*", "bab", true},
      {"**.inf", "x.inf", true},
      {"*.bin", "imagebin", false},
      {"données*", "données.bin", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  }
}

}  // namespace
}  // namespace lomvik

#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace kb::platform {
namespace {

TEST(CodepageTest, Windows1252RoundTripsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Windows1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToWindows1252(utf8), all);
}

TEST(CodepageTest, MapsTheHighControlsToTheirPrintableCharacters) {
  EXPECT_EQ(Windows1252ToUtf8("\x80"), "\u20AC");
  EXPECT_EQ(Windows1252ToUtf8("caf\xE9"), "caf\u00E9");
  EXPECT_EQ(Utf8ToWindows1252("\u0153uvre \u2014 na\u00EFve"), "\x9Cuvre \x97 na\xEFve");
}

TEST(CodepageTest, RefusesCharactersOutsideTheCodePage) {
  EXPECT_EQ(Utf8ToWindows1252("\u65E5\u672C"), std::nullopt);
  EXPECT_EQ(Utf8ToWindows1252("\xC3"), std::nullopt);  // cut sequence
}

TEST(CodepageTest, RecognisesMalformedUtf8) {
  EXPECT_TRUE(IsValidUtf8("plain ascii"));
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut at the end
  EXPECT_FALSE(IsValidUtf8("caf\xE9"));
}

TEST(CodepageTest, KeepsUtf8AndDecodesAnythingElseAsWindows1252) {
  EXPECT_EQ(Utf8OrWindows1252("caf\u00E9"), "caf\u00E9");
  EXPECT_EQ(Utf8OrWindows1252("caf\xE9"), "caf\u00E9");
}

}  // namespace
}  // namespace kb::platform

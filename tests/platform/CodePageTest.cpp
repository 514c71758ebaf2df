// The ANSI code page conversions, on the Central European code page the POSIX build fixes.
#include <gtest/gtest.h>

#include "platform/CodePage.h"

namespace vp::platform {
namespace {

// Windows takes the machine's own code page; these cases hold where it is Windows-1250.
bool IsCentralEuropean() { return Utf16UnitFromAnsi('\xE8') == 0x010D; }

#define REQUIRE_CP1250() \
  if (!IsCentralEuropean()) GTEST_SKIP() << "the ANSI code page is not Windows-1250"

TEST(CodePage, Utf16UnitsMapBothWays) {
  REQUIRE_CP1250();
  EXPECT_EQ(AnsiFromUtf16Unit(0x010D), "\xE8");  // c caron
  EXPECT_EQ(AnsiFromUtf16Unit(0x20AC), "\x80");  // euro sign
  EXPECT_EQ(AnsiFromUtf16Unit(0x0041), "A");
  EXPECT_EQ(AnsiFromUtf16Unit(0x0000), std::string(1, '\0'));
  EXPECT_EQ(Utf16UnitFromAnsi('\x8A'), 0x0160);  // S caron
  EXPECT_EQ(Utf16UnitFromAnsi('\xFF'), 0x02D9);  // dot above
  EXPECT_EQ(Utf16UnitFromAnsi('\x7F'), 0x007F);
}

TEST(CodePage, EveryByteSurvivesARoundTrip) {
  REQUIRE_CP1250();
  for (int byte = 0; byte < 256; ++byte) {
    char c = static_cast<char>(byte);
    EXPECT_EQ(AnsiFromUtf16Unit(Utf16UnitFromAnsi(c)), std::string(1, c)) << "byte " << byte;
  }
}

TEST(CodePage, MissingCharactersBecomeQuestionMarks) {
  REQUIRE_CP1250();
  EXPECT_EQ(AnsiFromUtf16Unit(0x00E8), "?");         // e grave: Western, not Central European
  EXPECT_EQ(AnsiFromUtf16Unit(0xD83D), "?");         // a lone surrogate
  EXPECT_EQ(AnsiFromUtf8("\xF0\x9F\x98\x80"), "?");  // beyond the BMP
}

TEST(CodePage, Utf8ConvertsOnlyWhenWellFormed) {
  REQUIRE_CP1250();
  EXPECT_EQ(AnsiFromUtf8("\xC4\x8D"
                         "a\xE2\x82\xAC"),
            "\xE8"
            "a\x80");
  EXPECT_EQ(AnsiFromUtf8("\xC0\x80"), "");              // overlong NUL
  EXPECT_EQ(AnsiFromUtf8("\xED\xA0\x80"), "");          // an encoded surrogate
  EXPECT_EQ(AnsiFromUtf8("\xF4\x90\x80\x80"), "");      // past U+10FFFF
  EXPECT_EQ(AnsiFromUtf8("\xF8\x88\x80\x80\x80"), "");  // the old five-byte form
  EXPECT_EQ(AnsiFromUtf8("\xC4"), "");                  // cut off
  EXPECT_EQ(AnsiFromUtf8(""), "");
}

TEST(CodePage, UpperCaseMapsAccentedLetters) {
  REQUIRE_CP1250();
  EXPECT_EQ(AnsiUpperCase("mode 1"), "MODE 1");
  // c caron, s caron, z caron, l stroke, a ogonek, z dot above, t caron
  EXPECT_EQ(AnsiUpperCase("\xE8\x9A\x9E\xB3\xB9\xBF\x9D"), "\xC8\x8A\x8E\xA3\xA5\xAF\x8D");
  // sharp s has no single capital; the division sign and the dot above are no letters
  EXPECT_EQ(AnsiUpperCase("\xDF\xF7\xFF"), "\xDF\xF7\xFF");
  EXPECT_EQ(AnsiUpperCase(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(CodePage, AnsiTextBecomesUtf8) {
  REQUIRE_CP1250();
  EXPECT_EQ(Utf8FromAnsi("Pomo\xE6 \x8Aibenik \x80"), "Pomo\xC4\x87 \xC5\xA0ibenik \xE2\x82\xAC");
  EXPECT_EQ(Utf8FromAnsi(""), "");
  EXPECT_EQ(AnsiFromUtf8(Utf8FromAnsi("\xE8\x9E\xF0")), "\xE8\x9E\xF0");  // c, z caron, d stroke
}

}  // namespace
}  // namespace vp::platform

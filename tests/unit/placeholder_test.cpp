#include "configure/placeholder.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

const LeadBytes kGbk = LeadBytes::CodePage936();

std::string Replace(std::string_view text, std::string_view placeholder,
                    std::string_view replacement) {
  return ReplacePlaceholder(text, placeholder, replacement, kGbk);
}

TEST(PlaceholderReplacement, ReplacesEveryOccurrenceLeftToRight) {
  EXPECT_EQ(Replace("[xpath]a[xpath][xpath]", "[xpath]", "D:\\w\\"), "D:\\w\\aD:\\w\\D:\\w\\");
  EXPECT_EQ(Replace("[xpath]", "[xpath]", ""), "");
  EXPECT_EQ(Replace("no placeholder", "[xpath]", "x"), "no placeholder");
  EXPECT_EQ(Replace("", "[xpath]", "x"), "");
  EXPECT_EQ(Replace("[xpat", "[xpath]", "x"), "[xpat");
}

TEST(PlaceholderReplacement, MatchesExactCaseOnly) {
  EXPECT_EQ(Replace("[XPATH] [Xpath] [xpath]", "[xpath]", "D:\\"), "[XPATH] [Xpath] D:\\");
}

TEST(PlaceholderReplacement, DoesNotScanInsertedTextAgain) {
  EXPECT_EQ(Replace("[port]", "[port]", "[port][port]"), "[port][port]");
  // An occurrence made up of inserted text and the text after it is not a match either.
  EXPECT_EQ(Replace("[port]port]", "[port]", "["), "[port]");
}

TEST(PlaceholderReplacement, OccurrencesDoNotOverlap) {
  EXPECT_EQ(Replace("aaa", "aa", "b"), "ba");
  EXPECT_EQ(Replace("[[port]]", "[port]", "81"), "[81]");
}

TEST(PlaceholderReplacement, PortAndPort2DoNotDisturbEachOther) {
  EXPECT_EQ(Replace("Listen [port] [port2]", "[port]", "81"), "Listen 81 [port2]");
  EXPECT_EQ(Replace("localhost[port2] [port]", "[port2]", ":81"), "localhost:81 [port]");
}

TEST(PlaceholderReplacement, DoesNotMatchInsideDoubleByteCharacter) {
  // 0x81 0x5B is one character whose second byte is "[".
  const std::string text = "\x81[xpath]";
  EXPECT_EQ(Replace(text, "[xpath]", "D:\\"), text);
  // After that character, the next one starts a match again.
  EXPECT_EQ(Replace("\x81[[xpath]", "[xpath]", "D:\\"), "\x81[D:\\");
  // A second byte that is itself a lead-byte value: 0xB0 0xB0 is one character, so "[" after it
  // starts a character; after three such bytes it does not.
  EXPECT_EQ(Replace("\xB0\xB0[xpath]", "[xpath]", "X"), "\xB0\xB0X");
  EXPECT_EQ(Replace("\xB0\xB0\xB0[xpath]", "[xpath]", "X"), "\xB0\xB0\xB0[xpath]");
}

TEST(PlaceholderReplacement, FindsMatchesAfterSkippedSecondBytes) {
  // Several second-byte "[" in a row, each skipped, then a real match.
  const std::string text = "\x81[\x82[\x83[ [port] \xC4\xE3[port]";
  EXPECT_EQ(Replace(text, "[port]", "80"),
            "\x81[\x82[\x83[ 80 \xC4\xE3"
            "80");
}

TEST(PlaceholderReplacement, SingleByteCodePageMatchesEveryWhere) {
  EXPECT_EQ(ReplacePlaceholder("\x81[xpath]", "[xpath]", "X", LeadBytes()), "\x81X");
}

TEST(PlaceholderReplacement, KeepsChineseTextByteForByte) {
  // "中文注释" in code page 936, with the placeholder between the characters.
  const std::string text = "\xD6\xD0\xCE\xC4[xpath]\xD7\xA2\xCA\xCD\r\n";
  EXPECT_EQ(Replace(text, "[xpath]", "C:\\\xB2\xE2\xCA\xD4\\"),
            "\xD6\xD0\xCE\xC4"
            "C:\\\xB2\xE2\xCA\xD4\\\xD7\xA2\xCA\xCD\r\n");
}

TEST(PlaceholderReplacement, LeadByteAtTheEndOfTheTextIsKept) {
  EXPECT_EQ(Replace("[port]\x81", "[port]", "80"), "80\x81");
  EXPECT_EQ(Replace("\x81", "[port]", "80"), "\x81");
}

TEST(PlaceholderReplacement, EmptyPlaceholderMatchesNothing) {
  EXPECT_EQ(Replace("abc", "", "x"), "abc");
}

TEST(PlaceholderReplacement, LongRunsOfDoubleByteTextAgreeWithAForwardWalk) {
  // Long runs of lead-byte values before candidates: the result must be that of walking the text
  // character by character from its start.
  std::string text;
  for (int run = 0; run < 40; ++run) {
    text.append(static_cast<size_t>(run), '\xB0');
    text += "[port]";
  }
  std::string expected;
  for (int run = 0; run < 40; ++run) {
    expected.append(static_cast<size_t>(run), '\xB0');
    expected += run % 2 == 0 ? "81" : "[port]";
  }
  EXPECT_EQ(Replace(text, "[port]", "81"), expected);
}

}  // namespace
}  // namespace orv

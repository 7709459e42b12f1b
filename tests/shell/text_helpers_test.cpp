#include <gtest/gtest.h>

#include "shell/text_helpers.h"
#include "tests/fake_host.h"

namespace {

const CharSet kComma = Delimiters(",");

TEST(WordHelpers, SkipsDelimitersAroundAndBetweenWords) {
  const std::string text = ",a,,b,";
  EXPECT_EQ(CountWords(text, kComma), 2);
  EXPECT_EQ(NthWord(1, text, kComma), "a");
  EXPECT_EQ(NthWord(2, text, kComma), "b");
  EXPECT_EQ(NthWord(3, text, kComma), "");
  EXPECT_EQ(WordStart(2, text, kComma), 5);
  EXPECT_EQ(WordStart(0, text, kComma), 0);
  EXPECT_EQ(WordStart(-1, text, kComma), 0);
  EXPECT_EQ(SplitWords(text, kComma), (std::vector<std::string_view>{"a", "b"}));
}

TEST(WordHelpers, EmptyAndDelimiterOnlyTextsHaveNoWords) {
  for (const std::string text : {"", ",", ",,,"}) {
    EXPECT_EQ(CountWords(text, kComma), 0) << text;
    EXPECT_EQ(NthWord(1, text, kComma), "") << text;
    EXPECT_EQ(WordStart(1, text, kComma), 0) << text;
    EXPECT_TRUE(SplitWords(text, kComma).empty()) << text;
  }
}

TEST(WordHelpers, SpacesBelongToWordsAndKeyedLinesSplitAtEquals) {
  EXPECT_EQ(NthWord(2, "111, 222 ,x", kComma), " 222 ");
  EXPECT_EQ(SplitWords("111, 222 ,x", kComma), (std::vector<std::string_view>{"111", " 222 ", "x"}));
  const CharSet equals = Delimiters("=");
  EXPECT_EQ(CountWords("Tries=", equals), 1);
  EXPECT_EQ(NthWord(2, "Tries=", equals), "");
  EXPECT_EQ(NthWord(2, "Login==bob=x", equals), "bob");
}

TEST(IntegerRule, AcceptsSignedDecimalAndDollarHexOnly) {
  EXPECT_EQ(ParseInteger("0"), 0);
  EXPECT_EQ(ParseInteger("-1"), -1);
  EXPECT_EQ(ParseInteger("+7"), 7);
  EXPECT_EQ(ParseInteger("   5"), 5);
  EXPECT_EQ(ParseInteger("05"), 5);
  EXPECT_EQ(ParseInteger("$1F"), 31);
  EXPECT_EQ(ParseInteger("$1f"), 31);
  EXPECT_EQ(ParseInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
  for (const char* bad : {"", " ", "abc", "5 ", "1a", "-", "+", "$", "$G", "0x10", "2147483648",
                          "-2147483649", "$100000000", "--1", "- 1"}) {
    EXPECT_FALSE(ParseInteger(bad).has_value()) << bad;
  }
}

class CodePages : public PluginTest {};

TEST_F(CodePages, AsciiIsUnchangedAndLengthAlwaysKept) {
  EXPECT_EQ(ConvertToOem("Office 42"), "Office 42");
  EXPECT_EQ(ConvertToAnsi("Office 42"), "Office 42");
  const std::string long_text(600, 'x');
  EXPECT_EQ(ConvertToOem(long_text), long_text);
  EXPECT_EQ(ConvertToAnsi(long_text).size(), 600u);
  EXPECT_EQ(ConvertToOem(""), "");
}

TEST_F(CodePages, ConvertsBetweenTheWorldsCodePages) {
  // e acute: 0xE9 in the ANSI code page 1252, 0x82 in the OEM code page 437.
  EXPECT_EQ(ConvertToOem("\xE9t\xE9"), "\x82t\x82");
  EXPECT_EQ(ConvertToAnsi("\x82t\x82"), "\xE9t\xE9");
}

}  // namespace

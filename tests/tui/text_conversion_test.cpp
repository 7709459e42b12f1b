// OEM <-> UTF-8 through iconv, and the key translation.
#include <curses.h>
#include <gtest/gtest.h>

#include "host/terminal/key_input.h"
#include "host/terminal/oem_codec.h"

namespace {

class OemCodecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(codec.Open("CP437", error)) << error;
  }
  OemCodec codec;
};

TEST_F(OemCodecTest, ShowsCodePage437AsUtf8) {
  EXPECT_EQ(codec.ToUtf8("B\x81ro"), "B\xC3\xBCro");                                // u-umlaut
  EXPECT_EQ(codec.ToUtf8("\xC9\xCD\xBB"), "\xE2\x95\x94\xE2\x95\x90\xE2\x95\x97");  // double frame
  EXPECT_EQ(codec.Glyph(0x81), U'\u00FC');
  EXPECT_EQ(codec.Glyphs("A\xFB"), U"A\u221A");
}

TEST_F(OemCodecTest, ControlBytesNeverReachTheTerminalAsControls) {
  EXPECT_EQ(codec.Glyph(0x00), U' ');
  EXPECT_EQ(codec.Glyph(0x01), U'\u263A');
  EXPECT_EQ(codec.Glyph(0x1B), U'\u2190');
  EXPECT_EQ(codec.Glyph(0x7F), U'\u2302');
  for (int b = 0; b < 256; ++b) {
    const char32_t g = codec.Glyph(static_cast<unsigned char>(b));
    EXPECT_TRUE(g >= 0x20 && g != 0x7F) << "byte " << b;
  }
}

TEST_F(OemCodecTest, TypedTextGoesBackToOemWithQuestionMarks) {
  EXPECT_EQ(codec.FromUtf8("B\xC3\xBCro"), "B\x81ro");
  // The euro sign and a CJK character are not in code page 437.
  EXPECT_EQ(codec.FromUtf8("a\xE2\x82\xAC"
                           "b\xE4\xB8\xAD"
                           "c"),
            "a?b?c");
  EXPECT_EQ(codec.FromCodePoint(U'\u00FC'), '\x81');
  EXPECT_EQ(codec.FromCodePoint(U'\u20AC'), '?');
  EXPECT_EQ(codec.FromCodePoint(U'x'), 'x');
}

TEST_F(OemCodecTest, MalformedUtf8CostsOneQuestionMarkAndNothingAfterIt) {
  EXPECT_EQ(codec.FromUtf8("\xE2"
                           "A"),
            "?A");  // cut-off sequence before a letter
  EXPECT_EQ(codec.FromUtf8("x\xFF"
                           "y"),
            "x?y");                              // a byte that starts nothing
  EXPECT_EQ(codec.FromUtf8("end\xC3"), "end?");  // cut off at the end
  EXPECT_EQ(DecodeUtf8("a\xFF"
                       "b"),
            U"a\uFFFD"
            "b");
}

TEST(OemCodecOpen, OtherCodePagesAndUnknownOnes) {
  OemCodec cyrillic;
  std::string error;
  ASSERT_TRUE(cyrillic.Open("CP866", error));
  EXPECT_EQ(cyrillic.FromUtf8("\xD0\x94"), "\x84");  // Cyrillic De
  EXPECT_EQ(cyrillic.ToUtf8("\x84"), "\xD0\x94");

  OemCodec unknown;
  EXPECT_FALSE(unknown.Open("NO-SUCH-PAGE", error));
  EXPECT_NE(error.find("NO-SUCH-PAGE"), std::string::npos);
}

TEST(KeyTranslation, CommandKeysCarryTheirVirtualKeyCodes) {
  EXPECT_EQ(TranslateKey(KEY_CODE_YES, KEY_F(4)).vk, 0x73);
  EXPECT_EQ(TranslateKey(KEY_CODE_YES, KEY_F(1)).vk, vk::kF1);
  EXPECT_EQ(TranslateKey(KEY_CODE_YES, KEY_IC).vk, 45);
  EXPECT_EQ(TranslateKey(KEY_CODE_YES, KEY_DC).vk, 46);
  EXPECT_EQ(TranslateKey(KEY_CODE_YES, KEY_NPAGE).vk, vk::kNext);
  EXPECT_EQ(TranslateKey(OK, 27).vk, vk::kEscape);
  EXPECT_EQ(TranslateKey(OK, '\r').vk, vk::kReturn);
  EXPECT_EQ(TranslateKey(OK, 127).vk, vk::kBack);
  const Key back_tab = TranslateKey(KEY_CODE_YES, KEY_BTAB);
  EXPECT_EQ(back_tab.vk, vk::kTab);
  EXPECT_TRUE(back_tab.shift);
  EXPECT_EQ(TranslateKey(KEY_CODE_YES, KEY_RESIZE).kind, Key::Kind::Resize);
  EXPECT_EQ(TranslateKey(ERR, 0).kind, Key::Kind::None);
}

TEST(KeyTranslation, CharactersAreNotMistakenForBreakKeys) {
  // '-' and '.' have the codes of Insert and Delete; typed, they must not
  // close a menu as those keys would.
  const Key dot = TranslateKey(OK, '.');
  EXPECT_EQ(dot.kind, Key::Kind::Char);
  EXPECT_EQ(dot.vk, 0);
  EXPECT_EQ(TranslateKey(OK, '-').vk, 0);
  EXPECT_EQ(TranslateKey(OK, 'a').vk, 'A');
  EXPECT_EQ(TranslateKey(OK, '7').vk, '7');
  const Key umlaut = TranslateKey(OK, 0xFC);
  EXPECT_EQ(umlaut.kind, Key::Kind::Char);
  EXPECT_EQ(umlaut.ch, U'\u00FC');
  EXPECT_EQ(TranslateKey(OK, 0x01).kind, Key::Kind::None);  // Ctrl-A
}

}  // namespace

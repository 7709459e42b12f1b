// Conversion between the plug-in's 8-bit OEM texts and UTF-8, through iconv.
//
// Every text the plug-in hands the host is in an OEM code page (437 unless
// the language says otherwise); the terminal speaks UTF-8. Display goes
// OEM -> UTF-8 -> Unicode characters; typed text goes the other way, with
// '?' for a character the code page does not have.
#pragma once

#include <iconv.h>

#include <array>
#include <string>
#include <string_view>

class OemCodec {
 public:
  OemCodec() = default;
  ~OemCodec();
  OemCodec(const OemCodec&) = delete;
  OemCodec& operator=(const OemCodec&) = delete;

  // Opens the converters for `code_page`, an iconv name such as "CP437" or
  // "CP866". Returns false, with `error` set, when iconv does not know it;
  // the codec is then unusable. Call once, before anything else.
  bool Open(const std::string& code_page, std::string& error);

  // OEM bytes as UTF-8. A byte the code page leaves undefined becomes '?'.
  std::string ToUtf8(std::string_view oem) const;
  // UTF-8 as OEM bytes. A character the code page lacks, and every
  // malformed UTF-8 sequence, becomes one '?'.
  std::string FromUtf8(std::string_view utf8) const;

  // The character that shows the OEM byte on screen: the code page's own
  // character, except that the control bytes 1 to 31 and 127 show as the
  // classic console glyphs (smiley, arrows, ...) and 0 as a blank, so that
  // no control character ever reaches the terminal.
  char32_t Glyph(unsigned char oem) const { return glyphs_[oem]; }
  // A whole OEM text as screen characters, one per byte.
  std::u32string Glyphs(std::string_view oem) const;
  // The OEM byte for one typed character; '?' when the code page has none.
  char FromCodePoint(char32_t c) const;

 private:
  std::string Convert(iconv_t cd, std::string_view in, bool from_utf8) const;

  iconv_t to_utf8_ = reinterpret_cast<iconv_t>(-1);
  iconv_t from_utf8_ = reinterpret_cast<iconv_t>(-1);
  std::array<char32_t, 256> glyphs_{};
};

// UTF-8 helpers shared by the terminal modules.
std::string EncodeUtf8(char32_t c);
// The code points of a UTF-8 text; a malformed byte gives U+FFFD.
std::u32string DecodeUtf8(std::string_view utf8);

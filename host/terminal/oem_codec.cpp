// OEM <-> UTF-8 with iconv (see oem_codec.h).
#include "host/terminal/oem_codec.h"

#include <cerrno>

namespace {

const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);

// The console glyphs of the control bytes 1 to 31.
constexpr char32_t kControlGlyphs[32] = {U' ',      U'\u263A', U'\u263B', U'\u2665', U'\u2666', U'\u2663', U'\u2660',
                                         U'\u2022', U'\u25D8', U'\u25CB', U'\u25D9', U'\u2642', U'\u2640', U'\u266A',
                                         U'\u266B', U'\u263C', U'\u25BA', U'\u25C4', U'\u2195', U'\u203C', U'\u00B6',
                                         U'\u00A7', U'\u25AC', U'\u21A8', U'\u2191', U'\u2193', U'\u2192', U'\u2190',
                                         U'\u221F', U'\u2194', U'\u25B2', U'\u25BC'};

// The length of the UTF-8 sequence that starts with `lead`; 1 for a byte
// that cannot start one.
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  return 1;
}

}  // namespace

std::string EncodeUtf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x110000) {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

std::u32string DecodeUtf8(std::string_view utf8) {
  std::u32string out;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out += lead;
      ++i;
      continue;
    }
    const size_t length = SequenceLength(lead);
    bool good = length > 1 && i + length <= utf8.size();
    char32_t c = lead & (0x7F >> length);
    for (size_t k = 1; good && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) good = false;
      c = (c << 6) | (next & 0x3F);
    }
    if (good) {
      out += c;
      i += length;
    } else {
      out += U'\uFFFD';
      ++i;
    }
  }
  return out;
}

OemCodec::~OemCodec() {
  if (to_utf8_ != kClosed) iconv_close(to_utf8_);
  if (from_utf8_ != kClosed) iconv_close(from_utf8_);
}

bool OemCodec::Open(const std::string& code_page, std::string& error) {
  to_utf8_ = iconv_open("UTF-8", code_page.c_str());
  from_utf8_ = iconv_open(code_page.c_str(), "UTF-8");
  if (to_utf8_ == kClosed || from_utf8_ == kClosed) {
    error = "iconv does not know the code page " + code_page;
    return false;
  }
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const std::u32string one = DecodeUtf8(ToUtf8(std::string_view(&byte, 1)));
    glyphs_[static_cast<size_t>(b)] = one.size() == 1 ? one[0] : U'?';
  }
  for (int b = 0; b < 32; ++b) glyphs_[static_cast<size_t>(b)] = kControlGlyphs[b];
  glyphs_[0x7F] = U'\u2302';
  return true;
}

std::string OemCodec::Convert(iconv_t cd, std::string_view in, bool from_utf8) const {
  std::string out;
  if (cd == kClosed) return std::string(in.size(), '?');
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char buffer[256];
  char* in_ptr = const_cast<char*>(in.data());
  size_t in_left = in.size();
  while (in_left > 0) {
    char* out_ptr = buffer;
    size_t out_left = sizeof buffer;
    const size_t done = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    out.append(buffer, static_cast<size_t>(out_ptr - buffer));
    if (done != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // A character without a counterpart, a malformed sequence or a cut-off
    // one: one '?' for it, and go on after it.
    out += '?';
    size_t skip = 1;
    if (from_utf8) {
      const size_t length = SequenceLength(static_cast<unsigned char>(*in_ptr));
      while (skip < length && skip < in_left && (static_cast<unsigned char>(in_ptr[skip]) & 0xC0) == 0x80) ++skip;
    }
    in_ptr += skip;
    in_left -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::string OemCodec::ToUtf8(std::string_view oem) const { return Convert(to_utf8_, oem, false); }

std::string OemCodec::FromUtf8(std::string_view utf8) const { return Convert(from_utf8_, utf8, true); }

std::u32string OemCodec::Glyphs(std::string_view oem) const {
  std::u32string out;
  out.reserve(oem.size());
  for (char c : oem) out += glyphs_[static_cast<unsigned char>(c)];
  return out;
}

char OemCodec::FromCodePoint(char32_t c) const {
  const std::string oem = FromUtf8(EncodeUtf8(c));
  return oem.size() == 1 ? oem[0] : '?';
}

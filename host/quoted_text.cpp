// Quoting and unquoting of texts for scripts and transcripts.
#include "host/quoted_text.h"

namespace {
constexpr char kHexDigits[] = "0123456789abcdef";
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string QuoteText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (byte < 0x20 || byte >= 0x7f) {
      out += "\\x";
      out += kHexDigits[byte >> 4];
      out += kHexDigits[byte & 0x0f];
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

bool ParseQuotedText(std::string_view text, size_t& pos, std::string& out, std::string& error) {
  out.clear();
  if (pos >= text.size() || text[pos] != '"') {
    error = "a quoted text must start with \"";
    return false;
  }
  ++pos;
  while (pos < text.size()) {
    const char ch = text[pos++];
    if (ch == '"') return true;
    if (ch != '\\') {
      out += ch;
      continue;
    }
    if (pos >= text.size()) break;
    const char esc = text[pos++];
    switch (esc) {
      case '"':
      case '\\':
        out += esc;
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'x': {
        const int hi = pos < text.size() ? HexDigitValue(text[pos]) : -1;
        const int lo = pos + 1 < text.size() ? HexDigitValue(text[pos + 1]) : -1;
        if (hi < 0 || lo < 0) {
          error = "\\x must be followed by two hex digits";
          return false;
        }
        out += static_cast<char>(hi * 16 + lo);
        pos += 2;
        break;
      }
      default:
        error = std::string("unknown escape \\") + esc;
        return false;
    }
  }
  error = "the quoted text has no closing \"";
  return false;
}

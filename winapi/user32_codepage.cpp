// user32: conversion between the ANSI and the OEM code page, through iconv
// with the world's code pages (system.ini [system] ansi_codepage and
// oem_codepage; 1252 and 437 by default).
#include <iconv.h>

#include <array>
#include <cstring>
#include <map>
#include <mutex>

#include "winapi/standin_internal.h"
#include "winapi/windows.h"

namespace standin {
namespace {

std::string IconvName(unsigned cp) {
  switch (cp) {
    case 65001:
      return "UTF-8";
    case 20866:
      return "KOI8-R";
    case 21866:
      return "KOI8-U";
    case 28591:
      return "ISO-8859-1";
    case 28592:
      return "ISO-8859-2";
    case 28595:
      return "ISO-8859-5";
    default:
      return "CP" + std::to_string(cp);
  }
}

// Converts `in` from one iconv encoding to another; false when iconv cannot
// open the pair or a character cannot be converted.
bool IconvConvert(const std::string& from, const std::string& to, const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result(in.size() * 8 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = result.data();
  size_t dst_left = result.size();
  size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
  bool ok = rc != static_cast<size_t>(-1) && src_left == 0;
  if (ok) ok = iconv(cd, nullptr, nullptr, &dst, &dst_left) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return false;
  result.resize(result.size() - dst_left);
  *out = result;
  return true;
}

using Table = std::array<unsigned char, 256>;

// The Unicode code point of one byte of a code page; -1 when undefined.
long CodePoint(const std::string& from, unsigned char b) {
  std::string out;
  if (!IconvConvert(from, "UTF-32LE", std::string(1, static_cast<char>(b)), &out) || out.size() != 4) return -1;
  return static_cast<long>(static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8 |
                           static_cast<unsigned char>(out[2]) << 16 | static_cast<unsigned char>(out[3]) << 24);
}

// The nearest plain character of a character that a code page lacks, as the
// system's best-fit tables give it: the letter without its accent, or a
// plain stand-in for typographic signs; 0 when there is none.
char BestFit(long cp) {
  static const char kLatin1[] =  // U+00C0..U+00FF
      "AAAAAAACEEEEIIIIDNOOOOOxOUUUUY?saaaaaaaceeeeiiiidnooooo/ouuuuy?y";
  static const char kLatinExtA[] =  // U+0100..U+017F
      "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi??JjKkkLlLlLlLlLlNnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTtUuUuUuUuUu"
      "UuWwYyYZzZzZzs";
  if (cp >= 0xC0 && cp <= 0xFF) return kLatin1[cp - 0xC0] == '?' ? 0 : kLatin1[cp - 0xC0];
  if (cp >= 0x100 && cp <= 0x17F) return kLatinExtA[cp - 0x100] == '?' ? 0 : kLatinExtA[cp - 0x100];
  switch (cp) {
    case 0xA9: return 'c';   // copyright
    case 0xAE: return 'r';   // registered
    case 0xB9: return '1';
    case 0xB3: return '3';
    case 0xA0: return ' ';
    case 0x2018:
    case 0x2019:
    case 0x201A: return '\'';
    case 0x201C:
    case 0x201D:
    case 0x201E: return '"';
    case 0x2013:
    case 0x2014: return '-';
    case 0x2026: return '.';
    case 0x2039: return '<';
    case 0x203A: return '>';
    case 0x02C6: return '^';
    case 0x02DC: return '~';
    case 0x2122: return 'T';
    default: return 0;
  }
}

// The byte-to-byte table from one code page to another: the exact
// counterpart, else the best fit, else "?". Bytes below 0x80
// are the same in every code page used here and stay as they are.
Table BuildTable(unsigned from_cp, unsigned to_cp) {
  Table table{};
  std::string from = IconvName(from_cp);
  std::string to = IconvName(to_cp);
  for (int b = 0; b < 256; ++b) {
    table[static_cast<size_t>(b)] = static_cast<unsigned char>(b);
    if (b < 0x80) continue;
    std::string in(1, static_cast<char>(b));
    std::string out;
    if (IconvConvert(from, to, in, &out) && out.size() == 1) {
      table[static_cast<size_t>(b)] = static_cast<unsigned char>(out[0]);
    } else if (char fit = BestFit(CodePoint(from, static_cast<unsigned char>(b)))) {
      table[static_cast<size_t>(b)] = static_cast<unsigned char>(fit);
    } else {
      table[static_cast<size_t>(b)] = '?';
    }
  }
  return table;
}

std::mutex g_tables_mutex;

const Table& TableFor(unsigned from_cp, unsigned to_cp) {
  static std::map<std::pair<unsigned, unsigned>, Table> tables;
  std::lock_guard<std::mutex> lock(g_tables_mutex);
  auto key = std::make_pair(from_cp, to_cp);
  auto it = tables.find(key);
  if (it == tables.end()) it = tables.emplace(key, BuildTable(from_cp, to_cp)).first;
  return it->second;
}

void Convert(const char* src, char* dst, size_t n, unsigned from_cp, unsigned to_cp) {
  const Table& table = TableFor(from_cp, to_cp);
  for (size_t i = 0; i < n; ++i) {
    dst[i] = static_cast<char>(table[static_cast<unsigned char>(src[i])]);
  }
}

}  // namespace

unsigned AnsiCodePage() { return static_cast<unsigned>(SystemIni()->GetInt("system", "ansi_codepage", 1252)); }
unsigned OemCodePage() { return static_cast<unsigned>(SystemIni()->GetInt("system", "oem_codepage", 437)); }

std::string ConvertSingleByte(const std::string& text, unsigned from_cp, unsigned to_cp) {
  std::string out(text.size(), '\0');
  Convert(text.data(), out.data(), text.size(), from_cp, to_cp);
  return out;
}

std::string ToUtf8(const std::string& text, unsigned from_cp) {
  std::string out;
  if (IconvConvert(IconvName(from_cp), "UTF-8", text, &out)) return out;
  // Bytes the code page does not define become "?".
  out.clear();
  for (char c : text) out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
  return out;
}

}  // namespace standin

using namespace standin;

BOOL WINAPI CharToOemA(LPCSTR pSrc, LPSTR pDst) {
  if (!pSrc || !pDst) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // strlen before writing: source and destination may be the same buffer.
  Convert(pSrc, pDst, std::strlen(pSrc) + 1, AnsiCodePage(), OemCodePage());
  return TRUE;
}

BOOL WINAPI OemToCharA(LPCSTR pSrc, LPSTR pDst) {
  if (!pSrc || !pDst) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Convert(pSrc, pDst, std::strlen(pSrc) + 1, OemCodePage(), AnsiCodePage());
  return TRUE;
}

BOOL WINAPI CharToOemBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength) {
  if (!lpszSrc || !lpszDst) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Convert(lpszSrc, lpszDst, cchDstLength, AnsiCodePage(), OemCodePage());
  return TRUE;
}

BOOL WINAPI OemToCharBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength) {
  if (!lpszSrc || !lpszDst) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Convert(lpszSrc, lpszDst, cchDstLength, OemCodePage(), AnsiCodePage());
  return TRUE;
}

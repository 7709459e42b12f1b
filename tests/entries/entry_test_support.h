// Helpers of the entry store tests: files as the older writers wrote them,
// the described reader and changes on plain lines, random texts.
#pragma once

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "entries/entry_file.h"
#include "entries/line_scrambler.h"
#include "shell/text_helpers.h"

inline std::vector<std::string> BlockLines(const DialEntry& e) {
  return {"[" + e.Name + "]",     "Login=" + e.Login,       "Password=" + e.Password, "Domain=" + e.Domain,
          "Numbers=" + e.Numbers, "Interval=" + e.Interval, "Tries=" + e.Tries,       "Callback=" + e.Callback};
}

inline std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The file an older writer made: scrambled lines, each followed by CR LF.
inline std::string LegacyText(const std::vector<std::string>& plain) {
  std::string text;
  for (const std::string& line : plain) text += ScrambleLine(line.substr(0, 255), kScramblePasses) + "\r\n";
  return text;
}

// Whether no stored line of these plain lines holds byte 0, 10, 13 or 26.
inline bool IsLegacyClean(const std::vector<std::string>& plain) {
  for (const std::string& line : plain) {
    const std::string stored = ScrambleLine(line.substr(0, 255), kScramblePasses);
    if (stored.find_first_of(std::string("\0\n\r\x1A", 4)) != std::string::npos) return false;
  }
  return true;
}

// Printable ASCII, or with `any_byte` every byte but 0, 10 and 13; never
// one of `excluded`.
inline std::string RandomText(std::mt19937& rng, size_t max, const std::string& excluded, bool any_byte = false) {
  const size_t n = rng() % (max + 1);
  std::string s;
  while (s.size() < n) {
    const char c = any_byte ? static_cast<char>(rng()) : static_cast<char>(32 + rng() % 95);
    if (c != '\0' && c != '\n' && c != '\r' && excluded.find(c) == std::string::npos) s += c;
  }
  return s;
}

// ReadDialEntry as first described (values by the word rule) on plain lines:
// Login, Password, Domain, Numbers, Callback, then Interval and Tries.
inline std::vector<std::string> DescribedRead(const std::vector<std::string>& plain, const std::string& name) {
  for (size_t i = 0; i < plain.size(); ++i) {
    if (LowerAscii(plain[i]) != "[" + LowerAscii(name) + "]") continue;
    std::vector<std::string> v;
    for (size_t j = i + 1; j < i + 8; ++j) v.push_back(j < plain.size() ? NthWord(2, plain[j], Delimiters("=")) : "");
    return {v[0], v[1], v[2], v[3], v[6], std::to_string(ParseInteger(v[4]).value_or(0)),
            std::to_string(ParseInteger(v[5]).value_or(1))};
  }
  return {};
}

// DeleteDialEntry and ReplaceDialEntry step by step on plain lines, header
// lines only, a block cut short completed.
inline bool ExactHeader(const std::string& line, const std::string& name) {
  return !line.empty() && line[0] == '[' && (line.size() >= 2 ? line.substr(1, line.size() - 2) : "") == name;
}

inline std::vector<std::string> ReferenceDelete(const std::vector<std::string>& plain, const std::string& name) {
  std::vector<bool> gone(plain.size() + 8, false);
  std::vector<std::string> kept;
  for (size_t i = 0; i < plain.size(); ++i) {
    if (ExactHeader(plain[i], name)) {
      for (size_t j = i; j < i + 8; ++j) gone[j] = true;
    }
    if (!gone[i]) kept.push_back(plain[i]);
  }
  return kept;
}

// The whole-file reader's rule written out byte by byte: CR, LF and CR LF
// end a line; byte 26 before @, J, M or Z stands for that letter XOR 64 and
// is an ordinary byte otherwise; zero bytes at the end are no part of the
// file; each line is cut to 255 bytes and unscrambled.
inline std::vector<std::string> ReferencePlainLines(std::string text) {
  while (!text.empty() && text.back() == '\0') text.pop_back();
  std::vector<std::string> plain;
  std::string line;
  auto end_line = [&] {
    plain.push_back(UnscrambleLine(line.substr(0, 255), kScramblePasses));
    line.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      end_line();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\x1A' && i + 1 < text.size() && std::string("@JMZ").find(text[i + 1]) != std::string::npos) {
      line.push_back(static_cast<char>(text[++i] ^ 0x40));
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) end_line();
  return plain;
}

inline std::vector<std::string> ReferenceReplace(std::vector<std::string> plain, const DialEntry& e) {
  const size_t count = plain.size();
  for (size_t i = 0; i < count; ++i) {
    if (!ExactHeader(plain[i], e.Name)) continue;
    plain.resize(std::max(plain.size(), i + 8));
    const std::vector<std::string> block = BlockLines(e);
    std::copy(block.begin(), block.end(), plain.begin() + static_cast<long>(i));
  }
  return plain;
}

// RenameDialEntry: nothing is written when another block holds the new
// name or no block holds the old one; else the old name's blocks get the
// entry's lines.
inline std::optional<std::vector<std::string>> ReferenceRename(const std::vector<std::string>& plain,
                                                               const std::string& old_name, const DialEntry& e) {
  bool taken = false, found = false;
  for (const std::string& line : plain) {
    taken = taken || (e.Name != old_name && ExactHeader(line, e.Name));
    found = found || ExactHeader(line, old_name);
  }
  if (taken || !found) return std::nullopt;
  std::vector<std::string> renamed = plain;
  const size_t count = renamed.size();
  const std::vector<std::string> block = BlockLines(e);
  for (size_t i = 0; i < count; ++i) {
    if (!ExactHeader(renamed[i], old_name)) continue;
    renamed.resize(std::max(renamed.size(), i + 8));
    std::copy(block.begin(), block.end(), renamed.begin() + static_cast<long>(i));
  }
  return renamed;
}

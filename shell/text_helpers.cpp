// Word helpers, code-page converters and the integer rule.
#include "shell/text_helpers.h"

#include "shell/platform.h"

CharSet Delimiters(std::string_view chars) {
  CharSet set;
  for (char c : chars) set.set(static_cast<unsigned char>(c));
  return set;
}

namespace {

bool In(const CharSet& set, char c) { return set.test(static_cast<unsigned char>(c)); }

}  // namespace

int CountWords(std::string_view text, const CharSet& set) {
  int count = 0;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    while (i < n && In(set, text[i])) ++i;
    if (i < n) ++count;
    while (i < n && !In(set, text[i])) ++i;
  }
  return count;
}

int WordStart(int n, std::string_view text, const CharSet& set) {
  if (n < 1) return 0;
  int count = 0;
  size_t i = 0;
  const size_t len = text.size();
  while (i < len) {
    while (i < len && In(set, text[i])) ++i;
    if (i < len) {
      ++count;
      if (count == n) return static_cast<int>(i) + 1;
    }
    while (i < len && !In(set, text[i])) ++i;
  }
  return 0;
}

std::string NthWord(int n, std::string_view text, const CharSet& set) {
  const int start = WordStart(n, text, set);
  if (start == 0) return std::string();
  size_t end = static_cast<size_t>(start) - 1;
  while (end < text.size() && !In(set, text[end])) ++end;
  return std::string(text.substr(static_cast<size_t>(start) - 1, end - (static_cast<size_t>(start) - 1)));
}

std::string ConvertToOem(std::string_view text) {
  std::string source(text);
  std::string out(text.size(), '\0');
  if (!text.empty()) CharToOemBuffA(source.c_str(), out.data(), static_cast<DWORD>(text.size()));
  return out;
}

std::string ConvertToAnsi(std::string_view text) {
  std::string source(text);
  std::string out(text.size(), '\0');
  if (!text.empty()) OemToCharBuffA(source.c_str(), out.data(), static_cast<DWORD>(text.size()));
  return out;
}

std::optional<int32_t> ParseInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i == text.size()) return std::nullopt;
  if (text[i] == '$') {
    ++i;
    if (i == text.size()) return std::nullopt;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        return std::nullopt;
      }
      value = value * 16 + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  }
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

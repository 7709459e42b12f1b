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

// The word rule, in one place: the first word at or after `from` spans
// [start, end); start is the text's size when there is none.
struct WordSpan {
  size_t start;
  size_t end;
};

WordSpan NextWord(std::string_view text, const CharSet& set, size_t from) {
  while (from < text.size() && In(set, text[from])) ++from;
  size_t end = from;
  while (end < text.size() && !In(set, text[end])) ++end;
  return {from, end};
}

// Word n (from 1); start is the text's size when there is none.
WordSpan FindWord(int n, std::string_view text, const CharSet& set) {
  WordSpan word{text.size(), text.size()};
  if (n < 1) return word;
  int count = 0;
  for (word = NextWord(text, set, 0); word.start < text.size(); word = NextWord(text, set, word.end)) {
    if (++count == n) return word;
  }
  return word;
}

}  // namespace

int CountWords(std::string_view text, const CharSet& set) {
  int count = 0;
  for (WordSpan w = NextWord(text, set, 0); w.start < text.size(); w = NextWord(text, set, w.end)) ++count;
  return count;
}

int WordStart(int n, std::string_view text, const CharSet& set) {
  const WordSpan word = FindWord(n, text, set);
  return word.start < text.size() ? static_cast<int>(word.start) + 1 : 0;
}

std::string NthWord(int n, std::string_view text, const CharSet& set) {
  const WordSpan word = FindWord(n, text, set);
  return std::string(text.substr(word.start, word.end - word.start));
}

std::vector<std::string_view> SplitWords(std::string_view text, const CharSet& set) {
  std::vector<std::string_view> words;
  for (WordSpan w = NextWord(text, set, 0); w.start < text.size(); w = NextWord(text, set, w.end)) {
    words.emplace_back(text.substr(w.start, w.end - w.start));
  }
  return words;
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

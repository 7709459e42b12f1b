// Word helpers over a delimiter set, the code-page converters, and the
// integer rule shared by the entry file and the dialogs.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A set of 8-bit character codes.
using CharSet = std::bitset<256>;
CharSet Delimiters(std::string_view chars);

// Words are maximal runs of characters not in the set; delimiters before,
// between and after words are skipped, so there are no empty words.
int CountWords(std::string_view text, const CharSet& set);
// 1-based position of word n's first character, or 0 when there is no word n.
int WordStart(int n, std::string_view text, const CharSet& set);
// Word n, or the empty text.
std::string NthWord(int n, std::string_view text, const CharSet& set);
// Every word in order, found in one pass: NthWord for 1 to CountWords, as
// views into the text.
std::vector<std::string_view> SplitWords(std::string_view text, const CharSet& set);

// ANSI to OEM and back with CharToOemBuffA / OemToCharBuffA; the result has
// the same length as the text, whatever that length is.
std::string ConvertToOem(std::string_view text);
std::string ConvertToAnsi(std::string_view text);

// The integer rule: optional leading spaces, then an optional sign and
// decimal digits within the signed 32-bit range, or "$" and hexadecimal
// digits that fit in 32 bits (taken as a signed pattern); nothing after.
std::optional<int32_t> ParseInteger(std::string_view text);

// Lower-cases the ASCII letters A to Z only.
std::string LowerAscii(std::string_view text);

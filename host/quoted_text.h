// Quoted texts as kelhost writes them into transcripts and reads them from
// scripts: between double quotes, with \" for a quote, \\ for a backslash
// and \xHH (exactly two hex digits) for every byte below 0x20 or from 0x7f
// up, so that any 8-bit text becomes one line of plain ASCII.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The text in quotes, escaped as above (hex digits in lower case).
std::string QuoteText(std::string_view text);

// Reads one quoted text starting at text[pos], which must be '"'. Accepts the
// escapes QuoteText writes and also \n, \r, \t and \xHH digits in either
// case. On success stores the unescaped bytes in `out`, moves `pos` past the
// closing quote and returns true; on failure returns false and sets `error`
// (pos is then unspecified).
bool ParseQuotedText(std::string_view text, size_t& pos, std::string& out, std::string& error);

// The value of one hex digit, or -1.
int HexDigitValue(char c);

// The line scrambler of the entry file: turns a line into a line of the same
// length whose bytes no longer show the text, and back. A per-position XOR
// is followed by a number of data-dependent bit-routing passes; unscrambling
// undoes both in the opposite order. Each line is scrambled by itself and
// the result depends on nothing but the line.
//
// The position mask and the pass count are constants of the stored format
// (docs/entry_file.md): an entry file can be read only with the values that
// wrote it, so they never change.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The longest line the scrambler takes; the entry file cuts longer lines.
constexpr size_t kMaxLineBytes = 255;

// The pass count of the entry file format.
constexpr int kScramblePasses = 2;

// The mask of 1-based byte position k (1..255): (157 * k + 59) mod 256.
// 157 is odd, so k -> mask is one-to-one on 8-bit values: no two positions
// of a line share a mask.
constexpr uint8_t PositionMask(int k) { return static_cast<uint8_t>((157 * k + 59) & 0xFF); }

// Scrambles a line of at most kMaxLineBytes bytes with `passes` routing
// passes; the result has the same length. Raises std::invalid_argument for a
// pass count below 1 or a longer line.
std::string ScrambleLine(std::string_view line, int passes);
// The inverse of ScrambleLine with the same pass count: for every byte
// string s of at most kMaxLineBytes bytes, UnscrambleLine(ScrambleLine(s, r),
// r) == s and ScrambleLine(UnscrambleLine(s, r), r) == s. Same errors.
std::string UnscrambleLine(std::string_view line, int passes);
// Empties `target`, then appends ScrambleLine of the first kMaxLineBytes
// bytes of each source line, in order, with kScramblePasses. The source is
// not changed; source and target must be different lists.
void ScrambleLines(const std::vector<std::string>& source, std::vector<std::string>& target);

// The bit-cell steps that define the format, one byte per cell, of which
// ScrambleLine and UnscrambleLine are made. Cell 0 is a sentinel; bit j of
// byte k (1-based) is cell 8(k-1)+1+j.
//
// ExpandBits returns 8n+1 cells for n bytes; PackBits reads 8n+1 cells back
// into n bytes (cell 0 ignored). RouteBits is one forward pass from `a` to
// `b` and UnrouteBits one inverse pass; both end by copying `b` into `a`.
// `a` and `b` must have the same size, at least 1.
std::vector<uint8_t> ExpandBits(std::string_view line);
std::string PackBits(const std::vector<uint8_t>& cells);
void RouteBits(std::vector<uint8_t>& a, std::vector<uint8_t>& b);
void UnrouteBits(std::vector<uint8_t>& a, std::vector<uint8_t>& b);

// The line scrambler, written as the steps that define the stored format:
// the position mask, then the routing passes on a line's bit cells.
#include "entries/line_scrambler.h"

#include <stdexcept>

namespace {

void CheckArguments(std::string_view line, int passes) {
  if (passes < 1) throw std::invalid_argument("line scrambler: the pass count must be at least 1");
  if (line.size() > kMaxLineBytes) throw std::invalid_argument("line scrambler: a line holds at most 255 bytes");
}

// XORs byte k (1-based) of the line with the mask of position k; its own
// inverse.
std::string Masked(std::string line) {
  for (size_t k = 0; k < line.size(); ++k) {
    line[k] = static_cast<char>(static_cast<uint8_t>(line[k]) ^ PositionMask(static_cast<int>(k) + 1));
  }
  return line;
}

}  // namespace

std::string ScrambleLine(std::string_view line, int passes) {
  CheckArguments(line, passes);
  std::vector<uint8_t> a = ExpandBits(Masked(std::string(line)));
  std::vector<uint8_t> b(a.size(), 0);
  for (int p = 0; p < passes; ++p) RouteBits(a, b);
  return PackBits(b);
}

std::string UnscrambleLine(std::string_view line, int passes) {
  CheckArguments(line, passes);
  std::vector<uint8_t> a = ExpandBits(line);
  std::vector<uint8_t> b(a.size(), 0);
  for (int p = 0; p < passes; ++p) UnrouteBits(a, b);
  return Masked(PackBits(b));
}

void ScrambleLines(const std::vector<std::string>& source, std::vector<std::string>& target) {
  target.clear();
  target.reserve(source.size());
  for (const std::string& line : source) {
    target.push_back(ScrambleLine(std::string_view(line).substr(0, kMaxLineBytes), kScramblePasses));
  }
}

// The loops below reach the cells through plain pointers: the fuzz build
// leaves this file untraced, and an untraced function does not take in the
// traced code of the containers, so each access by operator[] would be a
// call there.

std::vector<uint8_t> ExpandBits(std::string_view line) {
  std::vector<uint8_t> cells(8 * line.size() + 1, 0);
  uint8_t* cell = cells.data() + 1;
  for (const char c : line) {
    for (int j = 0; j < 8; ++j) *cell++ = static_cast<uint8_t>((static_cast<uint8_t>(c) >> j) & 1);
  }
  return cells;
}

std::string PackBits(const std::vector<uint8_t>& cells) {
  const size_t n = cells.empty() ? 0 : (cells.size() - 1) / 8;
  std::string bytes(n, '\0');
  const uint8_t* cell = cells.data() + 1;
  for (char& b : bytes) {
    unsigned byte = 0;
    for (int j = 0; j < 8; ++j) {
      if (*cell++ != 0) byte |= 1u << j;
    }
    b = static_cast<char>(byte);
  }
  return bytes;
}

// A cell that follows a 0 goes to the front part of `b`, filled from cell 1
// upwards; one that follows a 1 to the back part, filled from the last cell
// downwards.
void RouteBits(std::vector<uint8_t>& a, std::vector<uint8_t>& b) {
  const size_t cells = a.size() - 1;
  uint8_t* from = a.data();
  uint8_t* to = b.data();
  from[0] = 0;
  size_t front = 0, back = cells + 1;
  for (size_t c = 1; c <= cells; ++c) {
    if (from[c - 1] != 0) {
      to[--back] = from[c];
    } else {
      to[++front] = from[c];
    }
  }
  a = b;
}

// The cell rebuilt last tells which part the forward pass put the next cell
// in, and the parts give their cells back in the order they were filled.
void UnrouteBits(std::vector<uint8_t>& a, std::vector<uint8_t>& b) {
  const size_t cells = a.size() - 1;
  const uint8_t* from = a.data();
  uint8_t* to = b.data();
  to[0] = 0;
  size_t front = 0, back = cells + 1;
  uint8_t before = 0;  // the cell rebuilt last, b[c - 1]
  for (size_t c = 1; c <= cells; ++c) {
    before = before != 0 ? from[--back] : from[++front];
    to[c] = before;
  }
  a = b;
}

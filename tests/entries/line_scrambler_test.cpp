// The line scrambler: the cell steps, round trips, and the frozen stored
// form.
#include "entries/line_scrambler.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <stdexcept>

#include "tests/test_only.h"

namespace {

std::string Random(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

TEST(LineScrambler, WorkedPassAndDistinctPositionMasks) {
  std::vector<uint8_t> a = {0, 1, 0, 1, 1, 0, 0, 1, 0}, b(9, 0);
  RouteBits(a, b);
  EXPECT_EQ(a, std::vector<uint8_t>({0, 1, 1, 0, 1, 0, 0, 1, 0}));
  UnrouteBits(a, b);
  EXPECT_EQ(std::vector<uint8_t>(a.begin() + 1, a.end()), std::vector<uint8_t>({1, 0, 1, 1, 0, 0, 1, 0}));

  std::set<int> masks;
  for (int k = 1; k <= 255; ++k) masks.insert(PositionMask(k));
  EXPECT_EQ(masks.size(), 255u);
}

TEST(LineScrambler, EveryLineComesBackBothWays) {
  std::vector<std::string> lines;
  for (int v = 0; v < 256; ++v) lines.emplace_back(1, static_cast<char>(v));
  std::mt19937 rng(13);
  for (int i = 0; i < 3000; ++i) lines.push_back(Random(rng, rng() % (kMaxLineBytes + 1)));
  lines.emplace_back();
  for (const std::string& line : lines) {
    const std::string scrambled = ScrambleLine(line, kScramblePasses);
    ASSERT_EQ(scrambled.size(), line.size());
    ASSERT_EQ(UnscrambleLine(scrambled, kScramblePasses), line);
    const std::string plain = UnscrambleLine(line, kScramblePasses);
    ASSERT_EQ(ScrambleLine(plain, kScramblePasses), line);
  }
}

TEST(LineScrambler, StoredFormIsFrozen) {
  // What every entry file holds for these lines: a change here makes
  // existing files unreadable.
  const auto hex = [](const std::string& s) {
    std::string out;
    for (unsigned char c : s) out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
    return out;
  };
  EXPECT_EQ(kScramblePasses, 2);
  EXPECT_EQ(hex(ScrambleLine("[Office]", kScramblePasses)), "91570f2955f5926c");
  EXPECT_EQ(hex(ScrambleLine("Login=bob", kScramblePasses)), "6ce5170b2708094cb6");
}

TEST(LineScrambler, RejectsAPassCountBelowOneAndOverlongLines) {
  EXPECT_THROW(ScrambleLine("abc", 0), std::invalid_argument);
  EXPECT_THROW(UnscrambleLine("abc", -1), std::invalid_argument);
  EXPECT_THROW(ScrambleLine(std::string(256, 'x'), kScramblePasses), std::invalid_argument);
}

TEST(LineScrambler, ListsAreCutTo255BytesAndReplaceTheTarget) {
  const std::vector<std::string> source = {std::string(300, 'q'), "", "Tries=1"};
  std::vector<std::string> stored = {"old"}, plain = {"old"};
  ScrambleLines(source, stored);
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_EQ(stored[0], ScrambleLine(std::string(255, 'q'), kScramblePasses));
  UnscrambleLines(stored, plain);
  EXPECT_EQ(plain, (std::vector<std::string>{std::string(255, 'q'), "", "Tries=1"}));
}

}  // namespace

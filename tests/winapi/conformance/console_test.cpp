// The console input queue (records in, peeked and read in order) and the
// console title.
#include <chrono>
#include <thread>
#include <vector>

#include "tests/winapi/conformance/conformance.h"

namespace conformance {
namespace {

using ConsoleCalls = Scratch;

// The records a test writes carry this scan code, which no keyboard makes: a
// real console may add records of its own at any time (a terminal answering
// a query of the console), and those are passed over.
constexpr WORD kOurs = 0x5AA5;

INPUT_RECORD Key(WORD vk, char ch, bool down) {
  INPUT_RECORD r;
  std::memset(&r, 0, sizeof r);
  r.EventType = KEY_EVENT;
  r.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
  r.Event.KeyEvent.wRepeatCount = 1;
  r.Event.KeyEvent.wVirtualKeyCode = vk;
  r.Event.KeyEvent.wVirtualScanCode = kOurs;
  r.Event.KeyEvent.uChar.AsciiChar = ch;
  return r;
}

bool IsOurs(const INPUT_RECORD& r) { return r.EventType == KEY_EVENT && r.Event.KeyEvent.wVirtualScanCode == kOurs; }

// Our records among the first `n` of `recs`, in order.
std::vector<INPUT_RECORD> Ours(const INPUT_RECORD* recs, DWORD n) {
  std::vector<INPUT_RECORD> ours;
  for (DWORD i = 0; i < n; ++i) {
    if (IsOurs(recs[i])) ours.push_back(recs[i]);
  }
  return ours;
}

// Reads until `count` of our records have come.
std::vector<INPUT_RECORD> ReadOurs(HANDLE in, size_t count) {
  std::vector<INPUT_RECORD> ours;
  while (ours.size() < count) {
    INPUT_RECORD rec;
    DWORD n = 0;
    if (!ReadConsoleInputA(in, &rec, 1, &n)) break;
    if (n == 1 && IsOurs(rec)) ours.push_back(rec);
  }
  return ours;
}

TEST_F(ConsoleCalls, PeekLeavesReadTakesInOrder) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetStdHandle(STD_INPUT_HANDLE), in);
  INPUT_RECORD recs[16];
  DWORD n = kUnset;
  ASSERT_TRUE(PeekConsoleInputA(in, recs, 16, &n));
  EXPECT_TRUE(Ours(recs, n).empty());

  const INPUT_RECORD keys[3] = {Key(VK_ESCAPE, 0x1B, true), Key(VK_ESCAPE, 0x1B, false), Key('Q', 'q', true)};
  n = kUnset;
  ASSERT_TRUE(WriteConsoleInputA(in, keys, 3, &n));
  EXPECT_EQ(n, 3u);
  Mark(recs);
  ASSERT_TRUE(PeekConsoleInputA(in, recs, 2, &n));
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&recs[2])[0], kMarker);  // no more than asked for
  for (int peek = 0; peek < 2; ++peek) {  // peeking takes nothing
    ASSERT_TRUE(PeekConsoleInputA(in, recs, 16, &n));
    const std::vector<INPUT_RECORD> ours = Ours(recs, n);
    ASSERT_EQ(ours.size(), 3u);
    EXPECT_TRUE(ours[0].Event.KeyEvent.bKeyDown);
    EXPECT_EQ(ours[0].Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
    EXPECT_FALSE(ours[1].Event.KeyEvent.bKeyDown);
  }

  ASSERT_TRUE(ReadConsoleInputA(in, recs, 2, &n));
  EXPECT_EQ(n, 2u);
  const size_t taken = Ours(recs, n).size();
  const std::vector<INPUT_RECORD> rest = ReadOurs(in, 3 - taken);
  ASSERT_EQ(rest.size(), 3 - taken);
  EXPECT_EQ(rest.back().Event.KeyEvent.wVirtualKeyCode, 'Q');
  EXPECT_EQ(rest.back().Event.KeyEvent.uChar.AsciiChar, 'q');
  ASSERT_TRUE(PeekConsoleInputA(in, recs, 16, &n));
  EXPECT_TRUE(Ours(recs, n).empty());

  // Only the input handle has an input queue.
  SetLastError(kUnset);
  EXPECT_FALSE(PeekConsoleInputA(GetStdHandle(STD_OUTPUT_HANDLE), recs, 1, &n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ConsoleCalls, ReadWaitsForARecordFromAnotherThread) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::thread writer([in] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const INPUT_RECORD esc = Key(VK_ESCAPE, 0x1B, true);
    DWORD n = 0;
    WriteConsoleInputA(in, &esc, 1, &n);
  });
  const std::vector<INPUT_RECORD> ours = ReadOurs(in, 1);
  writer.join();
  ASSERT_EQ(ours.size(), 1u);
  EXPECT_EQ(ours[0].Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
}

TEST_F(ConsoleCalls, WriteInputRefusesWhatItCannotTake) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  const INPUT_RECORD key = Key('A', 'a', true);
  DWORD n = kUnset;
  // Nothing to write is written.
  ASSERT_TRUE(WriteConsoleInputA(in, nullptr, 0, &n));
  EXPECT_EQ(n, 0u);
  // A handle that is no console input: 6, and Windows sets the count to 0
  // (Wine leaves it as it was).
  for (HANDLE wrong : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    for (DWORD length : {0u, 1u}) {
      n = kUnset;
      SetLastError(kUnset);
      EXPECT_FALSE(WriteConsoleInputA(wrong, &key, length, &n));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
      if (!UnderWine()) {
        EXPECT_EQ(n, 0u) << length;
      }
    }
  }
  // Records from no buffer: the NT family reports the bad address (998),
  // Wine an invalid access (12); the count stays as it was.
  n = kUnset;
  SetLastError(kUnset);
  EXPECT_FALSE(WriteConsoleInputA(in, nullptr, 1, &n));
  EXPECT_TRUE(GetLastError() == kErrorNoAccess || GetLastError() == kErrorInvalidAccess) << GetLastError();
  EXPECT_EQ(n, kUnset);
  INPUT_RECORD recs[16];
  ASSERT_TRUE(PeekConsoleInputA(in, recs, 16, &n));
  EXPECT_TRUE(Ours(recs, n).empty());
}

TEST_F(ConsoleCalls, TitleIsKept) {
  ASSERT_TRUE(SetConsoleTitleA("Dialling 222"));
  char buf[32];
  Mark(buf);
  EXPECT_EQ(GetConsoleTitleA(buf, sizeof buf), 12u);
  EXPECT_STREQ(buf, "Dialling 222");
  EXPECT_EQ(static_cast<unsigned char>(buf[13]), kMarker);
}

}  // namespace
}  // namespace conformance

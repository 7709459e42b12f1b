// The console input queue (records in, peeked and read in order) and the
// console title.
#include <chrono>
#include <thread>

#include "tests/winapi/conformance/conformance.h"

namespace conformance {
namespace {

using ConsoleCalls = Scratch;

INPUT_RECORD Key(WORD vk, char ch, bool down) {
  INPUT_RECORD r;
  std::memset(&r, 0, sizeof r);
  r.EventType = KEY_EVENT;
  r.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
  r.Event.KeyEvent.wRepeatCount = 1;
  r.Event.KeyEvent.wVirtualKeyCode = vk;
  r.Event.KeyEvent.uChar.AsciiChar = ch;
  return r;
}

TEST_F(ConsoleCalls, PeekLeavesReadTakesInOrder) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetStdHandle(STD_INPUT_HANDLE), in);
  INPUT_RECORD recs[4];
  DWORD n = kUnset;
  ASSERT_TRUE(PeekConsoleInputA(in, recs, 4, &n));
  EXPECT_EQ(n, 0u);

  const INPUT_RECORD keys[3] = {Key(VK_ESCAPE, 0x1B, true), Key(VK_ESCAPE, 0x1B, false), Key('Q', 'q', true)};
  n = kUnset;
  ASSERT_TRUE(WriteConsoleInputA(in, keys, 3, &n));
  EXPECT_EQ(n, 3u);
  Mark(recs);
  ASSERT_TRUE(PeekConsoleInputA(in, recs, 2, &n));
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(recs[0].EventType, KEY_EVENT);
  EXPECT_TRUE(recs[0].Event.KeyEvent.bKeyDown);
  EXPECT_EQ(recs[0].Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
  EXPECT_FALSE(recs[1].Event.KeyEvent.bKeyDown);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&recs[2])[0], kMarker);  // no more than asked for
  ASSERT_TRUE(PeekConsoleInputA(in, recs, 4, &n));
  EXPECT_EQ(n, 3u);  // peeking took nothing

  ASSERT_TRUE(ReadConsoleInputA(in, recs, 2, &n));
  EXPECT_EQ(n, 2u);
  ASSERT_TRUE(ReadConsoleInputA(in, recs, 4, &n));
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(recs[0].Event.KeyEvent.wVirtualKeyCode, 'Q');
  EXPECT_EQ(recs[0].Event.KeyEvent.uChar.AsciiChar, 'q');
  ASSERT_TRUE(PeekConsoleInputA(in, recs, 4, &n));
  EXPECT_EQ(n, 0u);

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
  INPUT_RECORD rec;
  DWORD n = 0;
  ASSERT_TRUE(ReadConsoleInputA(in, &rec, 1, &n));
  writer.join();
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(rec.Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
}

TEST_F(ConsoleCalls, WriteInputRefusesWhatItCannotTake) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  const INPUT_RECORD key = Key('A', 'a', true);
  DWORD n = kUnset;
  // Nothing to write is written.
  ASSERT_TRUE(WriteConsoleInputA(in, nullptr, 0, &n));
  EXPECT_EQ(n, 0u);
  // A handle that is no console input: 6, and nothing written.
  for (HANDLE wrong : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    n = kUnset;
    SetLastError(kUnset);
    EXPECT_FALSE(WriteConsoleInputA(wrong, &key, 1, &n));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(n, 0u);
  }
  // Records from no buffer: the NT family reports the bad address (998),
  // Wine an invalid access (12).
  n = kUnset;
  SetLastError(kUnset);
  EXPECT_FALSE(WriteConsoleInputA(in, nullptr, 1, &n));
  EXPECT_TRUE(GetLastError() == kErrorNoAccess || GetLastError() == kErrorInvalidAccess) << GetLastError();
  INPUT_RECORD recs[2];
  ASSERT_TRUE(PeekConsoleInputA(in, recs, 2, &n));
  EXPECT_EQ(n, 0u);
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

// The notifier, its hand-over to the wait loop, the state texts and the
// console key look-out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "dial/dial_procedure.h"
#include "dial/dial_progress.h"
#include "shell/settings.h"
#include "tests/fake_host.h"
#include "winapi/standin_console.h"

namespace {

class DialProgressTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    StandinClearConsoleInput();
    Settings().logfilename = "vezuzaziz.log";
    Settings().show_progress = true;
    ResetDialOutcome();
  }
  void TearDown() override {
    StandinClearConsoleInput();
    PluginTest::TearDown();
  }

  static DWORD QueueLength() {
    std::vector<INPUT_RECORD> buffer(256);
    DWORD count = 0;
    PeekConsoleInputA(GetStdHandle(STD_INPUT_HANDLE), buffer.data(), 256, &count);
    return count;
  }
  // The virtual keys still waiting in the console, key-downs and key-ups.
  static std::vector<WORD> QueuedKeys() {
    std::vector<INPUT_RECORD> buffer(256);
    DWORD count = 0;
    PeekConsoleInputA(GetStdHandle(STD_INPUT_HANDLE), buffer.data(), 256, &count);
    std::vector<WORD> keys;
    for (DWORD i = 0; i < count; ++i) keys.push_back(buffer[i].Event.KeyEvent.wVirtualKeyCode);
    return keys;
  }
  std::vector<std::string> TextsDrawn() const {
    std::vector<std::string> out;
    for (const HostCall& c : host->Calls("Text")) out.push_back(c.text_null ? "(null)" : c.text);
    return out;
  }
};

TEST_F(DialProgressTest, StateTextsFollowTheTable) {
  EXPECT_EQ(ConnectionStateText(0), "<48>");
  EXPECT_EQ(ConnectionStateText(3), "<51>");
  EXPECT_EQ(ConnectionStateText(18), "<66>");
  EXPECT_EQ(ConnectionStateText(4096), "<69>");
  EXPECT_EQ(ConnectionStateText(4097), "<55>");
  EXPECT_EQ(ConnectionStateText(4098), "<70>");
  EXPECT_EQ(ConnectionStateText(4099), "<71>");
  EXPECT_EQ(ConnectionStateText(8192), "<72>");
  EXPECT_EQ(ConnectionStateText(8193), "<73>");
  // Neither 67 nor 68 is reached; everything outside the table is numbered.
  EXPECT_EQ(ConnectionStateText(19), "Connection state #19");
  EXPECT_EQ(ConnectionStateText(4095), "Connection state #4095");
  EXPECT_EQ(ConnectionStateText(8194), "Connection state #8194");
  EXPECT_EQ(ConnectionStateText(-1), "Connection state #-1");
}

TEST_F(DialProgressTest, EscTakesItselfAndWhatCameBeforeIt) {
  StandinPushKey('A', true);
  StandinPushKey('A', false);
  StandinPushKey(VK_ESCAPE, false);  // a key-up never matches
  StandinPushKey(VK_ESCAPE, true);
  StandinPushKey('B', true);
  EXPECT_TRUE(ConsoleKeyPressed(VK_ESCAPE));
  EXPECT_EQ(QueuedKeys(), std::vector<WORD>{'B'});
  // No Esc key-down left: nothing is removed.
  StandinPushKey(VK_ESCAPE, false);
  EXPECT_FALSE(ConsoleKeyPressed(VK_ESCAPE));
  EXPECT_EQ(QueuedKeys(), (std::vector<WORD>{'B', VK_ESCAPE}));

  // 16 and 47 events before the Esc: the peek buffer must grow past one and
  // past two steps of 16 records.
  for (int before : {16, 47}) {
    StandinClearConsoleInput();
    for (int i = 0; i < before; ++i) StandinPushKey('X', i % 2 == 0);
    StandinPushKey(VK_ESCAPE, true);
    StandinPushKey('Y', true);
    EXPECT_TRUE(ConsoleKeyPressed(VK_ESCAPE)) << before;
    EXPECT_EQ(QueuedKeys(), std::vector<WORD>{'Y'}) << before;
  }
  StandinClearConsoleInput();
  for (int i = 0; i < 48; ++i) StandinPushKey('X', true);
  EXPECT_FALSE(ConsoleKeyPressed(VK_ESCAPE));
  EXPECT_EQ(QueueLength(), 48u);
}

TEST_F(DialProgressTest, OutcomesOfTheNotifier) {
  // Esc wins over an error reported at the same time, and the error is not kept.
  StandinPushKey(VK_ESCAPE, true);
  DialProgressCallback(0, 5, 678);
  EXPECT_EQ(DialOutcome(), "interrupted");
  EXPECT_EQ(DialError(), 0u);
  EXPECT_EQ(QueueLength(), 0u);

  ResetDialOutcome();
  DialProgressCallback(0, 5, 678);
  EXPECT_EQ(DialOutcome(), "failed");
  EXPECT_EQ(DialError(), 678u);
  // A later report does not replace the outcome the wait loop is about to act on.
  DialProgressCallback(0, RASCS_Connected, 0);
  DialProgressCallback(0, 7, 691);
  EXPECT_EQ(DialOutcome(), "failed");
  EXPECT_EQ(DialError(), 678u);

  ResetDialOutcome();
  EXPECT_EQ(DialOutcome(), "");
  EXPECT_EQ(DialError(), 0u);
  DialProgressCallback(0, RASCS_Connected, 0);
  EXPECT_EQ(DialOutcome(), "connected");
  ShowPendingDialStates();
  EXPECT_TRUE(host->Calls("Text").empty());  // a connection is never drawn

  // Disconnected without an error is only a state to show.
  ResetDialOutcome();
  DialProgressCallback(0, RASCS_Disconnected, 0);
  EXPECT_EQ(DialOutcome(), "");
  ShowPendingDialStates();
  EXPECT_EQ(TextsDrawn(), (std::vector<std::string>{std::string(28, ' '), "(null)", "<73>", "(null)"}));

  // The wait loop's own Esc replaces whatever the notifier published.
  ResetDialOutcome();
  DialProgressCallback(0, 5, 678);
  ForceDialInterrupted();
  EXPECT_EQ(DialOutcome(), "interrupted");
  // A dial refused at once fails with its code, unless there is an outcome.
  ResetDialOutcome();
  EXPECT_TRUE(PublishDialFailure(623));
  EXPECT_FALSE(PublishDialFailure(624));
  EXPECT_EQ(DialError(), 623u);
}

// The service's thread reports states and then the outcome while the host's
// thread waits: every state is drawn by the host's thread before the outcome
// is returned, and "failed" arrives with its own error code.
TEST_F(DialProgressTest, HandOverFromTheServicesThread) {
  Settings().debug = true;
  for (int round = 0; round < 40; ++round) {
    host->calls.clear();
    ResetDialOutcome();
    const DWORD error = 600u + static_cast<DWORD>(round);
    const bool fail = round % 2 == 0;
    std::thread service([&] {
      for (int state = 0; state < 6; ++state) DialProgressCallback(0, state, 0);
      if (fail) {
        DialProgressCallback(0, 6, error);
      } else {
        DialProgressCallback(0, RASCS_Connected, 0);
      }
    });
    const std::string outcome = DialOutcomeText(WaitForDialOutcome());
    service.join();
    ASSERT_EQ(outcome, fail ? "failed" : "connected");
    if (fail) {
      EXPECT_EQ(CurrentDialOutcome().error, error);
    }
    ASSERT_EQ(host->Calls("Text").size(), 24u) << round;
    EXPECT_EQ(host->Calls("Text")[22].text, "<53>");
  }
  EXPECT_EQ(host->wrong_thread_calls, 0);
  EXPECT_EQ(LogTexts("vezuzaziz.log").size(), 40u * 6u);
}

// Esc pressed while both the notifier and the wait loop look at the console:
// exactly one of them takes it, and the outcome is "interrupted" either way.
TEST_F(DialProgressTest, OneEscIsTakenOnceWhoeverSeesIt) {
  for (int round = 0; round < 30; ++round) {
    StandinClearConsoleInput();
    ResetDialOutcome();
    std::atomic<bool> stop{false};
    std::thread service([&] {
      while (!stop.load()) {
        DialProgressCallback(0, 1, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });
    StandinPushKey('Q', true);
    StandinPushKey(VK_ESCAPE, true);
    StandinPushKey('Z', true);
    const std::string outcome = DialOutcomeText(WaitForDialOutcome());
    stop = true;
    service.join();
    EXPECT_EQ(outcome, "interrupted");
    EXPECT_EQ(QueuedKeys(), std::vector<WORD>{'Z'}) << round;
    ShowPendingDialStates();
  }
  EXPECT_EQ(host->wrong_thread_calls, 0);
}

// Input other than an Esc is set aside while the wait sleeps: it comes back
// in its order, before what came meanwhile, when the wait ends; an Esc, seen
// by the wait loop or by the notifier, takes it with it like any input
// queued before the Esc.
TEST_F(DialProgressTest, InputThatIsNotEscOutlastsTheWait) {
  // Until the wait has set the queued input aside (or a generous while).
  auto set_aside = [] {
    for (int i = 0; i < 10000 && QueueLength() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  enum class End { Connected, EscForTheLoop, EscForTheNotifier };
  for (End end : {End::Connected, End::EscForTheLoop, End::EscForTheNotifier}) {
    StandinClearConsoleInput();
    ResetDialOutcome();
    StandinPushKey('A', true);
    StandinPushKey('A', false);
    std::thread service([&] {
      set_aside();
      if (end == End::Connected) {
        StandinPushKey('B', true);
        DialProgressCallback(0, RASCS_Connected, 0);
      } else {
        StandinPushKey(VK_ESCAPE, true);
        StandinPushKey('Z', true);
        if (end == End::EscForTheNotifier) DialProgressCallback(0, 1, 0);
      }
    });
    const std::string outcome = DialOutcomeText(WaitForDialOutcome());
    service.join();
    if (end == End::Connected) {
      EXPECT_EQ(outcome, "connected");
      EXPECT_EQ(QueuedKeys(), (std::vector<WORD>{'A', 'A', 'B'}));
    } else {
      EXPECT_EQ(outcome, "interrupted");
      EXPECT_EQ(QueuedKeys(), std::vector<WORD>{'Z'}) << static_cast<int>(end);
    }
  }
}

}  // namespace

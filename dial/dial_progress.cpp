// Dial progress: the notifier, the hand-over to the wait loop, state texts
// and the console key look-out.
#include "dial/dial_progress.h"

#include <array>
#include <atomic>
#include <vector>

#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "tools/event_log.h"

namespace {

// ---- Outcome and error -------------------------------------------------
//
// Both live in one 64-bit word (kind in the high half, error in the low
// half), so a reader never sees "failed" with an error of another report.

std::atomic<uint64_t> g_outcome{0};

constexpr uint64_t Pack(DialOutcomeKind kind, DWORD error) {
  return (static_cast<uint64_t>(kind) << 32) | error;
}

DialOutcomeState Unpack(uint64_t word) {
  return DialOutcomeState{static_cast<DialOutcomeKind>(word >> 32), static_cast<DWORD>(word & 0xFFFFFFFFu)};
}

// Publishes an outcome unless one is already there.
bool PublishOnce(DialOutcomeKind kind, DWORD error) {
  uint64_t expected = g_outcome.load(std::memory_order_relaxed);
  while (Unpack(expected).kind == DialOutcomeKind::None) {
    if (g_outcome.compare_exchange_weak(expected, Pack(kind, error), std::memory_order_release,
                                        std::memory_order_relaxed)) {
      return true;
    }
  }
  return false;
}

// ---- Queue of states to show ---------------------------------------------
//
// A bounded queue for any number of producers (notifier threads) and one
// consumer (the host's thread). Each cell carries a sequence number that says
// whether it is free for the producer of position p (seq == p) or filled for
// the consumer of position p (seq == p + 1). A full queue drops the state:
// the display is only a courtesy, outcomes never go through here.

constexpr uint32_t kQueueSize = 64;  // a power of two
static_assert((kQueueSize & (kQueueSize - 1)) == 0);

struct StateCell {
  std::atomic<uint32_t> seq{0};
  std::atomic<int32_t> state{0};
};

struct StateQueue {
  std::array<StateCell, kQueueSize> cells;
  std::atomic<uint32_t> tail{0};  // next position to fill
  std::atomic<uint32_t> head{0};  // next position to take (consumer only)

  StateQueue() {
    for (uint32_t i = 0; i < kQueueSize; ++i) cells[i].seq.store(i, std::memory_order_relaxed);
  }

  bool Push(int32_t state) {
    uint32_t pos = tail.load(std::memory_order_relaxed);
    for (;;) {
      StateCell& cell = cells[pos & (kQueueSize - 1)];
      const uint32_t seq = cell.seq.load(std::memory_order_acquire);
      const auto diff = static_cast<int32_t>(seq - pos);
      if (diff == 0) {
        if (tail.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
          cell.state.store(state, std::memory_order_relaxed);
          cell.seq.store(pos + 1, std::memory_order_release);
          return true;
        }
      } else if (diff < 0) {
        return false;  // full
      } else {
        pos = tail.load(std::memory_order_relaxed);
      }
    }
  }

  // Looks at the oldest state without taking it.
  bool Front(int32_t* state) const {
    const uint32_t pos = head.load(std::memory_order_relaxed);
    const StateCell& cell = cells[pos & (kQueueSize - 1)];
    if (cell.seq.load(std::memory_order_acquire) != pos + 1) return false;
    *state = cell.state.load(std::memory_order_relaxed);
    return true;
  }

  // Takes the oldest state; Front must have reported it.
  void PopFront() {
    const uint32_t pos = head.load(std::memory_order_relaxed);
    cells[pos & (kQueueSize - 1)].seq.store(pos + kQueueSize, std::memory_order_release);
    head.store(pos + 1, std::memory_order_relaxed);
  }
};

StateQueue g_states;

// ---- The event the wait loop sleeps on -------------------------------------

std::atomic<HANDLE> g_event{nullptr};

// Closes the event when the library goes away. Made on the first
// DialProgressEvent, after the platform's own state, so it is undone first.
struct EventOwner {
  EventOwner() { g_event.store(CreateEventA(nullptr, FALSE, FALSE, nullptr), std::memory_order_release); }
  ~EventOwner() {
    HANDLE h = g_event.exchange(nullptr, std::memory_order_acq_rel);
    if (h != nullptr) CloseHandle(h);
  }
  EventOwner(const EventOwner&) = delete;
  EventOwner& operator=(const EventOwner&) = delete;
};

void Signal() {
  HANDLE h = g_event.load(std::memory_order_acquire);
  if (h != nullptr) SetEvent(h);
}

// ---- Console turn-taking ---------------------------------------------------

std::atomic_flag g_console_busy = ATOMIC_FLAG_INIT;

class ConsoleTurn {
 public:
  ConsoleTurn() {
    while (g_console_busy.test_and_set(std::memory_order_acquire)) Sleep(0);
  }
  ~ConsoleTurn() { g_console_busy.clear(std::memory_order_release); }
  ConsoleTurn(const ConsoleTurn&) = delete;
  ConsoleTurn& operator=(const ConsoleTurn&) = delete;
};

// Message numbers of the states the table names; 0 for none.
int StateMessage(int32_t state) {
  if (state >= RASCS_OpenPort && state <= 18) return MStateFirst + state;
  switch (state) {
    case RASCS_Interactive: return MStateInteractive;
    case RASCS_RetryAuthentication: return MStateFirst + 7;  // the text of RASCS_AuthRetry
    case RASCS_CallbackSetByCaller: return MStateCallbackSetByCaller;
    case RASCS_PasswordExpired: return MStatePasswordExpired;
    case RASCS_Connected: return MStateConnected;
    case RASCS_Disconnected: return MStateDisconnected;
    default: return 0;
  }
}

}  // namespace

const char* DialOutcomeText(DialOutcomeKind kind) {
  switch (kind) {
    case DialOutcomeKind::Interrupted: return "interrupted";
    case DialOutcomeKind::Failed: return "failed";
    case DialOutcomeKind::Connected: return "connected";
    case DialOutcomeKind::None: break;
  }
  return "";
}

void WINAPI DialProgressCallback(UINT message, RASCONNSTATE state, DWORD error) {
  (void)message;
  try {
    if (ConsoleKeyPressed(VK_ESCAPE)) {
      PublishOnce(DialOutcomeKind::Interrupted, 0);
    } else if (error != 0) {
      PublishOnce(DialOutcomeKind::Failed, error);
    } else if (state == RASCS_Connected) {
      PublishOnce(DialOutcomeKind::Connected, 0);
    } else {
      g_states.Push(state);
    }
  } catch (...) {
    // The service's thread must never see an exception. Only the console
    // buffer's allocation can throw, and then the report counts as one
    // without a key (publishing does not throw).
    if (error != 0) {
      PublishOnce(DialOutcomeKind::Failed, error);
    } else if (state == RASCS_Connected) {
      PublishOnce(DialOutcomeKind::Connected, 0);
    }
  }
  Signal();
}

HANDLE DialProgressEvent() {
  static EventOwner owner;
  return g_event.load(std::memory_order_acquire);
}

void ResetDialOutcome() {
  HANDLE h = DialProgressEvent();
  int32_t stale = 0;
  for (uint32_t n = 0; n < kQueueSize && g_states.Front(&stale); ++n) g_states.PopFront();
  g_outcome.store(0, std::memory_order_release);
  if (h != nullptr) ResetEvent(h);
}

DialOutcomeState CurrentDialOutcome() { return Unpack(g_outcome.load(std::memory_order_acquire)); }

std::string DialOutcome() { return DialOutcomeText(CurrentDialOutcome().kind); }

DWORD DialError() { return CurrentDialOutcome().error; }

bool PublishDialFailure(DWORD error) {
  const bool published = PublishOnce(DialOutcomeKind::Failed, error);
  Signal();
  return published;
}

void ForceDialInterrupted() {
  uint64_t expected = g_outcome.load(std::memory_order_relaxed);
  while (!g_outcome.compare_exchange_weak(expected, Pack(DialOutcomeKind::Interrupted, Unpack(expected).error),
                                          std::memory_order_release, std::memory_order_relaxed)) {
  }
}

void ShowPendingDialStates() {
  // At most one queue's worth per call, so that a notifier that keeps
  // reporting cannot hold the wait loop here.
  int32_t state = 0;
  for (uint32_t shown = 0; shown < kQueueSize && g_states.Front(&state); ++shown) {
    const PluginSettings& s = Settings();
    if (s.show_progress) {
      const std::string text = ConnectionStateText(state);
      if (s.debug) WriteLogLine(Msg(MStatePrefix) + text);
      // Blank what a longer text of the previous state left in row 0, then
      // draw this one; each null text brings the screen up to date.
      HostText(0, 0, 7, "                            ");
      HostText(0, 0, 7, nullptr);
      HostText(0, 0, 7, text.c_str());
      HostText(0, 0, 7, nullptr);
    }
    g_states.PopFront();
  }
}

std::string ConnectionStateText(int32_t state) {
  const int number = StateMessage(state);
  if (number != 0) return Msg(number);
  return "Connection state #" + std::to_string(state);
}

bool ConsoleKeyPressed(WORD key) {
  ConsoleTurn turn;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::vector<INPUT_RECORD> buffer;
  DWORD capacity = 0;
  DWORD count = 0;
  BOOL ok = FALSE;
  // Peek with a buffer that grows by 16 records until one peek leaves room
  // to spare: then every waiting event is in it.
  do {
    capacity += 16;
    buffer.assign(capacity, INPUT_RECORD{});
    count = 0;
    ok = PeekConsoleInputA(input, buffer.data(), capacity, &count);
  } while (ok && count >= capacity);
  if (!ok || count == 0) return false;
  if (count > capacity) count = capacity;
  for (DWORD i = 0; i < count; ++i) {
    const INPUT_RECORD& r = buffer[i];
    if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown && r.Event.KeyEvent.wVirtualKeyCode == key) {
      DWORD taken = 0;
      ReadConsoleInputA(input, buffer.data(), i + 1, &taken);
      return true;
    }
  }
  return false;
}

// ---- Reports of dials that were hung up ---------------------------------------

namespace {

// The handles of the last dials hung up. A few are enough: only a dial that
// ends while its service goes on reporting leaves reports behind.
constexpr size_t kForgottenDials = 16;
std::array<std::atomic<HRASCONN>, kForgottenDials> g_forgotten{};
std::atomic<size_t> g_forgotten_next{0};

bool IsForgotten(HRASCONN connection) {
  if (connection == nullptr) return false;
  for (const std::atomic<HRASCONN>& slot : g_forgotten) {
    if (slot.load(std::memory_order_acquire) == connection) return true;
  }
  return false;
}

}  // namespace

void ForgetDialConnection(HRASCONN connection) {
  if (connection == nullptr || IsForgotten(connection)) return;
  const size_t slot = g_forgotten_next.fetch_add(1, std::memory_order_relaxed) % kForgottenDials;
  g_forgotten[slot].store(connection, std::memory_order_release);
}

void ExpectDialConnection(HRASCONN connection) {
  if (connection == nullptr) return;
  for (std::atomic<HRASCONN>& slot : g_forgotten) {
    HRASCONN expected = connection;
    slot.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
  }
}

void WINAPI DialProgressCallback1(HRASCONN connection, UINT message, RASCONNSTATE state, DWORD error,
                                  DWORD /*extended_error*/) {
  if (IsForgotten(connection)) return;
  DialProgressCallback(message, state, error);
}

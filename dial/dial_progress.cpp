// Dial progress: the notifier, the hand-over to the wait loop, state texts
// and the console key look-out.
#include "dial/dial_progress.h"

#include <algorithm>
#include <array>
#include <vector>

#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/platform_lock.h"
#include "shell/settings.h"
#include "tools/event_log.h"

namespace {

// States queued for display at most. A full queue drops new states: the
// display is only a courtesy, and outcomes never wait in the queue.
constexpr size_t kQueuedStates = 64;
// The handles of the last dials hung up. A few are enough: only a dial that
// ends while its service goes on reporting leaves reports behind.
constexpr size_t kForgottenDials = 16;

// What the notifier hands to the wait loop. `lock` guards every field; the
// two callers of ConsoleKeyPressed also take turns on it. Nothing that
// waits for the service (RasHangUpA) is ever called while it is held.
struct HandOver {
  PlatformLock lock;
  DialOutcomeState outcome;
  std::vector<int32_t> states;  // oldest first; never grows past kQueuedStates
  std::array<HRASCONN, kForgottenDials> forgotten{};
  size_t next_forgotten = 0;
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // auto-reset

  HandOver() { states.reserve(kQueuedStates); }
  ~HandOver() {
    if (event != nullptr) CloseHandle(event);
  }
  HandOver(const HandOver&) = delete;
  HandOver& operator=(const HandOver&) = delete;

  // Publishes an outcome unless there is one already.
  void PublishOnce(DialOutcomeKind kind, DWORD error) {
    if (outcome.kind == DialOutcomeKind::None) outcome = DialOutcomeState{kind, error};
  }
  bool IsForgotten(HRASCONN connection) const {
    return connection != nullptr && std::find(forgotten.begin(), forgotten.end(), connection) != forgotten.end();
  }
};

// Made on first use, the first ResetDialOutcome: after the platform's own
// state and before the first dial that reports to the notifier. Statics go
// in the reverse order, so it is undone after the service has let go of
// those dials and before the platform's state.
HandOver& Shared() {
  static HandOver shared;
  return shared;
}

// The hand-over with its lock held for as long as this object lives (a
// temporary: to the end of the statement).
class Locked {
 public:
  Locked() : hold_(Shared().lock) {}
  HandOver* operator->() const { return &Shared(); }

 private:
  PlatformLock::Hold hold_;
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
  {
    Locked h;
    bool esc = false;
    try {
      esc = ConsoleKeyPressed(VK_ESCAPE);
    } catch (...) {
      // The service's thread must never see an exception. Only the console
      // buffer's allocation can throw: the report counts as one without a key.
    }
    if (esc) {
      h->PublishOnce(DialOutcomeKind::Interrupted, 0);
    } else if (error != 0) {
      h->PublishOnce(DialOutcomeKind::Failed, error);
    } else if (state == RASCS_Connected) {
      h->PublishOnce(DialOutcomeKind::Connected, 0);
    } else if (h->states.size() < kQueuedStates) {
      h->states.push_back(state);
    }
  }
  SetEvent(Shared().event);
}

void WINAPI DialProgressCallback1(HRASCONN connection, UINT message, RASCONNSTATE state, DWORD error,
                                  DWORD /*extended_error*/) {
  Locked h;  // held across the report, so that a hang-up cannot slip in between
  if (!h->IsForgotten(connection)) DialProgressCallback(message, state, error);
}

void ForgetDialConnection(HRASCONN connection) {
  Locked h;
  if (connection != nullptr && !h->IsForgotten(connection)) {
    h->forgotten[h->next_forgotten++ % kForgottenDials] = connection;
  }
}

void ExpectDialConnection(HRASCONN connection) {
  Locked h;
  if (connection != nullptr) std::replace(h->forgotten.begin(), h->forgotten.end(), connection, HRASCONN{});
}

HANDLE DialProgressEvent() { return Shared().event; }

void ResetDialOutcome() {
  Locked h;
  h->outcome = DialOutcomeState{};
  h->states.clear();
  if (h->event != nullptr) ResetEvent(h->event);
}

DialOutcomeState CurrentDialOutcome() { return Locked()->outcome; }

std::string DialOutcome() { return DialOutcomeText(CurrentDialOutcome().kind); }

DWORD DialError() { return CurrentDialOutcome().error; }

bool PublishDialFailure(DWORD error) {
  bool published = false;
  {
    Locked h;
    published = h->outcome.kind == DialOutcomeKind::None;
    h->PublishOnce(DialOutcomeKind::Failed, error);
  }
  SetEvent(Shared().event);
  return published;
}

void ForceDialInterrupted() { Locked()->outcome.kind = DialOutcomeKind::Interrupted; }

void ShowPendingDialStates() {
  // At most one queue's worth per call, so that a notifier that keeps
  // reporting cannot hold the wait loop here. Each state is drawn without
  // the lock and taken off the queue only once it has been shown.
  for (size_t shown = 0; shown < kQueuedStates; ++shown) {
    int32_t state = 0;
    {
      Locked h;
      if (h->states.empty()) return;
      state = h->states.front();
    }
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
    Locked h;
    h->states.erase(h->states.begin());
  }
}

std::string ConnectionStateText(int32_t state) {
  const int number = StateMessage(state);
  if (number != 0) return Msg(number);
  return "Connection state #" + std::to_string(state);
}

bool ConsoleKeyPressed(WORD key) {
  Locked turn;
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

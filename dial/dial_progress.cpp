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
  std::vector<INPUT_RECORD> set_aside;                          // console input the wait loop took aside
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

namespace {

// Every record waiting in the console input, peeked with a buffer that
// grows by 16 records until one peek leaves room to spare. False when the
// peek fails.
bool PeekAllInput(HANDLE input, std::vector<INPUT_RECORD>* records) {
  DWORD capacity = 0;
  DWORD count = 0;
  BOOL ok = FALSE;
  do {
    capacity += 16;
    records->assign(capacity, INPUT_RECORD{});
    count = 0;
    ok = PeekConsoleInputA(input, records->data(), capacity, &count);
  } while (ok && count >= capacity);
  records->resize(ok ? std::min(count, capacity) : 0);
  return ok != FALSE;
}

// The index of the first key-down of `key`, or records.size().
size_t FindKeyDown(const std::vector<INPUT_RECORD>& records, WORD key) {
  size_t i = 0;
  for (; i < records.size(); ++i) {
    const INPUT_RECORD& r = records[i];
    if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown && r.Event.KeyEvent.wVirtualKeyCode == key) break;
  }
  return i;
}

// Takes the first `count` records out of the console input queue.
void TakeInput(HANDLE input, std::vector<INPUT_RECORD>& records, size_t count) {
  DWORD taken = 0;
  if (count > 0) ReadConsoleInputA(input, records.data(), static_cast<DWORD>(count), &taken);
  records.resize(taken);
}

}  // namespace

bool ConsoleKeyPressed(WORD key) {
  Locked h;
  const size_t aside = FindKeyDown(h->set_aside, key);
  if (aside < h->set_aside.size()) {
    h->set_aside.erase(h->set_aside.begin(), h->set_aside.begin() + static_cast<std::ptrdiff_t>(aside) + 1);
    return true;
  }
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::vector<INPUT_RECORD> buffer;
  if (!PeekAllInput(input, &buffer)) return false;
  const size_t found = FindKeyDown(buffer, key);
  if (found == buffer.size()) return false;
  TakeInput(input, buffer, found + 1);
  h->set_aside.clear();  // they were queued before the key
  return true;
}

bool LookForEscOrSetInputAside() {
  Locked h;  // one step: an Esc that arrives meanwhile is not set aside
  if (ConsoleKeyPressed(VK_ESCAPE)) return true;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::vector<INPUT_RECORD> buffer;
  if (PeekAllInput(input, &buffer) && !buffer.empty()) {
    h->set_aside.reserve(h->set_aside.size() + buffer.size());  // before anything is taken
    TakeInput(input, buffer, buffer.size());
    h->set_aside.insert(h->set_aside.end(), buffer.begin(), buffer.end());
  }
  return false;
}

void PutConsoleInputBack() {
  Locked h;
  if (h->set_aside.empty()) return;
  try {
    // What came meanwhile goes behind them: take it out, then write all.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::vector<INPUT_RECORD> later;
    const bool peeked = PeekAllInput(input, &later);
    h->set_aside.reserve(h->set_aside.size() + later.size());  // before anything is taken
    if (peeked) TakeInput(input, later, later.size());
    h->set_aside.insert(h->set_aside.end(), later.begin(), later.end());
    DWORD written = 0;
    WriteConsoleInputA(input, h->set_aside.data(), static_cast<DWORD>(h->set_aside.size()), &written);
  } catch (...) {
    // Out of memory: the records cannot be kept (see the header).
  }
  h->set_aside.clear();
}

// The dial procedure: tries, the wait for the outcome, the outcome boxes,
// the speed check and the after-connect actions of the StartupList.
#include "dial/dial_procedure.h"

#include <cstring>
#include <vector>

#include "dial/connection.h"
#include "dial/dial_progress.h"
#include "dial/ras_api.h"
#include "entries/entry_file.h"
#include "shell/file_io.h"
#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/text_helpers.h"
#include "tools/event_log.h"

const char kNoNumberWarning[] = "The entry holds no telephone number to dial.";

namespace {

// The pause of one pass of the wait when the platform cannot wait for the
// notifier's event (it could not be made): the wait then polls.
constexpr DWORD kPollingSliceMs = 10;
// Window messages dispatched in one pass at most, so that a flood of them
// cannot keep the loop from looking at the console.
constexpr int kMessagesPerPass = 64;
// The pause that announces each StartupList action.
constexpr DWORD kStartupActionPauseMs = 1000;
// RasGetErrorStringA's buffer, and a larger one for a text that does not fit.
constexpr DWORD kErrorTextBytes = 100;
constexpr DWORD kLongErrorTextBytes = 1024;

// The one message record of the wait loop.
MSG g_message{};

const CharSet& NumberDelimiters() {
  static const CharSet set = Delimiters(",");
  return set;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Plays a sound file of the plug-in directory to its end, when it exists.
void PlaySoundFile(const char* name) {
  const std::string path = PluginDirectory() + name;
  if (FileExists(path)) sndPlaySoundA(path.c_str(), SND_SYNC);
}

// Interval in seconds as a pause in milliseconds, kept within 0 and the cap.
DWORD PauseMilliseconds(int32_t interval) {
  if (interval < 0) interval = 0;
  if (interval > kMaxDialIntervalSeconds) interval = kMaxDialIntervalSeconds;
  return static_cast<DWORD>(interval) * 1000u;
}

// The service's text for an error code (ANSI), or a text naming the code
// when the service has none.
std::string RemoteAccessErrorText(DWORD code) {
  std::vector<char> buffer(kErrorTextBytes, '\0');
  DWORD rc = RasGetErrorStringA(static_cast<UINT>(code), buffer.data(), kErrorTextBytes);
  if (rc == ERROR_INSUFFICIENT_BUFFER || rc == ERROR_MORE_DATA) {
    buffer.assign(kLongErrorTextBytes, '\0');
    rc = RasGetErrorStringA(static_cast<UINT>(code), buffer.data(), kLongErrorTextBytes);
  }
  buffer.back() = '\0';
  if (rc == 0 && buffer[0] != '\0') return buffer.data();
  return "Remote access error " + std::to_string(code);
}

// Lines of a file: a line ends at CR LF, LF or CR; a last line without an
// end counts, an end at the very end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

// Whether the handle is a console's input, which a wait can sleep on (a
// redirected standard input is not, and would count as always signalled).
bool IsConsoleInput(HANDLE input) {
  INPUT_RECORD record;
  DWORD count = 0;
  return PeekConsoleInputA(input, &record, 1, &count) != FALSE;
}

// Returns the console input that a wait set aside to the queue, however the
// wait ends.
struct InputPutBack {
  InputPutBack() = default;
  ~InputPutBack() { PutConsoleInputBack(); }
  InputPutBack(const InputPutBack&) = delete;
  InputPutBack& operator=(const InputPutBack&) = delete;
};

// The pause that announces a StartupList action; true, at once, when Esc
// is pressed before or during it (other input is set aside meanwhile).
bool EscDuringPause(DWORD ms) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  const bool waitable = IsConsoleInput(input);
  const DWORD started = GetTickCount();
  for (;;) {
    if (LookForEscOrSetInputAside()) return true;
    const DWORD elapsed = GetTickCount() - started;
    if (elapsed >= ms) return false;
    if (waitable) {
      WaitForSingleObject(input, ms - elapsed);
    } else {
      Sleep(ms - elapsed);
    }
  }
}

// Carries out one StartupList line; false when Esc came first, and the line
// was not carried out. A "#" line whose window is not open has nothing to
// close: it is passed over without a box that would claim otherwise.
bool CarryOutStartupAction(const std::string& line) {
  if (!line.empty() && line[0] == '#') {
    const std::string title = line.substr(1);
    if (FindWindowA(nullptr, title.c_str()) == nullptr) return true;
    ShowMessage(0, {Msg(MClosingProgram), title}, 0);
    if (EscDuringPause(kStartupActionPauseMs)) return false;
    // Found again after the pause: the window may have gone meanwhile.
    HWND window = FindWindowA(nullptr, title.c_str());
    if (window == nullptr) return true;
    HANDLE process = ProcessOfWindow(window);
    if (process != nullptr) {
      TerminateProcess(process, 0);
      CloseHandle(process);
    }
    WriteLogLine(Msg(MClosingProgram) + title);
    return true;
  }
  ShowMessage(0, {Msg(MStartingProgram), line}, 0);
  if (EscDuringPause(kStartupActionPauseMs)) return false;
  WinExec(line.c_str(), SW_SHOWNORMAL);
  WriteLogLine(Msg(MStartingProgram) + line);
  return true;
}

// Closes the windows and starts the programs the StartupList names, in file
// order. The lines go to the calls and to the log exactly as read. Esc, at
// any moment, skips the actions not yet carried out, with a log line.
void RunStartupList() {
  const std::string path = PluginDirectory() + Settings().startupfile;
  if (!FileExists(path)) return;
  InputPutBack put_back;
  for (const std::string& line : SplitLines(ReadWholeFile(path))) {
    if (LookForEscOrSetInputAside() || !CarryOutStartupAction(line)) {
      WriteLogLine(Msg(MStartupListSkipped));
      return;
    }
  }
}

}  // namespace

bool PumpMessage(MSG& msg) {
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  DispatchMessageA(&msg);
  return true;
}

HANDLE ProcessOfWindow(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  return OpenProcess(PROCESS_ALL_ACCESS, TRUE, process_id);
}

DialOutcomeKind WaitForDialOutcome() {
  InputPutBack put_back;
  HANDLE handles[2] = {DialProgressEvent(), GetStdHandle(STD_INPUT_HANDLE)};
  const DWORD count = IsConsoleInput(handles[1]) ? 2 : 1;
  DWORD timeout = INFINITE;
  for (;;) {
    // The outcome is read before the queued states are drawn: every state
    // the notifier reported before its outcome is then on the screen before
    // the outcome is acted on.
    const DialOutcomeState seen = CurrentDialOutcome();
    ShowPendingDialStates();
    if (seen.kind != DialOutcomeKind::None) return seen.kind;

    // Sleeps until the notifier reports, a window message comes or console
    // input arrives; input that is not an Esc has been set aside below, so
    // it does not keep the console input handle signalled.
    const DWORD woke =
        handles[0] != nullptr ? MsgWaitForMultipleObjects(count, handles, FALSE, timeout, QS_ALLINPUT) : WAIT_FAILED;
    if (woke == WAIT_FAILED) Sleep(kPollingSliceMs);
    int dispatched = 0;
    while (dispatched < kMessagesPerPass && PumpMessage(g_message)) ++dispatched;
    // Messages left in the queue would not wake the next wait: it only looks.
    timeout = dispatched == kMessagesPerPass ? 0 : INFINITE;
    if (LookForEscOrSetInputAside()) {
      ForceDialInterrupted();
      ShowPendingDialStates();
      return DialOutcomeKind::Interrupted;
    }
  }
}

namespace {

// One run of DialProcedure: the entry, its words, and where the tries stand.
struct DialRun {
  const EntryValues& entry;
  const PluginSettings& settings;
  int word_count = 0;
  DWORD pause = 0;  // after a failed or too-slow try
  int32_t tries_left = 0;
  int number_index = 1;  // 1-based word of Numbers to dial next
};

// How a try ended for the dial as a whole.
enum class AfterTry { NextTry, Done };

// Hangs up a try's dial and drops any report its service still sends.
void HangUpTry(HRASCONN connection) {
  RasHangUpA(connection);
  ForgetDialConnection(connection);
}

// Hangs up the try's dial when it goes out of scope, unless it has been
// hung up already or released: a try that has not connected never outlives
// its step, however that step ends (an exception included).
class TryHangUp {
 public:
  explicit TryHangUp(HRASCONN connection) : connection_(connection) {}
  ~TryHangUp() { HangUp(); }
  TryHangUp(const TryHangUp&) = delete;
  TryHangUp& operator=(const TryHangUp&) = delete;

  // Hangs up now (where the order of the steps wants it).
  void HangUp() {
    if (armed_) HangUpTry(connection_);
    armed_ = false;
  }
  // The try connected: its connection stays up.
  void Release() { armed_ = false; }

 private:
  HRASCONN connection_;
  bool armed_ = true;
};

// Word number_index of Numbers, or the next word when that one does not
// start with a digit (taken then as it is, without a second test); the
// index is left on the word chosen.
std::string ChooseNumber(DialRun& run) {
  const CharSet& comma = NumberDelimiters();
  if (run.number_index > run.word_count) run.number_index = 1;
  std::string word = NthWord(run.number_index, run.entry.Numbers, comma);
  if (word.empty() || !IsDigit(word[0])) {
    ++run.number_index;
    if (run.number_index > run.word_count) run.number_index = 1;
    word = NthWord(run.number_index, run.entry.Numbers, comma);
  }
  return word;
}

// The two records RasDialA is given, filled anew for each try.
void FillRecords(const DialRun& run, const std::string& word, RASDIALPARAMSA& params, RASDIALEXTENSIONS& extensions) {
  std::memset(&params, 0, sizeof params);
  CopyToField(params.szEntryName, sizeof params.szEntryName, "");
  CopyToField(params.szUserName, sizeof params.szUserName, run.entry.Login);
  CopyToField(params.szPassword, sizeof params.szPassword, run.entry.Password);
  CopyToField(params.szDomain, sizeof params.szDomain, run.entry.Domain);
  CopyToField(params.szCallbackNumber, sizeof params.szCallbackNumber, run.entry.Callback);
  CopyToField(params.szPhoneNumber, sizeof params.szPhoneNumber, run.settings.dial_prefix + word);
  params.dwSize = sizeof params;
  std::memset(&extensions, 0, sizeof extensions);
  extensions.dwSize = sizeof extensions;
  extensions.dwfOptions = RDEOPT_UsePrefixSuffix | RDEOPT_IgnoreModemSpeaker | RDEOPT_SetModemSpeaker;
}

AfterTry OnInterrupted(TryHangUp& hang_up, SavedScreen& screen) {
  hang_up.HangUp();
  WriteLogLine(Msg(MInterrupted));
  ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), Msg(MInterruptedLine), Msg(MOk)}, 1);
  screen.Restore();
  return AfterTry::Done;
}

// The service's error box and pause; the final box once no try is left.
AfterTry OnFailure(DialRun& run, TryHangUp& hang_up, SavedScreen& screen) {
  const DWORD error = DialError();
  const std::string text = RemoteAccessErrorText(error);
  if (error == ERROR_REMOTE_DISCONNECTION && run.settings.i629) run.tries_left = 1;
  hang_up.HangUp();
  PlaySoundFile("error.wav");
  const std::string oem_text = ConvertToOem(text);
  ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), oem_text}, 0);
  WriteLogLine(Msg(MErrorPrefix) + oem_text);
  Sleep(run.pause);
  screen.Restore();
  if (--run.tries_left > 0) return AfterTry::NextTry;
  PlaySoundFile("failed.wav");
  ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), Msg(MAllTriesFailed), Msg(MOk)}, 1);
  WriteLogLine(Msg(MAllTriesFailed));
  return AfterTry::Done;
}

// Whether the connection is slower than minspeed, logging its speed when
// there is a minimum. A speed of 0 is one the system cannot tell: it is
// never held against the connection.
bool IsTooSlow(const DialRun& run, HRASCONN connection) {
  if (run.settings.minspeed == 0) return false;
  const int32_t speed = ConnectionSpeed(connection);
  if (speed == 0) return false;
  WriteLogLine(Msg(MSpeed) + std::to_string(speed) + " bps.");
  return speed < run.settings.minspeed;
}

AfterTry OnTooSlow(DialRun& run, HRASCONN connection, SavedScreen& screen) {
  PlaySoundFile("error.wav");
  HangUpTry(connection);
  ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), Msg(MTooSlow), Msg(MTooSlowLine2)}, 0);
  Sleep(run.pause);
  WriteLogLine(Msg(MTooSlow));
  --run.tries_left;
  screen.Restore();
  return run.tries_left > 0 ? AfterTry::NextTry : AfterTry::Done;
}

AfterTry OnConnected(HRASCONN connection, SavedScreen& screen) {
  PlaySoundFile("connect.wav");
  ShowMessage(0,
              {Msg(MConnectedTitle), Msg(MConnectedLine), "Local IP Address: " + LocalIpAddress(connection),
               "Remote IP Address: " + RemoteIpAddress(connection), Msg(MOk)},
              1);
  WriteLogLine(Msg(MConnectedLine) + ". Local IP Address: " + LocalIpAddress(connection) +
               ". Remote IP Address: " + RemoteIpAddress(connection));
  RunStartupList();
  screen.Restore();
  return AfterTry::Done;
}

// One try: the dial box, the dial, the wait, and what its outcome asks for.
AfterTry OneTry(DialRun& run) {
  const std::string word = ChooseNumber(run);
  RASDIALPARAMSA params;
  RASDIALEXTENSIONS extensions;
  FillRecords(run, word, params, extensions);

  SavedScreen screen;
  ShowMessage(0,
              {Msg(MDialling), Msg(MTriesLeft) + std::to_string(run.tries_left), params.szPhoneNumber,
               kMessageSeparator, Msg(MDialBoxLast)},
              0);
  WriteLogLine(Msg(MDialling) + word);

  ResetDialOutcome();
  HRASCONN connection = nullptr;
  // Notifier type 1 names the dial of each report, so that a service that
  // goes on reporting after a hang-up cannot decide this try.
  const DWORD refused =
      RasDialA(&extensions, nullptr, &params, 1, reinterpret_cast<LPVOID>(&DialProgressCallback1), &connection);
  TryHangUp hang_up(connection);
  ExpectDialConnection(connection);
  // A dial refused at once never reaches the notifier: its code is the
  // try's failure.
  if (refused != 0) PublishDialFailure(refused);

  switch (WaitForDialOutcome()) {
    case DialOutcomeKind::Interrupted: return OnInterrupted(hang_up, screen);
    case DialOutcomeKind::Failed: return OnFailure(run, hang_up, screen);
    case DialOutcomeKind::Connected:
    case DialOutcomeKind::None: break;  // the wait returns only with an outcome
  }
  // Connected: from here on an error leaves the connection up.
  hang_up.Release();
  if (IsTooSlow(run, connection)) return OnTooSlow(run, connection, screen);
  return OnConnected(connection, screen);
}

}  // namespace

void DialProcedure(const std::string& name) {
  if (!ReadDialEntry(name)) {
    // A dial asked for is never dropped in silence.
    ShowWarning(Msg(MNoSuchEntry) + name);
    WriteLogLine(Msg(MNoSuchEntry) + name);
    return;
  }
  const EntryValues entry = CurrentEntry();
  DialRun run{entry, Settings()};
  run.tries_left = entry.Tries;
  if (run.tries_left < 1) return;
  run.word_count = CountWords(entry.Numbers, NumberDelimiters());
  if (run.word_count == 0) {
    ShowWarning(kNoNumberWarning);
    WriteLogLine(kNoNumberWarning);
    return;
  }
  run.pause = PauseMilliseconds(entry.Interval);
  while (OneTry(run) == AfterTry::NextTry) ++run.number_index;
}

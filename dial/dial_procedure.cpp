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

// Closes the windows and starts the programs the StartupList names, in file
// order. The lines go to the calls and to the log exactly as read.
void RunStartupList() {
  const std::string path = PluginDirectory() + Settings().startupfile;
  if (!FileExists(path)) return;
  for (const std::string& line : SplitLines(ReadWholeFile(path))) {
    if (!line.empty() && line[0] == '#') {
      const std::string title = line.substr(1);
      // A window that is not open has nothing to close: the line is passed
      // over without a box that would claim otherwise.
      if (FindWindowA(nullptr, title.c_str()) == nullptr) continue;
      ShowMessage(0, {Msg(MClosingProgram), title}, 0);
      Sleep(kStartupActionPauseMs);
      // Found again after the pause: the window may have gone meanwhile.
      HWND window = FindWindowA(nullptr, title.c_str());
      if (window == nullptr) continue;
      HANDLE process = ProcessOfWindow(window);
      if (process != nullptr) {
        TerminateProcess(process, 0);
        CloseHandle(process);
      }
      WriteLogLine(Msg(MClosingProgram) + title);
    } else {
      ShowMessage(0, {Msg(MStartingProgram), line}, 0);
      Sleep(kStartupActionPauseMs);
      WinExec(line.c_str(), SW_SHOWNORMAL);
      WriteLogLine(Msg(MStartingProgram) + line);
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

namespace {

// Whether the handle is a console's input, which a wait can sleep on (a
// redirected standard input is not, and would count as always signalled).
bool IsConsoleInput(HANDLE input) {
  INPUT_RECORD record;
  DWORD count = 0;
  return PeekConsoleInputA(input, &record, 1, &count) != FALSE;
}

// Returns the console input that the wait set aside to the queue, however
// the wait ends.
struct InputPutBack {
  InputPutBack() = default;
  ~InputPutBack() { PutConsoleInputBack(); }
  InputPutBack(const InputPutBack&) = delete;
  InputPutBack& operator=(const InputPutBack&) = delete;
};

}  // namespace

std::string WaitForDialOutcome() {
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
    if (seen.kind != DialOutcomeKind::None) return DialOutcomeText(seen.kind);

    // Sleeps until the notifier reports, a window message comes or console
    // input arrives; input that is not an Esc has been set aside below, so
    // it does not keep the console input handle signalled.
    const DWORD woke = handles[0] != nullptr
                           ? MsgWaitForMultipleObjects(count, handles, FALSE, timeout, QS_ALLINPUT)
                           : WAIT_FAILED;
    if (woke == WAIT_FAILED) Sleep(kPollingSliceMs);
    int dispatched = 0;
    while (dispatched < kMessagesPerPass && PumpMessage(g_message)) ++dispatched;
    // Messages left in the queue would not wake the next wait: it only looks.
    timeout = dispatched == kMessagesPerPass ? 0 : INFINITE;
    if (LookForEscOrSetInputAside()) {
      ForceDialInterrupted();
      ShowPendingDialStates();
      return DialOutcomeText(DialOutcomeKind::Interrupted);
    }
  }
}

// Hangs up a try's dial and drops any report its service still sends.
static void HangUpTry(HRASCONN connection) {
  RasHangUpA(connection);
  ForgetDialConnection(connection);
}

void DialProcedure(const std::string& name) {
  if (!ReadDialEntry(name)) return;
  const EntryValues entry = CurrentEntry();
  int32_t tries_left = entry.Tries;
  if (tries_left < 1) return;

  const CharSet& comma = NumberDelimiters();
  const int word_count = CountWords(entry.Numbers, comma);
  if (word_count == 0) {
    ShowWarning(kNoNumberWarning);
    WriteLogLine(kNoNumberWarning);
    return;
  }

  const PluginSettings& settings = Settings();
  const DWORD pause = PauseMilliseconds(entry.Interval);
  int number_index = 1;

  for (;;) {
    HRASCONN connection = nullptr;
    RASDIALPARAMSA params;
    std::memset(&params, 0, sizeof params);
    CopyToField(params.szEntryName, sizeof params.szEntryName, "");
    CopyToField(params.szUserName, sizeof params.szUserName, entry.Login);
    CopyToField(params.szPassword, sizeof params.szPassword, entry.Password);
    CopyToField(params.szDomain, sizeof params.szDomain, entry.Domain);
    CopyToField(params.szCallbackNumber, sizeof params.szCallbackNumber, entry.Callback);
    RASDIALEXTENSIONS extensions;
    std::memset(&extensions, 0, sizeof extensions);
    extensions.dwSize = sizeof extensions;
    extensions.dwfOptions = RDEOPT_UsePrefixSuffix | RDEOPT_IgnoreModemSpeaker | RDEOPT_SetModemSpeaker;

    // The number: word number_index, or the next word when that one does not
    // start with a digit (taken then as it is, without a second test).
    if (number_index > word_count) number_index = 1;
    std::string word = NthWord(number_index, entry.Numbers, comma);
    if (word.empty() || !IsDigit(word[0])) {
      ++number_index;
      if (number_index > word_count) number_index = 1;
      word = NthWord(number_index, entry.Numbers, comma);
    }
    CopyToField(params.szPhoneNumber, sizeof params.szPhoneNumber, settings.dial_prefix + word);
    params.dwSize = sizeof params;

    SavedScreen screen;
    ShowMessage(0,
                {Msg(MDialling), Msg(MTriesLeft) + std::to_string(tries_left), params.szPhoneNumber,
                 kMessageSeparator, Msg(MDialBoxLast)},
                0);
    WriteLogLine(Msg(MDialling) + word);

    ResetDialOutcome();
    connection = nullptr;
    // Notifier type 1 names the dial of each report, so that a service that
    // goes on reporting after a hang-up cannot decide this try.
    const DWORD refused = RasDialA(&extensions, nullptr, &params, 1,
                                   reinterpret_cast<LPVOID>(&DialProgressCallback1), &connection);
    ExpectDialConnection(connection);
    // A dial refused at once never reaches the notifier: its code is the
    // try's failure.
    if (refused != 0) PublishDialFailure(refused);

    std::string outcome;
    try {
      outcome = WaitForDialOutcome();
    } catch (...) {
      HangUpTry(connection);
      throw;
    }

    if (outcome == "interrupted") {
      HangUpTry(connection);
      WriteLogLine(Msg(MInterrupted));
      ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), Msg(MInterruptedLine), Msg(MOk)}, 1);
      screen.Restore();
      return;
    }

    if (outcome == "failed") {
      const DWORD error = DialError();
      const std::string text = RemoteAccessErrorText(error);
      if (error == ERROR_REMOTE_DISCONNECTION && settings.i629) tries_left = 1;
      HangUpTry(connection);
      PlaySoundFile("error.wav");
      const std::string oem_text = ConvertToOem(text);
      ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), oem_text}, 0);
      WriteLogLine(Msg(MErrorPrefix) + oem_text);
      Sleep(pause);
      screen.Restore();
      --tries_left;
      if (tries_left > 0) {
        ++number_index;
        continue;
      }
      PlaySoundFile("failed.wav");
      ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), Msg(MAllTriesFailed), Msg(MOk)}, 1);
      WriteLogLine(Msg(MAllTriesFailed));
      return;
    }

    // Connected. A speed of 0 is one the system cannot tell: it is never
    // held against the connection.
    if (settings.minspeed != 0) {
      const int32_t speed = ConnectionSpeed();
      if (speed != 0) {
        WriteLogLine(Msg(MSpeed) + std::to_string(speed) + " bps.");
        if (speed < settings.minspeed) {
          PlaySoundFile("error.wav");
          HangUpTry(connection);
          ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), Msg(MTooSlow), Msg(MTooSlowLine2)}, 0);
          Sleep(pause);
          WriteLogLine(Msg(MTooSlow));
          --tries_left;
          screen.Restore();
          if (tries_left > 0) {
            ++number_index;
            continue;
          }
          return;
        }
      }
    }

    PlaySoundFile("connect.wav");
    ShowMessage(0,
                {Msg(MConnectedTitle), Msg(MConnectedLine), "Local IP Address: " + LocalIpAddress(connection),
                 "Remote IP Address: " + RemoteIpAddress(connection), Msg(MOk)},
                1);
    WriteLogLine(Msg(MConnectedLine) + ". Local IP Address: " + LocalIpAddress(connection) +
                 ". Remote IP Address: " + RemoteIpAddress(connection));
    RunStartupList();
    screen.Restore();
    return;
  }
}

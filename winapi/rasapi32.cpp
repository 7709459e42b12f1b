// The simulated Remote Access Service: rasapi32's ANSI calls, answering as a
// scenario file in the world says (see docs/world.md: ras.ini, the phone
// book, connections.ini).
//
// A dial with a notifier runs on a thread of its own, as on the Windows NT
// family, and reports each connection state to the notifier. Connections
// made live in connections.ini in the world, so a connection made by one
// process is listed, and can be hung up, by the next. Only the standard
// library, the public Windows calls and world.h are used, so that the same
// file can be built into a test rasapi32.dll; the few host-specific lines
// are at the bottom.
#include "winapi/ras_sim.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "winapi/stdcall_check.h"
#include "winapi/world.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "winapi/standin_control.h"
#endif

namespace {

// Remote access error codes the service answers with.
constexpr DWORD kErrorBufferTooSmall = 603;
constexpr DWORD kErrorCannotOpenPhonebook = 621;
constexpr DWORD kErrorCannotFindPhonebookEntry = 623;
constexpr DWORD kErrorCannotWritePhonebook = 624;
constexpr DWORD kErrorInvalidSize = 632;
constexpr DWORD kErrorRequestTimeout = 638;
constexpr DWORD kErrorNoAnswer = 678;
constexpr DWORD kErrorProjectionNotComplete = 730;
constexpr DWORD kErrorProtocolNotConfigured = 731;

// The longest pause a scenario may ask for between two notifications.
constexpr long kMaxPauseMs = 60000;

// ---------------------------------------------------------------------------
// Small helpers

std::string Trimmed(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// A zero-terminated text field read up to its zero, never past the field.
template <size_t N>
std::string FieldText(const CHAR (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// Copies text into a fixed field, cut so that it and its zero fit.
template <size_t N>
void SetField(CHAR (&field)[N], const std::string& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

DWORD HandleId(HRASCONN handle) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(handle)); }
HRASCONN IdHandle(DWORD id) { return reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(id)); }

std::vector<int> ParseStates(const std::string& text) {
  std::vector<int> states;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    if (comma == std::string::npos) comma = text.size();
    const std::string word = Trimmed(text.substr(pos, comma - pos));
    if (!word.empty()) {
      char* end = nullptr;
      const long value = std::strtol(word.c_str(), &end, 0);
      if (end != nullptr && *end == '\0') states.push_back(static_cast<int>(value));
    }
    pos = comma + 1;
  }
  return states;
}

DWORD ClampedDword(long value, long low, long high) {
  return static_cast<DWORD>(std::clamp(value, low, high));
}

// ---------------------------------------------------------------------------
// Host layer: where the world's files are and how they are locked.

std::string ScenarioPath() { return world::FilePath("ras.ini"); }
std::string ConnectionsPath() { return world::FilePath("connections.ini"); }
std::string DefaultPhonebookPath() { return world::FilePath("rasphone.pbk"); }

bool FileExists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  return access(path.c_str(), F_OK) == 0;
#endif
}

// Holds the lock of one world file against this and every other process
// that uses the world: an in-process mutex and an exclusive lock on
// "<file>.lock".
class WorldFileLock {
 public:
  explicit WorldFileLock(const std::string& path) : guard_(Mutex()) {
    const std::string lock_path = path + ".lock";
#ifdef _WIN32
    for (int i = 0; i < 5000; ++i) {
      handle_ = CreateFileA(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle_ != INVALID_HANDLE_VALUE) break;
      Sleep(1);
    }
#else
    fd_ = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
#endif
  }
  ~WorldFileLock() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#else
    if (fd_ >= 0) close(fd_);  // closing releases the lock
#endif
  }
  WorldFileLock(const WorldFileLock&) = delete;
  WorldFileLock& operator=(const WorldFileLock&) = delete;

 private:
  static std::mutex& Mutex() {
    static std::mutex m;
    return m;
  }
  std::lock_guard<std::mutex> guard_;
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
};

// ---------------------------------------------------------------------------
// Scenarios (ras.ini)

struct Scenario {
  std::vector<int> states{0, 1, 2};
  DWORD pause_ms = 0;
  bool connect = false;
  DWORD speed = 0;
  std::string local_ip = "10.0.0.2";
  std::string remote_ip = "10.0.0.1";
  DWORD error = kErrorNoAnswer;
  int error_state = 2;
  std::optional<int> esc_at_state;
  DWORD refuse = 0;
  bool callback_after_hangup = false;
  DWORD error_after_connected = 0;
  bool silent = false;
};

// Marks a key that is absent (IniFile has no separate test for keys).
const char kAbsent[] = "\x01";

// A dial string as a modem dials it: without the blanks, dashes, brackets
// and dots that only make it readable ("p555-0400" and "p(555) 0400" dial
// p5550400), letters folded to one case.
std::string DialledForm(const std::string& number) {
  std::string out;
  for (char c : number) {
    if (c == ' ' || c == '-' || c == '(' || c == ')' || c == '.') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

// The section of ras.ini that answers `number`: the one named by it exactly;
// else the one whose name dials the same digits; else [*]; "" when none.
// The sections of the phone book's dialogs and credentials are no numbers.
std::string ScenarioSection(const world::IniFile& ini, const std::string& number) {
  if (!number.empty() && ini.HasSection(number)) return number;
  const std::string wanted = DialledForm(number);
  if (!wanted.empty()) {
    for (const auto& section : ini.Sections()) {
      const std::string form = DialledForm(section.first);
      if (form == "*" || form == "phonebook" || form.rfind("credentials:", 0) == 0) continue;
      if (form == wanted) return section.first;
    }
  }
  return ini.HasSection("*") ? "*" : "";
}

Scenario LoadScenario(const std::string& number) {
  const world::IniFile ini = world::IniFile::Load(ScenarioPath());
  const std::string section = ScenarioSection(ini, number);
  Scenario s;
  if (section.empty()) return s;  // no answer after states 0, 1, 2

  auto has = [&](const char* key) { return ini.Get(section, key, kAbsent) != kAbsent; };
  if (has("states")) s.states = ParseStates(ini.Get(section, "states"));
  s.pause_ms = ClampedDword(ini.GetInt(section, "pause_ms", 0), 0, kMaxPauseMs);
  const std::string end = Trimmed(ini.Get(section, "end"));
  s.connect = end.empty() ? !has("error") : end == "connected";
  s.speed = ClampedDword(ini.GetInt(section, "speed", 0), 0, 0x7FFFFFFF);
  s.local_ip = ini.Get(section, "local_ip", s.local_ip);
  s.remote_ip = ini.Get(section, "remote_ip", s.remote_ip);
  s.error = ClampedDword(ini.GetInt(section, "error", kErrorNoAnswer), 1, 0x7FFFFFFF);
  s.error_state = static_cast<int>(ini.GetInt(section, "error_state", s.states.empty() ? 0 : s.states.back()));
  if (has("esc_at_state")) s.esc_at_state = static_cast<int>(ini.GetInt(section, "esc_at_state", -1));
  s.refuse = ClampedDword(ini.GetInt(section, "refuse", 0), 0, 0x7FFFFFFF);
  s.callback_after_hangup = ini.GetInt(section, "callback_after_hangup", 0) != 0;
  s.error_after_connected = ClampedDword(ini.GetInt(section, "error_after_connected", 0), 0, 0x7FFFFFFF);
  s.silent = ini.GetInt(section, "silent", 0) != 0;
  return s;
}

// ---------------------------------------------------------------------------
// Connections made (connections.ini): one section per connection, named by
// its handle number, and a counter that hands out handle numbers.

struct Connection {
  DWORD id = 0;
  std::string entry;
  std::string number;
  std::string local_ip;
  std::string remote_ip;
  DWORD speed = 0;
};

const char kCounterSection[] = "counter";

bool IsConnectionSection(const std::string& name, DWORD* id) {
  if (name.empty() || name.size() > 9) return false;
  for (char c : name) {
    if (c < '0' || c > '9') return false;
  }
  *id = static_cast<DWORD>(std::strtoul(name.c_str(), nullptr, 10));
  return *id != 0;
}

std::vector<Connection> ListConnections(const world::IniFile& ini) {
  std::vector<Connection> list;
  for (const auto& section : ini.Sections()) {
    Connection c;
    if (!IsConnectionSection(section.first, &c.id)) continue;
    c.entry = ini.Get(section.first, "entry");
    c.number = ini.Get(section.first, "number");
    c.local_ip = ini.Get(section.first, "local_ip");
    c.remote_ip = ini.Get(section.first, "remote_ip");
    c.speed = ClampedDword(ini.GetInt(section.first, "speed", 0), 0, 0x7FFFFFFF);
    list.push_back(c);
  }
  return list;
}

// The list of connections as this process last read or wrote it. It is
// kept while the file's stamp says that nobody changed the file since, so
// that each call reads and parses the file only when another process (or a
// person) changed it. Used only under the file's WorldFileLock, whose
// in-process mutex also guards this.
class ConnectionsFile {
 public:
  // The list in `path` as it is now: the one kept, or read afresh. The stamp
  // is taken before the file is read, so a change that slips in between
  // makes the next call read again rather than keep a stale list.
  world::IniFile& Current(const std::string& path) {
    const world::FileStamp now = world::Stamp(path);
    if (forget_.exchange(false) || path != path_ || !world::SameVersion(now, stamp_)) {
      path_ = path;
      stamp_ = now;
      ini_ = world::IniFile::Load(path);
    }
    return ini_;
  }
  // Writes the list as changed since Current(path); false, with the kept
  // list forgotten, when that fails. The text is kept with the list, so that
  // a hang-up cuts its section out of it instead of writing out every other
  // connection's keys again.
  bool Save(const std::string& path) {
    ini_.KeepText();
    if (path != path_ || !ini_.Save(path)) {
      path_.clear();
      return false;
    }
    stamp_ = world::Stamp(path);
    return true;
  }
  // Drops the kept list (a world read afresh): the next call reads the file.
  void Forget() { forget_ = true; }

 private:
  std::string path_;
  world::FileStamp stamp_;
  world::IniFile ini_;
  std::atomic<bool> forget_{false};
};

// Never destroyed: a dial's thread may still add its connection while the
// process exits.
ConnectionsFile& Connections() {
  static ConnectionsFile* file = new ConnectionsFile;
  return *file;
}

std::vector<Connection> ListConnections() {
  const std::string path = ConnectionsPath();
  WorldFileLock lock(path);
  return ListConnections(Connections().Current(path));
}

std::optional<Connection> FindConnection(DWORD id) {
  for (const Connection& c : ListConnections()) {
    if (c.id == id) return c;
  }
  return std::nullopt;
}

// A handle number not used before in this world: never 0, never reused;
// 0 when the list of connections cannot be rewritten.
DWORD NewConnectionId() {
  const std::string path = ConnectionsPath();
  WorldFileLock lock(path);
  world::IniFile& ini = Connections().Current(path);
  long next = std::max(1L, ini.GetInt(kCounterSection, "next", 1));
  for (const Connection& c : ListConnections(ini)) next = std::max(next, static_cast<long>(c.id) + 1);
  if (next > 999999999L) next = 1;
  ini.Set(kCounterSection, "next", std::to_string(next + 1));
  if (!Connections().Save(path)) return 0;
  return static_cast<DWORD>(next);
}

// Enters a connection unless `cancelled` says the dial was hung up meanwhile
// (checked under the lock, so a hang-up never leaves a connection behind).
bool AddConnection(const std::string& path, const Connection& c, const std::atomic<bool>* cancelled) {
  WorldFileLock lock(path);
  if (cancelled != nullptr && cancelled->load()) return false;
  world::IniFile& ini = Connections().Current(path);
  const std::string section = std::to_string(c.id);
  ini.Set(section, "entry", c.entry);
  ini.Set(section, "number", c.number);
  ini.Set(section, "local_ip", c.local_ip);
  ini.Set(section, "remote_ip", c.remote_ip);
  ini.Set(section, "speed", std::to_string(c.speed));
  return Connections().Save(path);
}

// 0 when the connection was listed and is not any more; ERROR_INVALID_HANDLE
// when it was not listed; ERROR_WRITE_FAULT when the list cannot be rewritten.
DWORD RemoveConnection(const std::string& path, DWORD id) {
  WorldFileLock lock(path);
  world::IniFile& ini = Connections().Current(path);
  const std::string section = std::to_string(id);
  if (!ini.HasSection(section)) return ERROR_INVALID_HANDLE;
  ini.RemoveSection(section);
  return Connections().Save(path) ? 0 : static_cast<DWORD>(ERROR_WRITE_FAULT);
}

// The Windows 95 family publishes the link speed among its dynamic
// statistics, where diallers read it.
void PublishSpeed(DWORD speed) {
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) return;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_DYN_DATA, "PerfStats\\StatData", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const BYTE data[4] = {static_cast<BYTE>(speed), static_cast<BYTE>(speed >> 8), static_cast<BYTE>(speed >> 16),
                        static_cast<BYTE>(speed >> 24)};
  RegSetValueExA(key, "Dial-Up Adapter\\ConnectSpeed", 0, REG_BINARY, data, sizeof data);
  RegCloseKey(key);
}

// An Esc key-down and key-up in the console input, as if the user pressed it.
void PushEscape() {
  INPUT_RECORD keys[2];
  std::memset(keys, 0, sizeof keys);
  for (int i = 0; i < 2; ++i) {
    keys[i].EventType = KEY_EVENT;
    keys[i].Event.KeyEvent.bKeyDown = i == 0 ? TRUE : FALSE;
    keys[i].Event.KeyEvent.wRepeatCount = 1;
    keys[i].Event.KeyEvent.wVirtualKeyCode = VK_ESCAPE;
    keys[i].Event.KeyEvent.uChar.AsciiChar = 0x1B;
  }
  DWORD written = 0;
  WriteConsoleInputA(GetStdHandle(STD_INPUT_HANDLE), keys, 2, &written);
}

// ---------------------------------------------------------------------------
// Dials of this process. A dial keeps its handle until RasHangUpA, whatever
// its end, as the service does.

struct Dial : std::enable_shared_from_this<Dial> {
  DWORD id = 0;
  Scenario scenario;
  Connection connection;         // what the dial makes when it connects
  std::string connections_path;  // the world the dial was made in
  RASDIALFUNC notifier = nullptr;    // notifier type 0
  RASDIALFUNC1 notifier1 = nullptr;  // notifier type 1: also told the dial's handle
  bool esc_pushed = false;

  std::atomic<bool> hung_up{false};    // RasHangUpA was called
  std::atomic<bool> abandoned{false};  // RasSimStopAll: stop whatever the scenario says
  std::mutex mutex;
  std::condition_variable wake;
  bool started = false;
  bool done = false;            // the dial's thread has finished with the notifier
  std::thread::id runner;       // the dial's thread

  // Whether notifications must stop now.
  bool Stopped() const { return abandoned.load() || (hung_up.load() && !scenario.callback_after_hangup); }

  // The pause before a notification. Returns false when the dial is to stop.
  bool Pause() {
    std::unique_lock<std::mutex> lock(mutex);
    if (scenario.pause_ms > 0) {
      wake.wait_for(lock, std::chrono::milliseconds(scenario.pause_ms), [this] { return Stopped(); });
    }
    return !Stopped();
  }

  void Notify(RASCONNSTATE state, DWORD error) {
    if (scenario.esc_at_state && *scenario.esc_at_state == state && !esc_pushed) {
      esc_pushed = true;
      PushEscape();
    }
    // A notifier must be WINAPI (stdcall); one that is not is journalled as
    // an error, which fails the scenario.
    long stack_left = 0;
    if (notifier != nullptr) CallCheckingStack(notifier, stack_left, 0u, state, error);
    if (notifier1 != nullptr) CallCheckingStack(notifier1, stack_left, IdHandle(id), 0u, state, error, DWORD{0});
    if (stack_left != 0) {
      world::Journal("error notifier left the stack pointer " + std::to_string(stack_left) + " bytes off: not WINAPI");
    }
  }

  void Start() {
    std::lock_guard<std::mutex> lock(mutex);
    // The thread holds the dial, so a dial hung up from its own notifier
    // lives until its thread is done with it. It runs detached: a finished
    // dial leaves no thread behind to be joined (a process that forks, as
    // WinExec does, must not inherit finished-but-unjoined threads), and
    // StopAndJoin waits for `done` instead.
    started = true;
    std::thread thread([self = shared_from_this()] {
      self->Run();
      std::lock_guard<std::mutex> done_lock(self->mutex);
      self->done = true;
      self->wake.notify_all();
    });
    runner = thread.get_id();
    thread.detach();
  }

  // Stops the reports and waits until the notifier has returned for the last
  // time (unless this is the dial's own thread, e.g. a hang-up from within
  // the notifier).
  void StopAndJoin(bool abandon) {
    std::unique_lock<std::mutex> lock(mutex);
    hung_up = true;
    if (abandon) abandoned = true;
    wake.notify_all();
    if (!started || runner == std::this_thread::get_id()) return;
    wake.wait(lock, [this] { return done; });
  }

  void Run();
};

class DialTable {
 public:
  ~DialTable() { StopAll(); }

  void Add(const std::shared_ptr<Dial>& dial) {
    std::lock_guard<std::mutex> lock(mutex_);
    dials_[dial->id] = dial;
  }
  std::shared_ptr<Dial> Find(DWORD id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = dials_.find(id);
    return it == dials_.end() ? nullptr : it->second;
  }
  // Takes the dial out of the table. A dial that goes on notifying after
  // its hang-up is kept aside, so that StopAll can still end it.
  std::shared_ptr<Dial> Take(DWORD id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = dials_.find(id);
    if (it == dials_.end()) return nullptr;
    std::shared_ptr<Dial> dial = it->second;
    dials_.erase(it);
    if (dial->scenario.callback_after_hangup) runaways_.push_back(dial);
    return dial;
  }
  void StopAll() { StopOutside(""); }

  // Stops and forgets every dial not made in the world whose connections
  // file is `connections_path` ("" for every dial).
  void StopOutside(const std::string& connections_path) {
    std::vector<std::shared_ptr<Dial>> stopped;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto outside = [&](const std::shared_ptr<Dial>& dial) {
        return connections_path.empty() || dial->connections_path != connections_path;
      };
      for (auto it = dials_.begin(); it != dials_.end();) {
        if (outside(it->second)) {
          stopped.push_back(it->second);
          it = dials_.erase(it);
        } else {
          ++it;
        }
      }
      for (auto it = runaways_.begin(); it != runaways_.end();) {
        if (outside(*it)) {
          stopped.push_back(*it);
          it = runaways_.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (auto& dial : stopped) dial->StopAndJoin(true);
  }

 private:
  std::mutex mutex_;
  std::map<DWORD, std::shared_ptr<Dial>> dials_;
  std::vector<std::shared_ptr<Dial>> runaways_;
};

DialTable& Dials() {
  static DialTable table;
  return table;
}

// Makes the connection at the end of a dial that succeeds.
void Connect(Dial& dial) {
  if (AddConnection(dial.connections_path, dial.connection, &dial.hung_up)) PublishSpeed(dial.scenario.speed);
}

// The body of a dial's own thread: the scenario, notification by
// notification.
void Dial::Run() {
  const Scenario& s = scenario;
  for (int state : s.states) {
    if (!Pause()) return;
    Notify(state, 0);
  }
  if (!Pause()) return;
  if (!s.connect) {
    Notify(s.error_state, s.error);
    return;
  }
  Connect(*this);
  Notify(RASCS_Connected, 0);
  if (s.error_after_connected != 0) {
    if (!Pause()) return;
    Notify(RASCS_Disconnected, s.error_after_connected);
  }
}

// A dial without a notifier: the scenario in the caller's thread, its end
// as the result. A scenario that never ends times out.
DWORD RunDialSynchronously(Dial& dial) {
  const Scenario& s = dial.scenario;
  for (int state : s.states) {
    dial.Pause();
    dial.Notify(state, 0);
  }
  dial.Pause();
  if (s.silent) return kErrorRequestTimeout;
  if (!s.connect) return s.error;
  Connect(dial);
  return 0;
}

// ---------------------------------------------------------------------------
// Phone books

std::string PhonebookPath(LPCSTR phonebook) {
  if (phonebook == nullptr || *phonebook == '\0') return DefaultPhonebookPath();
  return world::HostPath(phonebook);
}

// Loads the phone book. A named book that does not exist cannot be opened;
// a missing default book is an empty one.
DWORD LoadPhonebook(LPCSTR phonebook, world::IniFile* book, std::string* path) {
  *path = PhonebookPath(phonebook);
  const bool named = phonebook != nullptr && *phonebook != '\0';
  if (named && !FileExists(*path)) return kErrorCannotOpenPhonebook;
  *book = world::IniFile::Load(*path);
  return 0;
}

// The section of an entry as the book spells it (names compare without
// regard to case).
std::string EntrySection(const world::IniFile& book, const std::string& name) {
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string wanted = lower(name);
  for (const auto& section : book.Sections()) {
    if (!name.empty() && lower(section.first) == wanted) return section.first;
  }
  return "";
}

// ---------------------------------------------------------------------------
// Error texts: the service's own wording for the codes a dialler meets.

struct ErrorText {
  DWORD code;
  const char* text;
};

const ErrorText kErrorTexts[] = {
    {600, "An operation is pending."},
    {601, "The port handle is invalid."},
    {602, "The port is already open."},
    {603, "Caller's buffer is too small."},
    {604, "Wrong information specified."},
    {605, "Cannot set port information."},
    {606, "The port is not connected."},
    {607, "The event is invalid."},
    {608, "The device does not exist."},
    {609, "The device type does not exist."},
    {610, "The buffer is invalid."},
    {611, "The route is not available."},
    {612, "The route is not allocated."},
    {613, "Invalid compression specified."},
    {614, "Out of buffers."},
    {615, "The port was not found."},
    {616, "An asynchronous request is pending."},
    {617, "The port or device is already disconnecting."},
    {618, "The port is not open."},
    {619, "The port is disconnected."},
    {620, "There are no endpoints."},
    {621, "Cannot open the phone book file."},
    {622, "Cannot load the phone book file."},
    {623, "Cannot find the phone book entry."},
    {624, "Cannot write the phone book file."},
    {625, "Invalid information found in the phone book."},
    {626, "Cannot load a string."},
    {627, "Cannot find key."},
    {628, "The port was disconnected."},
    {629, "The port was disconnected by the remote machine."},
    {630, "The port was disconnected due to hardware failure."},
    {631, "The port was disconnected by the user."},
    {632, "The structure size is incorrect."},
    {633, "The port is already in use or is not configured for Remote Access dial out."},
    {634, "Cannot register your computer on the remote network."},
    {635, "Unknown error."},
    {636, "The wrong device is attached to the port."},
    {637, "The string could not be converted."},
    {638, "The request has timed out."},
    {639, "No asynchronous net available."},
    {640, "A NetBIOS error has occurred."},
    {641, "The server cannot allocate NetBIOS resources needed to support the client."},
    {642, "One of your NetBIOS names is already registered on the remote network."},
    {643, "A network adapter at the server failed."},
    {644, "You will not receive network message popups."},
    {645, "Internal authentication error."},
    {646, "The account is not permitted to log on at this time of day."},
    {647, "The account is disabled."},
    {648, "The password has expired."},
    {649, "The account does not have Remote Access permission."},
    {650, "The Remote Access server is not responding."},
    {651, "Your modem (or other connecting device) has reported an error."},
    {652, "Unrecognized response from the device."},
    {653, "A macro required by the device was not found in the device .INF file section."},
    {654, "A command or response in the device .INF file section refers to an undefined macro."},
    {655, "The <message> macro was not found in the device .INF file section."},
    {656, "The <defaultoff> macro in the device .INF file section contains an undefined macro."},
    {657, "The device .INF file could not be opened."},
    {658, "The device name in the device .INF or media .INI file is too long."},
    {659, "The media .INI file refers to an unknown device name."},
    {660, "The device .INF file contains no responses for the command."},
    {661, "The device .INF file is missing a command."},
    {662, "Attempted to set a macro not listed in device .INF file section."},
    {663, "The media .INI file refers to an unknown device type."},
    {664, "Cannot allocate memory."},
    {665, "The port is not configured for Remote Access."},
    {666, "Your modem (or other connecting device) is not functioning."},
    {667, "Cannot read the media .INI file."},
    {668, "The connection dropped."},
    {669, "The usage parameter in the media .INI file is invalid."},
    {670, "Cannot read the section name from the media .INI file."},
    {671, "Cannot read the device type from the media .INI file."},
    {672, "Cannot read the device name from the media .INI file."},
    {673, "Cannot read the usage from the media .INI file."},
    {674, "Cannot read the maximum connection BPS rate from the media .INI file."},
    {675, "Cannot read the maximum carrier BPS rate from the media .INI file."},
    {676, "The line is busy."},
    {677, "A person answered instead of a modem."},
    {678, "There is no answer."},
    {679, "Cannot detect carrier."},
    {680, "There is no dial tone."},
    {681, "General error reported by device."},
    {691, "Access denied because username and/or password is invalid on the domain."},
    {692, "Hardware failure in port or attached device."},
    {698, "A response keyname in the device .INF file is not in the expected format."},
    {699, "The device response caused buffer overflow."},
    {700, "The expanded command in the device .INF file is too long."},
    {701, "The device moved to a BPS rate not supported by the COM driver."},
    {702, "Device response received when none expected."},
    {703, "The connection needs information from you, but the application does not allow user interaction."},
    {704, "The callback number is invalid."},
    {705, "The authorization state is invalid."},
    {707, "X.25 diagnostic indication."},
    {708, "The account has expired."},
    {709, "Error changing password on domain."},
    {710, "Serial overrun errors were detected while communicating with your modem."},
};

const char* FindErrorText(UINT code) {
  for (const ErrorText& e : kErrorTexts) {
    if (e.code == code) return e.text;
  }
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// The calls

DWORD WINAPI RasDialA(RASDIALEXTENSIONS* lpRasDialExtensions, LPCSTR lpszPhonebook, RASDIALPARAMSA* lpRasDialParams,
                      DWORD dwNotifierType, LPVOID lpvNotifier, LPHRASCONN lphRasConn) {
  if (lpRasDialParams == nullptr || lphRasConn == nullptr) return ERROR_INVALID_PARAMETER;
  if (lpRasDialParams->dwSize != sizeof(RASDIALPARAMSA)) return kErrorInvalidSize;
  if (lpRasDialExtensions != nullptr && lpRasDialExtensions->dwSize != sizeof(RASDIALEXTENSIONS)) {
    return kErrorInvalidSize;
  }
  if (lpvNotifier != nullptr && dwNotifierType != 0 && dwNotifierType != 1) return ERROR_NOT_SUPPORTED;

  // The number: the one given, else the named entry's.
  const std::string entry = FieldText(lpRasDialParams->szEntryName);
  std::string number = FieldText(lpRasDialParams->szPhoneNumber);
  if (!entry.empty()) {
    world::IniFile book;
    std::string path;
    if (DWORD rc = LoadPhonebook(lpszPhonebook, &book, &path)) return rc;
    const std::string section = EntrySection(book, entry);
    if (section.empty()) return kErrorCannotFindPhonebookEntry;
    if (number.empty()) number = book.Get(section, "PhoneNumber");
  }
  world::Journal("dial " + number + " user=" + FieldText(lpRasDialParams->szUserName));

  auto dial = std::make_shared<Dial>();
  dial->scenario = LoadScenario(number);
  if (dial->scenario.refuse != 0) return dial->scenario.refuse;

  dial->id = NewConnectionId();
  if (dial->id == 0) return ERROR_WRITE_FAULT;
  // The notifier's address is a plain function pointer of the type's
  // signature; it goes through void* to say so.
  if (dwNotifierType == 1) {
    dial->notifier1 = reinterpret_cast<RASDIALFUNC1>(lpvNotifier);
  } else {
    dial->notifier = reinterpret_cast<RASDIALFUNC>(lpvNotifier);
  }
  dial->connections_path = ConnectionsPath();
  dial->connection.id = dial->id;
  // A connection made without an entry is known by "." and its number.
  dial->connection.entry = entry.empty() ? "." + number : entry;
  dial->connection.number = number;
  dial->connection.local_ip = dial->scenario.local_ip;
  dial->connection.remote_ip = dial->scenario.remote_ip;
  dial->connection.speed = dial->scenario.speed;
  *lphRasConn = IdHandle(dial->id);
  Dials().Add(dial);

  if (dial->notifier == nullptr && dial->notifier1 == nullptr) return RunDialSynchronously(*dial);
  if (!dial->scenario.silent) dial->Start();
  return 0;
}

DWORD WINAPI RasHangUpA(HRASCONN hrasconn) {
  const DWORD id = HandleId(hrasconn);
  if (id == 0) return ERROR_INVALID_HANDLE;
  std::shared_ptr<Dial> dial = Dials().Take(id);
  std::string path = ConnectionsPath();
  if (dial != nullptr) {
    path = dial->connections_path;
    if (dial->scenario.callback_after_hangup) {
      dial->hung_up = true;  // it goes on notifying, but makes no connection
    } else {
      dial->StopAndJoin(false);
    }
  }
  const DWORD removed = RemoveConnection(path, id);
  if (removed == ERROR_WRITE_FAULT || (dial == nullptr && removed != 0)) return removed;
  world::Journal("hangup " + std::to_string(id));
  return 0;
}

DWORD WINAPI RasGetErrorStringA(UINT uErrorValue, LPSTR lpszErrorString, DWORD cBufSize) {
  if (lpszErrorString == nullptr) return ERROR_INVALID_PARAMETER;
  const char* text = FindErrorText(uErrorValue);
  if (text == nullptr) return ERROR_INVALID_PARAMETER;
  const size_t length = std::strlen(text);
  if (cBufSize < length + 1) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(lpszErrorString, text, length + 1);
  return 0;
}

DWORD WINAPI RasEnumConnectionsA(RASCONNA* lprasconn, LPDWORD lpcb, LPDWORD lpcConnections) {
  if (lpcb == nullptr || lpcConnections == nullptr) return ERROR_INVALID_PARAMETER;
  if (lprasconn != nullptr && lprasconn->dwSize != sizeof(RASCONNA)) return kErrorInvalidSize;
  const std::vector<Connection> list = ListConnections();
  const DWORD needed = static_cast<DWORD>(list.size() * sizeof(RASCONNA));
  if (lprasconn == nullptr || *lpcb < needed) {
    if (list.empty()) {
      *lpcb = 0;
      *lpcConnections = 0;
      return 0;
    }
    *lpcb = needed;
    *lpcConnections = 0;
    return kErrorBufferTooSmall;
  }
  for (size_t i = 0; i < list.size(); ++i) {
    RASCONNA& record = lprasconn[i];
    std::memset(&record, 0, sizeof record);
    record.dwSize = sizeof record;
    record.hrasconn = IdHandle(list[i].id);
    SetField(record.szEntryName, list[i].entry);
    SetField(record.szDeviceType, "modem");
    SetField(record.szDeviceName, "Standard Modem");
  }
  *lpcb = needed;
  *lpcConnections = static_cast<DWORD>(list.size());
  return 0;
}

DWORD WINAPI RasGetProjectionInfoA(HRASCONN hrasconn, int rasprojection, LPVOID lpprojection, LPDWORD lpcb) {
  if (lpprojection == nullptr || lpcb == nullptr) return ERROR_INVALID_PARAMETER;
  const DWORD id = HandleId(hrasconn);
  const std::optional<Connection> connection = id == 0 ? std::nullopt : FindConnection(id);
  if (!connection) {
    // A dial of this process that has not (or not yet) connected.
    return id != 0 && Dials().Find(id) != nullptr ? kErrorProjectionNotComplete : ERROR_INVALID_HANDLE;
  }
  if (rasprojection != RASP_PppIp) return kErrorProtocolNotConfigured;
  if (*lpcb < sizeof(RASPPPIPA)) {
    *lpcb = sizeof(RASPPPIPA);
    return kErrorBufferTooSmall;
  }
  auto* ip = static_cast<RASPPPIPA*>(lpprojection);
  if (ip->dwSize != sizeof(RASPPPIPA)) return kErrorInvalidSize;
  ip->dwError = 0;
  SetField(ip->szIpAddress, connection->local_ip);
  SetField(ip->szServerIpAddress, connection->remote_ip);
  *lpcb = sizeof(RASPPPIPA);
  return 0;
}

DWORD WINAPI RasGetConnectionStatistics(HRASCONN hRasConn, RAS_STATS* lpStatistics) {
  if (lpStatistics == nullptr) return ERROR_INVALID_PARAMETER;
  if (lpStatistics->dwSize != sizeof(RAS_STATS)) return kErrorInvalidSize;
  const DWORD id = HandleId(hRasConn);
  const std::optional<Connection> connection = id == 0 ? std::nullopt : FindConnection(id);
  if (!connection) return ERROR_INVALID_HANDLE;
  std::memset(lpStatistics, 0, sizeof(RAS_STATS));
  lpStatistics->dwSize = sizeof(RAS_STATS);
  lpStatistics->dwBps = connection->speed;
  return 0;
}

DWORD WINAPI RasGetEntryDialParamsA(LPCSTR lpszPhonebook, RASDIALPARAMSA* lprasdialparams, LPBOOL lpfPassword) {
  if (lprasdialparams == nullptr || lpfPassword == nullptr) return ERROR_INVALID_PARAMETER;
  if (lprasdialparams->dwSize != sizeof(RASDIALPARAMSA)) return kErrorInvalidSize;
  world::IniFile book;
  std::string path;
  if (DWORD rc = LoadPhonebook(lpszPhonebook, &book, &path)) return rc;
  const std::string entry = EntrySection(book, FieldText(lprasdialparams->szEntryName));
  if (entry.empty()) return kErrorCannotFindPhonebookEntry;

  const world::IniFile ras = world::IniFile::Load(ScenarioPath());
  const std::string section = "credentials:" + entry;
  const std::string password = ras.Get(section, "password", kAbsent);
  SetField(lprasdialparams->szUserName, ras.Get(section, "user"));
  SetField(lprasdialparams->szDomain, ras.Get(section, "domain"));
  SetField(lprasdialparams->szPassword, password == kAbsent ? "" : password);
  *lpfPassword = password == kAbsent ? FALSE : TRUE;
  return 0;
}

DWORD WINAPI RasEnumEntriesA(LPCSTR reserved, LPCSTR lpszPhonebook, RASENTRYNAMEA* lprasentryname, LPDWORD lpcb,
                             LPDWORD lpcEntries) {
  if (reserved != nullptr || lpcb == nullptr || lpcEntries == nullptr) return ERROR_INVALID_PARAMETER;
  if (lprasentryname != nullptr && lprasentryname->dwSize != sizeof(RASENTRYNAMEA)) return kErrorInvalidSize;
  world::IniFile book;
  std::string path;
  if (DWORD rc = LoadPhonebook(lpszPhonebook, &book, &path)) return rc;
  const auto& sections = book.Sections();
  const DWORD needed = static_cast<DWORD>(sections.size() * sizeof(RASENTRYNAMEA));
  if (lprasentryname == nullptr || *lpcb < needed) {
    if (sections.empty()) {
      *lpcb = 0;
      *lpcEntries = 0;
      return 0;
    }
    *lpcb = needed;
    *lpcEntries = 0;
    return kErrorBufferTooSmall;
  }
  for (size_t i = 0; i < sections.size(); ++i) {
    std::memset(&lprasentryname[i], 0, sizeof(RASENTRYNAMEA));
    lprasentryname[i].dwSize = sizeof(RASENTRYNAMEA);
    SetField(lprasentryname[i].szEntryName, sections[i].first);
  }
  *lpcb = needed;
  *lpcEntries = static_cast<DWORD>(sections.size());
  return 0;
}

// There is no dialog here: the ras.ini section [phonebook] says what the
// user would have entered (create_name, create_number).
DWORD WINAPI RasCreatePhonebookEntryA(HWND hwnd, LPCSTR lpszPhonebook) {
  (void)hwnd;
  const world::IniFile ras = world::IniFile::Load(ScenarioPath());
  const std::string name = ras.Get("phonebook", "create_name");
  if (name.empty()) {
    world::Journal("phonebook create");
    return 0;
  }
  const std::string path = PhonebookPath(lpszPhonebook);
  WorldFileLock lock(path);
  world::IniFile book = world::IniFile::Load(path);
  book.Set(name, "PhoneNumber", ras.Get("phonebook", "create_number"));
  if (!book.Save(path)) return kErrorCannotWritePhonebook;
  world::Journal("phonebook create " + name);
  return 0;
}

// The user's change, if any, is ras.ini [phonebook] edit_number: the entry's
// new number.
DWORD WINAPI RasEditPhonebookEntryA(HWND hwnd, LPCSTR lpszPhonebook, LPCSTR lpszEntryName) {
  (void)hwnd;
  if (lpszEntryName == nullptr) return ERROR_INVALID_PARAMETER;
  world::Journal(std::string("phonebook edit ") + lpszEntryName);
  world::IniFile book;
  std::string path;
  if (DWORD rc = LoadPhonebook(lpszPhonebook, &book, &path)) return rc;
  const std::string section = EntrySection(book, lpszEntryName);
  if (section.empty()) return kErrorCannotFindPhonebookEntry;
  const world::IniFile ras = world::IniFile::Load(ScenarioPath());
  const std::string number = ras.Get("phonebook", "edit_number", kAbsent);
  if (number == kAbsent) return 0;
  WorldFileLock lock(path);
  book = world::IniFile::Load(path);
  book.Set(section, "PhoneNumber", number);
  return book.Save(path) ? 0 : kErrorCannotWritePhonebook;
}

DWORD WINAPI RasDeleteEntryA(LPCSTR lpszPhonebook, LPCSTR lpszEntry) {
  if (lpszEntry == nullptr) return ERROR_INVALID_PARAMETER;
  world::IniFile book;
  std::string path;
  if (DWORD rc = LoadPhonebook(lpszPhonebook, &book, &path)) return rc;
  WorldFileLock lock(path);
  book = world::IniFile::Load(path);
  const std::string section = EntrySection(book, lpszEntry);
  if (section.empty()) return kErrorCannotFindPhonebookEntry;
  book.RemoveSection(section);
  if (!book.Save(path)) return kErrorCannotWritePhonebook;
  world::Journal(std::string("phonebook delete ") + lpszEntry);
  return 0;
}

void RasSimStopAll() { Dials().StopAll(); }

#ifndef _WIN32
// ---------------------------------------------------------------------------
// The stand-in's library table: what GetProcAddress finds in the pseudo
// libraries "rasapi32.dll" and "rnaph.dll" (the latter, of the Windows 95
// family, offers only the phone-book deletion, under its plain name).

extern "C" {
int StandinAnchor_rasapi32 = 0;
}

namespace {

// A world read afresh under another directory ends the dials of the old
// one: a test's dials never report into the next test. The list of
// connections kept is read afresh too.
void StopDialsOfOtherWorlds() {
  Dials().StopOutside(ConnectionsPath());
  Connections().Forget();
}

const bool kRegistered = [] {
  StandinAddReloadHook(&StopDialsOfOtherWorlds);
  StandinRegisterProc("rasapi32.dll", "RasDialA", StandinProc(&RasDialA));
  StandinRegisterProc("rasapi32.dll", "RasHangUpA", StandinProc(&RasHangUpA));
  StandinRegisterProc("rasapi32.dll", "RasGetErrorStringA", StandinProc(&RasGetErrorStringA));
  StandinRegisterProc("rasapi32.dll", "RasEnumConnectionsA", StandinProc(&RasEnumConnectionsA));
  StandinRegisterProc("rasapi32.dll", "RasGetProjectionInfoA", StandinProc(&RasGetProjectionInfoA));
  StandinRegisterProc("rasapi32.dll", "RasGetEntryDialParamsA", StandinProc(&RasGetEntryDialParamsA));
  StandinRegisterProc("rasapi32.dll", "RasEnumEntriesA", StandinProc(&RasEnumEntriesA));
  StandinRegisterProc("rasapi32.dll", "RasCreatePhonebookEntryA", StandinProc(&RasCreatePhonebookEntryA));
  StandinRegisterProc("rasapi32.dll", "RasEditPhonebookEntryA", StandinProc(&RasEditPhonebookEntryA));
  StandinRegisterProc("rasapi32.dll", "RasDeleteEntryA", StandinProc(&RasDeleteEntryA));
  StandinRegisterProc("rasapi32.dll", "RasGetConnectionStatistics", StandinProc(&RasGetConnectionStatistics));
  StandinRegisterProc("rnaph.dll", "RasDeleteEntry", StandinProc(&RasDeleteEntryA));
  return true;
}();

}  // namespace
#endif

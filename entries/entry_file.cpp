// The entry file: reading, listing and changing entry blocks.
//
// Stored lines are framed so that every scrambled line survives the trip
// through the file (docs/entry_file.md): a stored line that holds byte 0,
// 10, 13 or 26 is written with each of these bytes as byte 26 followed by
// the byte XOR 64 ("@", "J", "M" or "Z"). Lines without those bytes are
// written as they are, so files that never needed the escape keep their
// exact bytes.
//
// The changing operations work on the stored lines and scramble only the
// lines they write anew: unscrambling a stored line and scrambling it again
// gives the same bytes, so the file they write is the one that loading,
// changing and saving the plain lines would write.
#include "entries/entry_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <initializer_list>

#include "entries/line_scrambler.h"
#include "shell/file_io.h"
#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/text_helpers.h"
#include "tools/event_log.h"

const char kEntryFileName[] = "vezuzaziz.ini";
const char kEntryLockSuffix[] = ".lock";

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kEscape = '\x1A';
constexpr unsigned char kEscapeFlip = 0x40;

EntryValues g_current;

// Byte classes, one table each: the bytes a stored line cannot hold as they
// are, and the bytes where each reader has to stop and look.
using ByteClass = std::array<bool, 256>;

constexpr ByteClass Class(std::initializer_list<char> members) {
  ByteClass c{};
  for (char m : members) c[static_cast<uint8_t>(m)] = true;
  return c;
}

constexpr ByteClass kNeedsFraming = Class({'\0', kLF, kCR, kEscape});
constexpr ByteClass kLineReaderStops = Class({kCR, kEscape});
constexpr ByteClass kWholeFileStops = Class({kCR, kLF, kEscape});

// The first position from `from` on that holds a byte of the class, or the
// size of the data.
size_t FindClass(std::string_view data, size_t from, const ByteClass& c) {
  while (from < data.size() && !c[static_cast<uint8_t>(data[from])]) ++from;
  return from;
}

bool IsEscapeLetter(char c) { return c == '@' || c == 'J' || c == 'M' || c == 'Z'; }

char Unescaped(char letter) { return static_cast<char>(static_cast<unsigned char>(letter) ^ kEscapeFlip); }

// Appends a stored line in its framed form, followed by CR LF.
void AppendFramedLine(std::string& out, std::string_view stored) {
  size_t start = 0;
  for (size_t i = FindClass(stored, 0, kNeedsFraming); i < stored.size();
       i = FindClass(stored, i + 1, kNeedsFraming)) {
    out.append(stored.data() + start, i - start);
    out.push_back(kEscape);
    out.push_back(static_cast<char>(static_cast<unsigned char>(stored[i]) ^ kEscapeFlip));
    start = i + 1;
  }
  out.append(stored.data() + start, stored.size() - start);
  out.push_back(kCR);
  out.push_back(kLF);
}

// Appends to a line that is cut to 255 bytes.
void AppendCut(std::string& line, std::string_view part) {
  if (line.size() < kMaxLineBytes) line.append(part.substr(0, kMaxLineBytes - line.size()));
}

// Zero bytes at the end of a file are no part of it: a file cut short by a
// crash can end in them. A zero byte with other bytes after it belongs to
// its line: files written before lines were framed can hold one inside a
// stored line.
std::string_view WithoutZeroTail(std::string_view data) {
  while (!data.empty() && data.back() == '\0') data.remove_suffix(1);
  return data;
}

// The line-by-line reader of ReadDialEntry and ListEntryNames: a line ends at
// CR, and one LF right after the CR is skipped (an LF anywhere else belongs
// to the line); byte 26 ends the file unless it starts an escape.
class LineReader {
 public:
  explicit LineReader(std::string_view data) : data_(WithoutZeroTail(data)) {}

  // The next stored line, unescaped and cut to 255 bytes; false at the end.
  bool Next(std::string& line) {
    line.clear();
    if (ended_ || at_ >= data_.size()) return false;
    if (data_[at_] == kEscape && !EscapeAt(at_)) {
      ended_ = true;
      return false;
    }
    for (;;) {
      const size_t run = FindClass(data_, at_, kLineReaderStops);
      AppendCut(line, data_.substr(at_, run - at_));
      at_ = run;
      if (at_ >= data_.size()) return true;
      if (data_[at_] == kCR) {
        ++at_;
        if (at_ < data_.size() && data_[at_] == kLF) ++at_;
        return true;
      }
      if (!EscapeAt(at_)) {  // a bare byte 26: the end of the file
        ended_ = true;
        return true;
      }
      const char byte = Unescaped(data_[at_ + 1]);
      AppendCut(line, std::string_view(&byte, 1));
      at_ += 2;
    }
  }

 private:
  bool EscapeAt(size_t i) const { return i + 1 < data_.size() && IsEscapeLetter(data_[i + 1]); }

  std::string_view data_;
  size_t at_ = 0;
  bool ended_ = false;
};

// The stored lines of a file as the changing operations see them. Lines are
// views: into the file's bytes where a line stands there as it is, else into
// `owned` (lines that held framed bytes, lines written anew).
// The views stay valid as long as the object, which therefore never moves.
struct StoredFile {
  explicit StoredFile(std::string file_bytes);
  StoredFile(const StoredFile&) = delete;
  StoredFile& operator=(const StoredFile&) = delete;

  std::string_view Own(std::string line) { return owned.emplace_back(std::move(line)); }

  const std::string bytes;
  std::deque<std::string> owned;
  std::vector<std::string_view> lines;
};

// The whole-file reader of the changing operations: CR, LF and CR LF each
// end a line; byte 26 starts an escape when an escape letter follows and is
// an ordinary byte otherwise. Lines come unescaped and cut to 255 bytes.
// (Ending the text at the first zero byte instead would drop every entry
// after a stored line that holds one at the next change.)
StoredFile::StoredFile(std::string file_bytes) : bytes(std::move(file_bytes)) {
  const std::string_view data = WithoutZeroTail(bytes);
  lines.reserve(static_cast<size_t>(std::count(data.begin(), data.end(), kLF)) + 1);
  size_t at = 0;
  while (at < data.size()) {
    size_t run = FindClass(data, at, kWholeFileStops);
    if (run >= data.size() || data[run] != kEscape) {
      lines.push_back(data.substr(at, std::min(run - at, kMaxLineBytes)));
    } else {
      std::string line;
      for (;;) {
        AppendCut(line, data.substr(at, run - at));
        if (run >= data.size() || data[run] != kEscape) break;
        char byte = kEscape;
        if (run + 1 < data.size() && IsEscapeLetter(data[run + 1])) byte = Unescaped(data[++run]);
        AppendCut(line, std::string_view(&byte, 1));
        at = run + 1;
        run = FindClass(data, at, kWholeFileStops);
      }
      lines.push_back(Own(std::move(line)));
    }
    at = run;
    if (at < data.size()) {
      if (data[at] == kCR && at + 1 < data.size() && data[at + 1] == kLF) ++at;
      ++at;
    }
  }
}

// Whether a stored line is a header line: its plain form starts with "[".
bool IsHeader(std::string_view stored) {
  return UnscrambledStartsWith(stored, '[', kScramblePasses);
}

// The exact rule: the stored line is a header line and its plain form
// without its first and last byte is the name, byte for byte.
bool HoldsExactName(std::string_view stored, const std::string& name) {
  const size_t inner = stored.size() >= 2 ? stored.size() - 2 : 0;
  if (inner != name.size() || !IsHeader(stored)) return false;
  const std::string plain = UnscrambleLine(stored, kScramblePasses);
  return plain.size() < 2 ? name.empty() : plain.compare(1, plain.size() - 2, name) == 0;
}

std::string Cut(std::string text) {
  if (text.size() > kMaxLineBytes) text.resize(kMaxLineBytes);
  return text;
}

// The entry's eight lines, scrambled, owned by the file.
std::vector<std::string_view> StoredBlock(StoredFile& file, const DialEntry& e) {
  const std::string plain[8] = {"[" + e.Name + "]",         "Login=" + e.Login,      "Password=" + e.Password,
                                "Domain=" + e.Domain,       "Numbers=" + e.Numbers,  "Interval=" + e.Interval,
                                "Tries=" + e.Tries,         "Callback=" + e.Callback};
  std::vector<std::string_view> block;
  block.reserve(8);
  for (const std::string& line : plain) block.push_back(file.Own(ScrambleLine(Cut(line), kScramblePasses)));
  return block;
}

template <typename Lines>
std::string FileTextFromStoredLines(const Lines& stored) {
  size_t size = 0;
  for (const auto& line : stored) size += line.size() + 2;
  std::string text;
  text.reserve(size + size / 16);
  for (const auto& line : stored) AppendFramedLine(text, line);
  return text;
}

void SaveStoredLines(const std::vector<std::string_view>& stored) {
  ReplaceFileContents(EntryFilePath(), FileTextFromStoredLines(stored));
}

// The file's bytes as a reader finds them. A save on the 95 family moves the
// old file aside for a moment before the new one takes its place: a reader
// that comes then reads the moved-aside file, which is whole.
std::string ReadEntryFileBytes() {
  const std::string path = EntryFilePath();
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    try {
      return ReadWholeFile(path);
    } catch (const IoError& e) {
      if (e.code() != ERROR_FILE_NOT_FOUND || attempt == kAttempts) throw;
      const std::string backup = BackupPathOf(path);
      try {
        if (FileExists(backup)) return ReadWholeFile(backup);
      } catch (const IoError&) {
        // Gone in the meantime: the new file is in place now.
      }
    }
  }
}

StoredFile LoadStoredFile() { return StoredFile(ReadEntryFileBytes()); }

// Held by every change for its read, change and write, so that changes of
// two processes (two host windows) follow one another instead of one
// overwriting the other: each change applies to the file as the previous
// one left it.
class ChangeLock {
 public:
  ChangeLock() : lock_(EntryFilePath() + kEntryLockSuffix, kEntryLockWaitMs, MEntryFileBusy) {
    // A save cut short (the process ended between its steps) is finished
    // before anything else reads the file.
    if (CompleteInterruptedReplace(EntryFilePath())) WriteLogLine(Msg(MEntrySaveCompleted));
  }

 private:
  FileLock lock_;
};

// The value rule. A value is everything after the first "=" that follows
// the key, so a value may hold "=" itself. A line with nothing before its
// first "=" keeps the word rule (word 2 with "=" as the delimiter), which
// gives the same as the first rule for every line the writers produce
// without "=" in the value.
std::string ValueOf(const std::string& plain) {
  const size_t equals = plain.find('=');
  if (equals != std::string::npos && equals > 0) return plain.substr(equals + 1);
  return NthWord(2, plain, Delimiters("="));
}

// Overwrites the blocks whose header holds `name` exactly with `block`;
// the scan uses the line count from before any change.
int OverwriteBlocks(std::vector<std::string_view>& stored, const std::string& name,
                    const std::vector<std::string_view>& block) {
  int matched = 0;
  const size_t count = stored.size();
  for (size_t i = 0; i < count; ++i) {
    if (!HoldsExactName(stored[i], name)) continue;
    // A block cut short by the end of the file gets its missing lines.
    if (stored.size() < i + block.size()) stored.resize(i + block.size());
    for (size_t j = 0; j < block.size(); ++j) stored[i + j] = block[j];
    ++matched;
  }
  return matched;
}

}  // namespace

std::string EntryFilePath() { return PluginDirectory() + kEntryFileName; }

const EntryValues& CurrentEntry() { return g_current; }

// For the tests, which declare it themselves: nothing in the plug-in needs
// the load-time state back.
void ResetCurrentEntry() { g_current = EntryValues{}; }

bool ReadDialEntry(const std::string& name) {
  const std::string data = ReadEntryFileBytes();
  std::string wanted = "[";
  wanted += LowerAscii(name);
  wanted += ']';
  if (wanted.size() > kMaxLineBytes) return false;  // no stored line is that long
  LineReader reader(data);
  std::string line;
  while (reader.Next(line)) {
    // The plain line has the stored line's length: only lines of the right
    // length that start with "[" need unscrambling in full.
    if (line.size() != wanted.size() || !IsHeader(line)) continue;
    if (LowerAscii(UnscrambleLine(line, kScramblePasses)) != wanted) continue;
    std::string values[7];
    for (std::string& value : values) {
      // A line missing because the file ends reads as an empty line.
      value = reader.Next(line) ? ValueOf(UnscrambleLine(line, kScramblePasses)) : std::string();
    }
    EntryValues e;
    e.Login = std::move(values[0]);
    e.Password = std::move(values[1]);
    e.Domain = std::move(values[2]);
    e.Numbers = std::move(values[3]);
    e.Interval = ParseInteger(values[4]).value_or(0);
    e.Tries = ParseInteger(values[5]).value_or(1);
    e.Callback = std::move(values[6]);
    g_current = std::move(e);
    return true;
  }
  return false;
}

std::string ListEntryNames() {
  const std::string data = ReadEntryFileBytes();
  LineReader reader(data);
  std::string names;
  std::string line;
  while (reader.Next(line)) {
    if (!IsHeader(line)) continue;
    const std::string plain = UnscrambleLine(line, kScramblePasses);
    if (plain.size() > 2) names.append(plain, 1, plain.size() - 2);
    names.push_back(',');
  }
  if (!names.empty() && names.back() == ',') names.pop_back();
  return names;
}

void AppendDialEntry(const DialEntry& entry) {
  ChangeLock lock;
  StoredFile file = LoadStoredFile();
  for (std::string_view line : StoredBlock(file, entry)) file.lines.push_back(line);
  SaveStoredLines(file.lines);
}

int ReplaceDialEntry(const DialEntry& entry) {
  ChangeLock lock;
  StoredFile file = LoadStoredFile();
  const int matched = OverwriteBlocks(file.lines, entry.Name, StoredBlock(file, entry));
  SaveStoredLines(file.lines);
  return matched;
}

int RenameDialEntry(const std::string& old_name, const DialEntry& entry) {
  ChangeLock lock;
  StoredFile file = LoadStoredFile();
  if (entry.Name != old_name) {
    for (std::string_view line : file.lines) {
      if (HoldsExactName(line, entry.Name)) return kNameTaken;
    }
  }
  const int matched = OverwriteBlocks(file.lines, old_name, StoredBlock(file, entry));
  if (matched > 0) SaveStoredLines(file.lines);
  return matched;
}

int DeleteDialEntry(const std::string& name) {
  ChangeLock lock;
  StoredFile file = LoadStoredFile();
  const std::vector<std::string_view>& stored = file.lines;
  std::vector<bool> removed(stored.size(), false);
  int matched = 0;
  for (size_t i = 0; i < stored.size(); ++i) {
    if (!HoldsExactName(stored[i], name)) continue;
    for (size_t j = i; j < stored.size() && j < i + 8; ++j) removed[j] = true;
    ++matched;
  }
  std::vector<std::string_view> kept;
  kept.reserve(stored.size());
  for (size_t i = 0; i < stored.size(); ++i) {
    if (!removed[i]) kept.push_back(stored[i]);
  }
  SaveStoredLines(kept);
  return matched;
}

bool HasExactEntry(const std::string& name) {
  const StoredFile file = LoadStoredFile();
  for (std::string_view line : file.lines) {
    if (HoldsExactName(line, name)) return true;
  }
  return false;
}

std::vector<std::string> PlainLinesFromFileText(const std::string& text) {
  const StoredFile file(text);
  std::vector<std::string> plain;
  plain.reserve(file.lines.size());
  for (std::string_view line : file.lines) plain.push_back(UnscrambleLine(line, kScramblePasses));
  return plain;
}

std::string FileTextFromPlainLines(const std::vector<std::string>& lines) {
  std::vector<std::string> stored;
  ScrambleLines(lines, stored);
  return FileTextFromStoredLines(stored);
}

bool EntryFileExists() {
  const std::string path = EntryFilePath();
  return FileExists(path) || FileExists(BackupPathOf(path));
}

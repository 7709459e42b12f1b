// The entry file: reading, listing and changing entry blocks.
//
// Stored lines are framed so that every scrambled line survives the trip
// through the file (docs/entry_file.md): a stored line that holds byte 0,
// 10, 13 or 26 is written with each of these bytes as byte 26 followed by
// the byte XOR 64 ("@", "J", "M" or "Z"). Lines without those bytes are
// written as they are, so files that never needed the escape keep their
// exact bytes.
//
// Every operation reads the whole file and splits it into its stored lines.
// A change unscrambles them all, changes the list of plain lines and writes
// every line back scrambled and framed: scrambling an unscrambled line gives
// its stored bytes again, so the lines a change leaves alone come back as
// they stood (framed as a writer frames them, cut to 255 bytes).
#include "entries/entry_file.h"

#include <algorithm>
#include <string_view>
#include <utility>

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
constexpr size_t kBlockLines = 8;

EntryValues g_current;

// How the two readers split a file into lines. Both end a line at CR and
// skip one LF right after it, decode byte 26 before an escape letter, and
// cut each line to 255 bytes.
enum class LineRule {
  // ReadDialEntry and ListEntryNames: an LF anywhere else belongs to its
  // line, and any other byte 26 ends the file.
  kLineByLine,
  // The changes: an LF ends a line by itself too, and any other byte 26 is
  // an ordinary byte. (Ending the text at a zero byte instead would drop
  // every entry after a stored line that holds one at the next change.)
  kWholeFile,
};

bool IsEscapeLetter(char c) { return c == '@' || c == 'J' || c == 'M' || c == 'Z'; }

bool NeedsFraming(char c) { return c == '\0' || c == kLF || c == kCR || c == kEscape; }

std::string Cut(std::string text) {
  if (text.size() > kMaxLineBytes) text.resize(kMaxLineBytes);
  return text;
}

// The stored lines of a file. Zero bytes at the end of a file are no part
// of it (a file cut short by a crash can end in them); a zero byte with
// other bytes after it belongs to its line, as older writers stored it.
std::vector<std::string> StoredLines(std::string_view data, LineRule rule) {
  while (!data.empty() && data.back() == '\0') data.remove_suffix(1);
  std::vector<std::string> lines;
  std::string line;
  bool in_line = false;
  for (size_t i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c == kCR || (c == kLF && rule == LineRule::kWholeFile)) {
      if (c == kCR && i + 1 < data.size() && data[i + 1] == kLF) ++i;
      lines.push_back(Cut(std::move(line)));
      line.clear();
      in_line = false;
      continue;
    }
    const bool escape = c == kEscape && i + 1 < data.size() && IsEscapeLetter(data[i + 1]);
    if (c == kEscape && !escape && rule == LineRule::kLineByLine) break;  // the end of the file
    line.push_back(escape ? static_cast<char>(static_cast<unsigned char>(data[++i]) ^ kEscapeFlip) : c);
    in_line = true;
  }
  if (in_line) lines.push_back(Cut(std::move(line)));
  return lines;
}

// Appends a stored line in its framed form, followed by CR LF.
void AppendFramedLine(std::string& out, std::string_view stored) {
  for (const char c : stored) {
    if (NeedsFraming(c)) {
      out.push_back(kEscape);
      out.push_back(static_cast<char>(static_cast<unsigned char>(c) ^ kEscapeFlip));
    } else {
      out.push_back(c);
    }
  }
  out.push_back(kCR);
  out.push_back(kLF);
}

std::vector<std::string> Unscrambled(std::vector<std::string> lines) {
  for (std::string& line : lines) line = UnscrambleLine(line, kScramblePasses);
  return lines;
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

std::vector<std::string> LoadPlain() { return Unscrambled(StoredLines(ReadEntryFileBytes(), LineRule::kWholeFile)); }

void SavePlain(const std::vector<std::string>& plain) {
  ReplaceFileContents(EntryFilePath(), FileTextFromPlainLines(plain));
}

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

// The exact rule: a header line (its first byte "[") whose text without its
// first and last byte is the name, byte for byte.
bool HoldsExactName(const std::string& plain, const std::string& name) {
  if (plain.empty() || plain[0] != '[') return false;
  return plain.size() < 2 ? name.empty() : plain.compare(1, plain.size() - 2, name) == 0;
}

bool AnyHoldsExactName(const std::vector<std::string>& plain, const std::string& name) {
  return std::any_of(plain.begin(), plain.end(), [&](const std::string& line) { return HoldsExactName(line, name); });
}

std::vector<std::string> BlockOf(const DialEntry& e) {
  return {"[" + e.Name + "]",     "Login=" + e.Login,       "Password=" + e.Password, "Domain=" + e.Domain,
          "Numbers=" + e.Numbers, "Interval=" + e.Interval, "Tries=" + e.Tries,       "Callback=" + e.Callback};
}

// Overwrites the blocks whose header holds `name` exactly with the entry's
// eight lines; a block cut short by the end of the file is completed. The
// lines a block overwrote are keyed lines, never headers, so the scan goes
// on over them.
int OverwriteBlocks(std::vector<std::string>& plain, const std::string& name, const DialEntry& entry) {
  const std::vector<std::string> block = BlockOf(entry);
  const size_t count = plain.size();
  int matched = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!HoldsExactName(plain[i], name)) continue;
    plain.resize(std::max(plain.size(), i + kBlockLines));
    std::copy(block.begin(), block.end(), plain.begin() + static_cast<std::ptrdiff_t>(i));
    ++matched;
  }
  return matched;
}

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

// The seven values of the block whose header is line `header`; a line
// missing because the file ends reads as an empty line.
EntryValues ValuesAfter(const std::vector<std::string>& stored, size_t header) {
  std::string values[kBlockLines - 1];
  for (size_t j = 0; j < kBlockLines - 1; ++j) {
    const size_t at = header + 1 + j;
    if (at < stored.size()) values[j] = ValueOf(UnscrambleLine(stored[at], kScramblePasses));
  }
  EntryValues e;
  e.Login = std::move(values[0]);
  e.Password = std::move(values[1]);
  e.Domain = std::move(values[2]);
  e.Numbers = std::move(values[3]);
  e.Interval = ParseInteger(values[4]).value_or(0);
  e.Tries = ParseInteger(values[5]).value_or(1);
  e.Callback = std::move(values[6]);
  return e;
}

}  // namespace

std::string EntryFilePath() { return PluginDirectory() + kEntryFileName; }

const EntryValues& CurrentEntry() { return g_current; }

// For the tests, which declare it themselves: nothing in the plug-in needs
// the load-time state back.
void ResetCurrentEntry() { g_current = EntryValues{}; }

bool ReadDialEntry(const std::string& name) {
  const std::string wanted = "[" + LowerAscii(name) + "]";
  const std::vector<std::string> stored = StoredLines(ReadEntryFileBytes(), LineRule::kLineByLine);
  for (size_t i = 0; i < stored.size(); ++i) {
    // A plain line has its stored line's length: only lines of the right
    // length can match.
    if (stored[i].size() != wanted.size()) continue;
    if (LowerAscii(UnscrambleLine(stored[i], kScramblePasses)) != wanted) continue;
    g_current = ValuesAfter(stored, i);
    return true;
  }
  return false;
}

std::string ListEntryNames() {
  std::string names;
  for (const std::string& plain : Unscrambled(StoredLines(ReadEntryFileBytes(), LineRule::kLineByLine))) {
    if (plain.empty() || plain[0] != '[') continue;
    if (plain.size() > 2) names.append(plain, 1, plain.size() - 2);
    names.push_back(',');
  }
  if (!names.empty()) names.pop_back();
  return names;
}

void AppendDialEntry(const DialEntry& entry) {
  const ChangeLock lock;
  std::vector<std::string> plain = LoadPlain();
  for (std::string& line : BlockOf(entry)) plain.push_back(std::move(line));
  SavePlain(plain);
}

int ReplaceDialEntry(const DialEntry& entry) {
  const ChangeLock lock;
  std::vector<std::string> plain = LoadPlain();
  const int matched = OverwriteBlocks(plain, entry.Name, entry);
  SavePlain(plain);
  return matched;
}

int RenameDialEntry(const std::string& old_name, const DialEntry& entry) {
  const ChangeLock lock;
  std::vector<std::string> plain = LoadPlain();
  if (entry.Name != old_name && AnyHoldsExactName(plain, entry.Name)) return kNameTaken;
  const int matched = OverwriteBlocks(plain, old_name, entry);
  if (matched > 0) SavePlain(plain);
  return matched;
}

int DeleteDialEntry(const std::string& name) {
  const ChangeLock lock;
  const std::vector<std::string> plain = LoadPlain();
  // Every line of the file as it was is tested, also those inside a block
  // already removed: a header there removes its own eight lines too.
  std::vector<std::string> kept;
  size_t removed_until = 0;
  int matched = 0;
  for (size_t i = 0; i < plain.size(); ++i) {
    if (HoldsExactName(plain[i], name)) {
      removed_until = i + kBlockLines;
      ++matched;
    }
    if (i >= removed_until) kept.push_back(plain[i]);
  }
  SavePlain(kept);
  return matched;
}

bool HasExactEntry(const std::string& name) { return AnyHoldsExactName(LoadPlain(), name); }

std::vector<std::string> PlainLinesFromFileText(const std::string& text) {
  return Unscrambled(StoredLines(text, LineRule::kWholeFile));
}

std::string FileTextFromPlainLines(const std::vector<std::string>& lines) {
  std::vector<std::string> stored;
  ScrambleLines(lines, stored);
  std::string text;
  for (const std::string& line : stored) AppendFramedLine(text, line);
  return text;
}

bool EntryFileExists() {
  const std::string path = EntryFilePath();
  return FileExists(path) || FileExists(BackupPathOf(path));
}

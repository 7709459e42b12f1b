// The entry file "vezuzaziz.ini" in the plug-in directory: the user's dial
// entries, one block of eight scrambled lines each, and the current entry
// that reading one of them fills. The stored format is described in
// docs/entry_file.md.
//
// Every operation reads the whole file with ReadWholeFile; the changing ones
// write it back whole with ReplaceFileContents, so the old file stays intact
// when a write fails, and a reader always sees a whole old or a whole new
// file. Each change (append, replace, rename, delete) holds the entry
// file's lock ("vezuzaziz.ini.lock" beside it) from its read to its write,
// so that changes made by two host windows at once both land; a
// lock that another process holds for longer than kEntryLockWaitMs raises
// PluginError with message MEntryFileBusy and changes nothing. A file that
// cannot be read or written raises IoError (shell/file_io.h), one that is
// not a regular file or is too large PluginError; nothing here catches them.
// The file is never created here: a missing file is an IoError for every
// operation. Host's thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The file's bare name and its full path (PluginDirectory() + the name).
extern const char kEntryFileName[];
std::string EntryFilePath();
// What is appended to the entry file's path to name its lock file.
extern const char kEntryLockSuffix[];
// How long a change waits for the lock that another process holds.
constexpr unsigned kEntryLockWaitMs = 5000;
// Whether the entry file exists, or only its moved-aside copy that a save cut
// short on the 95 family left (the next change puts it back).
bool EntryFileExists();

// One entry as the changing operations write it. Interval and Tries are the
// texts the caller gives; they are stored as given, not re-formatted.
struct DialEntry {
  std::string Name;
  std::string Login;     // ANSI
  std::string Password;  // ANSI
  std::string Domain;    // ANSI
  std::string Numbers;
  std::string Interval;
  std::string Tries;
  std::string Callback;
};

// The seven values of one entry as ReadDialEntry loads them.
struct EntryValues {
  std::string Login;
  std::string Password;
  std::string Domain;
  std::string Numbers;
  int32_t Interval = 0;  // 0 when the stored text is not an integer
  int32_t Tries = 0;     // 1 when the stored text is not an integer
  std::string Callback;
};

// The current entry: the values of the last successful ReadDialEntry (empty
// texts and zeros before the first). Read it right after ReadDialEntry
// returned true; it stays valid until the next ReadDialEntry.
const EntryValues& CurrentEntry();

// Finds the first block whose header line is "[" + name + "]" with the
// letters A-Z compared without regard to case, and loads its seven values
// into the current entry; values missing at the end of a damaged file read
// as empty. Returns false, leaving the current entry as it was, when no
// block has the name.
bool ReadDialEntry(const std::string& name);

// The names of all header lines in file order joined by ","; empty when the
// file has none (a name that occurs twice is listed twice).
std::string ListEntryNames();

// Adds a block for the entry at the end of the file (also when a block of
// the same name exists).
void AppendDialEntry(const DialEntry& entry);
// Overwrites every block whose header line holds entry.Name exactly (case
// counts) with the entry's eight lines; a block cut short by the end of the
// file is completed. Writes the file back also when nothing matched.
// Returns the number of blocks overwritten.
int ReplaceDialEntry(const DialEntry& entry);
// Overwrites the blocks whose header line holds `old_name` exactly with the
// entry's eight lines, entry.Name included: renames those blocks. Writes
// nothing when no block has `old_name`, nor, returning kNameTaken, when
// another block already holds entry.Name exactly. Returns the number of
// blocks changed.
constexpr int kNameTaken = -1;
int RenameDialEntry(const std::string& old_name, const DialEntry& entry);
// Removes every block whose header line holds the name exactly (those of its
// eight lines that exist). Writes the file back also when nothing matched.
// Returns the number of blocks removed.
int DeleteDialEntry(const std::string& name);
// Whether a block's header line holds the name exactly.
bool HasExactEntry(const std::string& name);

// For tools and tests: the plain lines a file of these bytes holds (split,
// each cut to 255 bytes and unscrambled), and the bytes a file of these
// plain lines holds (each cut to 255 bytes, scrambled, framed and ended by
// CR LF).
std::vector<std::string> PlainLinesFromFileText(const std::string& text);
std::string FileTextFromPlainLines(const std::vector<std::string>& lines);

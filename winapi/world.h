// The stand-in's world: the directory, named by the environment variable
// WINAPI_WORLD, whose plain text files hold everything the stand-in's
// Windows calls read and change (registry.reg, system.ini, services.ini,
// ras.ini, windows.ini, rasphone.pbk, connections, journal.log).
//
// Every function here may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace world {

// The world directory (from WINAPI_WORLD; "./winworld" when unset), created
// on first use. No trailing slash.
std::string Dir();
// Dir() + "/" + name.
std::string FilePath(const std::string& name);

// Appends one line (without its line end) to journal.log: every outward
// effect the world saw ("sound Z:\...\connect.wav", "title Dialling 222").
void Journal(const std::string& line);

// A Windows path as a path of this machine: "Z:\a\b" becomes "/a/b",
// any other drive letter "X:\a" becomes "<world>/drive_x/a", and every
// backslash a slash; relative paths stay relative.
std::string HostPath(const std::string& windows_path);
// The reverse for absolute paths of this machine: "/a/b" becomes "Z:\a\b".
std::string WindowsPath(const std::string& host_path);

// What tells one version of a file from another without reading it: its
// size, its modification and change times in nanoseconds, and the file's
// number on its volume. Every save replaces a file by a new one (a new
// number) and every change moves the times, so a stamp equal to one taken
// earlier says the file is as it was then. `known` is false where the system
// cannot say (no such file, or a file system without file numbers): such a
// stamp matches no other.
struct FileStamp {
  bool known = false;
  uint64_t size = 0;
  uint64_t modified_ns = 0;
  uint64_t changed_ns = 0;
  uint64_t volume = 0;
  uint64_t file_number = 0;
};
FileStamp Stamp(const std::string& path);
// Whether two stamps say the same version of a file (both known).
bool SameVersion(const FileStamp& a, const FileStamp& b);

// A small INI file: sections and keys in file order, names compared without
// regard to ASCII case, values taken as the text after the first "=" with
// blanks around it trimmed. Lines starting with ";" or "#" are comments; they
// are kept, each at the head of the section it stood in. A repeated section
// adds to the first, a repeated key replaces the earlier value.
//
// Reading takes time linear in the size of the text; looking a section up
// takes constant time, a key time linear in the size of its section.
//
// A line that is none of these (text before the first section, a line
// without "=", an unclosed "[") is not understood. An IniFile read with such
// a line refuses to be saved: Save fails, writes nothing and journals a line
// naming the file, so that a rewrite never drops what the reader skipped.
class IniFile {
 public:
  using Section = std::pair<std::string, std::vector<std::pair<std::string, std::string>>>;

  // Loads the file; a missing file gives an empty IniFile.
  static IniFile Load(const std::string& path);
  static IniFile Parse(const std::string& text);
  // Writes the file atomically (temporary file, then rename); false, with
  // the file as it was, when that fails or the text had a line not understood.
  bool Save(const std::string& path) const;
  std::string Text() const;
  // Keeps the text from now on, so that each Text() and Save() need not
  // build it again: RemoveSection cuts the section out of the kept text in
  // time linear in its bytes; any other change drops it (and the next
  // KeepText builds it again). For a large file saved after every removal.
  void KeepText();
  // The number (from 1) of the first line not understood; 0 when none was.
  size_t FirstLineNotUnderstood() const { return not_understood_; }

  const std::vector<Section>& Sections() const { return sections_; }
  bool HasSection(const std::string& section) const;
  // The value, or `fallback` when the section or key is missing.
  std::string Get(const std::string& section, const std::string& key, const std::string& fallback = "") const;
  long GetInt(const std::string& section, const std::string& key, long fallback) const;
  void Set(const std::string& section, const std::string& key, const std::string& value);
  void RemoveSection(const std::string& section);
  void RemoveKey(const std::string& section, const std::string& key);

 private:
  // Position in sections_ of the section, or sections_.size() when absent.
  size_t Find(const std::string& section) const;
  size_t Append(const std::string& section);
  // False (with a journal line) when a save would drop a line not understood.
  bool MaySave(const std::string& path) const;
  // The text; with `starts`, where each section's "[" is in it.
  std::string BuildText(std::vector<size_t>* starts) const;
  void DropText() { text_kept_ = false; }

  std::vector<Section> sections_;
  std::vector<std::vector<std::string>> comments_;  // per section, in step with sections_
  std::vector<std::string> leading_comments_;       // before the first section
  std::unordered_map<std::string, size_t> index_;   // lower-case name -> position
  size_t not_understood_ = 0;
  bool text_kept_ = false;
  std::string kept_text_;
  std::vector<size_t> kept_starts_;  // per section, in step with sections_
};

}  // namespace world

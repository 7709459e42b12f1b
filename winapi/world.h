// The stand-in's world: the directory, named by the environment variable
// WINAPI_WORLD, whose plain text files hold everything the stand-in's
// Windows calls read and change (registry.reg, system.ini, services.ini,
// ras.ini, windows.ini, rasphone.pbk, connections, journal.log).
//
// Every function here may be called from any thread.
#pragma once

#include <string>
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

// A small INI file: sections and keys in file order, names compared without
// regard to ASCII case, values taken as the text after the first "=" with
// blanks around it trimmed. Lines starting with ";" or "#" are comments.
class IniFile {
 public:
  using Section = std::pair<std::string, std::vector<std::pair<std::string, std::string>>>;

  // Loads the file; a missing file gives an empty IniFile.
  static IniFile Load(const std::string& path);
  static IniFile Parse(const std::string& text);
  // Writes the file atomically (temporary file, then rename).
  bool Save(const std::string& path) const;
  std::string Text() const;

  const std::vector<Section>& Sections() const { return sections_; }
  bool HasSection(const std::string& section) const;
  // The value, or `fallback` when the section or key is missing.
  std::string Get(const std::string& section, const std::string& key, const std::string& fallback = "") const;
  long GetInt(const std::string& section, const std::string& key, long fallback) const;
  void Set(const std::string& section, const std::string& key, const std::string& value);
  void RemoveSection(const std::string& section);
  void RemoveKey(const std::string& section, const std::string& key);

 private:
  std::vector<Section> sections_;
};

}  // namespace world

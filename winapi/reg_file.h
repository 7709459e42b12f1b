// The registry as the stand-in keeps it: a list of keys in file order, each
// with its values in the order they were first set; read from and written to
// REGEDIT4 export text. Linux-only, internal to the stand-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

struct RegValue {
  std::string name;  // "" is the key's default value ("@" in the file)
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

struct RegKey {
  // Full path with the root's name, as spelled when the key was created:
  // "HKEY_CURRENT_USER\Software\Kel". No trailing backslash.
  std::string path;
  std::vector<RegValue> values;
  std::vector<std::string> comments;  // ";" lines of its section, kept for the rewrite
};

struct RegTree {
  std::vector<RegKey> keys;
  std::vector<std::string> comments;  // ";" lines before the first section
  // The number (from 1) of the first line of the text read that was not
  // understood, 0 when every line was: such a tree must not be written back
  // over its file, which would lose that line.
  size_t not_understood = 0;

  // Key paths compare without regard to ASCII case.
  RegKey* Find(const std::string& path);
  const RegKey* Find(const std::string& path) const;
  // Finds the key, creating it and every missing key above it (below the
  // root) when absent; *created tells whether the key itself was new.
  RegKey* Create(const std::string& path, bool* created);
  bool HasSubKeys(const std::string& path) const;
  void Remove(const std::string& path);
};

// Reads REGEDIT4 text. Sections and values are taken in file order; "[-key]"
// and "name"=- deletions are applied; long hex values may continue over
// lines ending in a backslash; ";" comments are kept with their section.
// A line it cannot understand (another header, a value outside a section or
// with data it cannot read, a section not closed) is skipped, and the first
// such line is noted in not_understood.
RegTree ParseRegText(const std::string& text);
// Writes REGEDIT4 text: "REGEDIT4", a blank line, then each key as a
// section (its comments after the header) followed by a blank line. REG_SZ data that is text with a single
// terminating zero is written as "text", four-byte REG_DWORD as dword:, the
// rest as hex: (REG_BINARY) or hex(type):, so any stored bytes read back the same.
std::string RegText(const RegTree& tree);

}  // namespace standin

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
};

struct RegTree {
  std::vector<RegKey> keys;

  // Key paths compare without regard to ASCII case.
  RegKey* Find(const std::string& path);
  const RegKey* Find(const std::string& path) const;
  // Finds the key, creating it and every missing key above it (below the
  // root) when absent; *created tells whether the key itself was new.
  RegKey* Create(const std::string& path, bool* created);
  bool HasSubKeys(const std::string& path) const;
  void Remove(const std::string& path);
};

// Reads REGEDIT4 text. Lines it cannot understand are skipped; sections and
// values are taken in file order; "[-key]" and "name"=- deletions are
// applied. Long hex values may continue over lines ending in a backslash.
RegTree ParseRegText(const std::string& text);
// Writes REGEDIT4 text: "REGEDIT4", a blank line, then each key as a
// section followed by a blank line. REG_SZ data that is text with a single
// terminating zero is written as "text", four-byte REG_DWORD as dword:, the
// rest as hex: (REG_BINARY) or hex(type):, so any stored bytes read back the same.
std::string RegText(const RegTree& tree);

}  // namespace standin

// The world's portable half: the INI file reader and writer shared by the
// stand-in on Linux and the test remote access library on Windows. Where the
// world lives, the journal and atomic saves are per platform, in
// world_posix.cpp and world_win32.cpp.
#include "winapi/world.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace world {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

}  // namespace

// ---- IniFile ----------------------------------------------------------------

IniFile IniFile::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return IniFile();
  std::ostringstream ss;
  ss << in.rdbuf();
  return Parse(ss.str());
}

IniFile IniFile::Parse(const std::string& text) {
  IniFile ini;
  std::istringstream in(text);
  std::string raw;
  Section* current = nullptr;
  while (std::getline(in, raw)) {
    std::string line = Trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      std::string name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      current = nullptr;
      for (auto& s : ini.sections_) {
        if (EqualNoCase(s.first, name)) current = &s;
      }
      if (!current) {
        ini.sections_.push_back({name, {}});
        current = &ini.sections_.back();
      }
      continue;
    }
    if (!current) continue;  // keys before any section are ignored
    size_t eq = line.find('=');
    std::string key = Trim(eq == std::string::npos ? line : line.substr(0, eq));
    std::string value = eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
    bool replaced = false;
    for (auto& kv : current->second) {
      if (EqualNoCase(kv.first, key)) {
        kv.second = value;
        replaced = true;
        break;
      }
    }
    if (!replaced) current->second.push_back({key, value});
  }
  return ini;
}

std::string IniFile::Text() const {
  std::string out;
  bool first = true;
  for (const auto& s : sections_) {
    if (!first) out += "\n";
    first = false;
    out += "[" + s.first + "]\n";
    for (const auto& kv : s.second) out += kv.first + "=" + kv.second + "\n";
  }
  return out;
}

bool IniFile::HasSection(const std::string& section) const {
  for (const auto& s : sections_) {
    if (EqualNoCase(s.first, section)) return true;
  }
  return false;
}

std::string IniFile::Get(const std::string& section, const std::string& key, const std::string& fallback) const {
  for (const auto& s : sections_) {
    if (!EqualNoCase(s.first, section)) continue;
    for (const auto& kv : s.second) {
      if (EqualNoCase(kv.first, key)) return kv.second;
    }
  }
  return fallback;
}

long IniFile::GetInt(const std::string& section, const std::string& key, long fallback) const {
  std::string v = Get(section, key, "");
  if (v.empty()) return fallback;
  errno = 0;
  char* end = nullptr;
  // Decimal, or hexadecimal with "0x"; a leading zero does not mean octal.
  bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
  long n = std::strtol(v.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || end == v.c_str() || !Trim(end).empty()) return fallback;
  return n;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  Section* target = nullptr;
  for (auto& s : sections_) {
    if (EqualNoCase(s.first, section)) {
      target = &s;
      break;
    }
  }
  if (!target) {
    sections_.push_back({section, {}});
    target = &sections_.back();
  }
  for (auto& kv : target->second) {
    if (EqualNoCase(kv.first, key)) {
      kv.second = value;
      return;
    }
  }
  target->second.push_back({key, value});
}

void IniFile::RemoveSection(const std::string& section) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it) {
    if (EqualNoCase(it->first, section)) {
      sections_.erase(it);
      return;
    }
  }
}

void IniFile::RemoveKey(const std::string& section, const std::string& key) {
  for (auto& s : sections_) {
    if (!EqualNoCase(s.first, section)) continue;
    for (auto it = s.second.begin(); it != s.second.end(); ++it) {
      if (EqualNoCase(it->first, key)) {
        s.second.erase(it);
        return;
      }
    }
  }
}

}  // namespace world

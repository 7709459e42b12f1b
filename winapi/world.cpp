// The world directory and its small helpers (see world.h).
#include "winapi/world.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace world {
namespace {

std::mutex& JournalMutex() {
  static std::mutex m;
  return m;
}

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

// mkdir -p; existing directories are fine.
void MakeDirs(const std::string& path) {
  if (path.empty()) return;
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    size_t next = path.find('/', pos + 1);
    partial = path.substr(0, next);
    if (!partial.empty() && partial != "/") mkdir(partial.c_str(), 0777);
    pos = next;
  }
}

}  // namespace

std::string Dir() {
  const char* env = std::getenv("WINAPI_WORLD");
  std::string dir = (env && *env) ? env : "./winworld";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0) MakeDirs(dir);
  return dir;
}

std::string FilePath(const std::string& name) { return Dir() + "/" + name; }

void Journal(const std::string& line) {
  std::lock_guard<std::mutex> lock(JournalMutex());
  std::string path = FilePath("journal.log");
  // One write(2) with O_APPEND per line, so that lines of several processes
  // sharing the world never interleave.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return;
  std::string text = line + "\n";
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  close(fd);
}

std::string HostPath(const std::string& windows_path) {
  std::string p = windows_path;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
    std::string rest = p.substr(2);
    if (drive == 'z') {
      if (rest.empty() || rest[0] != '/') rest = "/" + rest;
      return rest;
    }
    std::string base = Dir() + "/drive_" + std::string(1, drive);
    if (rest.empty() || rest[0] != '/') rest = "/" + rest;
    if (rest == "/") return base;
    return base + rest;
  }
  return p;
}

std::string WindowsPath(const std::string& host_path) {
  if (host_path.empty() || host_path[0] != '/') {
    std::string p = host_path;
    for (char& c : p) {
      if (c == '/') c = '\\';
    }
    return p;
  }
  // Paths inside <world>/drive_x map back to their drive letter.
  std::string dir = Dir();
  std::string prefix = dir + "/drive_";
  if (host_path.compare(0, prefix.size(), prefix) == 0 && host_path.size() > prefix.size() &&
      std::isalpha(static_cast<unsigned char>(host_path[prefix.size()])) &&
      (host_path.size() == prefix.size() + 1 || host_path[prefix.size() + 1] == '/')) {
    char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(host_path[prefix.size()])));
    std::string rest = host_path.substr(prefix.size() + 1);
    if (rest.empty()) rest = "/";
    for (char& c : rest) {
      if (c == '/') c = '\\';
    }
    return std::string(1, drive) + ":" + rest;
  }
  std::string p = host_path;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return "Z:" + p;
}

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

bool IniFile::Save(const std::string& path) const {
  std::string tmp = path + ".tmp." + std::to_string(getpid());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::string text = Text();
  const char* p = text.data();
  size_t left = text.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (close(fd) != 0) ok = false;
  if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
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

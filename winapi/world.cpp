// The world's portable half: the INI file reader and writer shared by the
// stand-in on Linux and the test remote access library on Windows. Where the
// world lives, the journal and atomic saves are per platform, in
// world_posix.cpp and world_win32.cpp.
#include "winapi/world.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace world {
namespace {

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

}  // namespace

bool SameVersion(const FileStamp& a, const FileStamp& b) {
  return a.known && b.known && a.size == b.size && a.modified_ns == b.modified_ns && a.changed_ns == b.changed_ns &&
         a.volume == b.volume && a.file_number == b.file_number;
}

// ---- IniFile ----------------------------------------------------------------

IniFile IniFile::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return IniFile();
  std::string text;
  char buffer[16384];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) text.append(buffer, static_cast<size_t>(in.gcount()));
  return Parse(text);
}

IniFile IniFile::Parse(const std::string& text) {
  IniFile ini;
  // A repeated key is looked for among the few keys of a small section one by
  // one; a large section gets an index of its keys in lower case.
  constexpr size_t kScanned = 16;
  std::unordered_map<size_t, std::unordered_map<std::string, size_t>> large;
  size_t current = std::string::npos;
  size_t number = 0;
  auto not_understood = [&] {
    if (ini.not_understood_ == 0) ini.not_understood_ = number;
  };
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = Trim(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    ++number;
    if (line.empty()) continue;
    if (line[0] == ';' || line[0] == '#') {
      (current == std::string::npos ? ini.leading_comments_ : ini.comments_[current]).emplace_back(line);
      continue;
    }
    if (line[0] == '[') {
      const size_t close = line.find(']');
      if (close == std::string::npos) not_understood();
      const std::string_view rest = close == std::string::npos ? std::string_view() : Trim(line.substr(close + 1));
      if (!rest.empty() && rest[0] != ';' && rest[0] != '#') not_understood();
      const std::string name(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
      current = ini.Find(name);
      if (current == ini.sections_.size()) current = ini.Append(name);
      continue;
    }
    const size_t eq = line.find('=');
    if (current == std::string::npos || eq == std::string::npos || Trim(line.substr(0, eq)).empty()) {
      not_understood();
      if (current == std::string::npos) continue;  // keys before any section are ignored
    }
    std::string key(Trim(eq == std::string::npos ? line : line.substr(0, eq)));
    std::string value(eq == std::string::npos ? std::string_view() : Trim(line.substr(eq + 1)));
    auto& entries = ini.sections_[current].second;
    size_t found = entries.size();
    if (entries.size() < kScanned) {
      for (size_t i = 0; i < entries.size(); ++i) {
        if (EqualNoCase(entries[i].first, key)) found = i;
      }
    } else {
      auto& index = large[current];
      if (index.empty()) {
        for (size_t i = 0; i < entries.size(); ++i) index.emplace(Lower(entries[i].first), i);
      }
      found = index.emplace(Lower(key), entries.size()).first->second;
    }
    if (found < entries.size()) {
      entries[found].second = std::move(value);
    } else {
      entries.emplace_back(std::move(key), std::move(value));
    }
  }
  return ini;
}

std::string IniFile::Text() const { return text_kept_ ? kept_text_ : BuildText(nullptr); }

std::string IniFile::BuildText(std::vector<size_t>* starts) const {
  std::string out;
  for (const auto& c : leading_comments_) {
    out += c;
    out += '\n';
  }
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (i > 0) out += '\n';
    if (starts != nullptr) starts->push_back(out.size());
    out += '[';
    out += sections_[i].first;
    out += "]\n";
    for (const auto& c : comments_[i]) {
      out += c;
      out += '\n';
    }
    for (const auto& kv : sections_[i].second) {
      out += kv.first;
      out += '=';
      out += kv.second;
      out += '\n';
    }
  }
  return out;
}

void IniFile::KeepText() {
  if (text_kept_) return;
  kept_starts_.clear();
  kept_text_ = BuildText(&kept_starts_);
  text_kept_ = true;
}

bool IniFile::MaySave(const std::string& path) const {
  if (not_understood_ == 0) return true;
  Journal("not rewritten: " + path + " line " + std::to_string(not_understood_) + " is not understood");
  return false;
}

size_t IniFile::Find(const std::string& section) const {
  auto it = index_.find(Lower(section));
  return it == index_.end() ? sections_.size() : it->second;
}

size_t IniFile::Append(const std::string& section) {
  DropText();
  index_.emplace(Lower(section), sections_.size());
  sections_.push_back({section, {}});
  comments_.emplace_back();
  return sections_.size() - 1;
}

bool IniFile::HasSection(const std::string& section) const { return Find(section) < sections_.size(); }

std::string IniFile::Get(const std::string& section, const std::string& key, const std::string& fallback) const {
  const size_t s = Find(section);
  if (s == sections_.size()) return fallback;
  for (const auto& kv : sections_[s].second) {
    if (EqualNoCase(kv.first, key)) return kv.second;
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
  size_t s = Find(section);
  if (s == sections_.size()) s = Append(section);
  DropText();
  for (auto& kv : sections_[s].second) {
    if (EqualNoCase(kv.first, key)) {
      kv.second = value;
      return;
    }
  }
  sections_[s].second.push_back({key, value});
}

void IniFile::RemoveSection(const std::string& section) {
  const size_t s = Find(section);
  if (s == sections_.size()) return;
  if (text_kept_) {
    // Section s's text runs from its "[" to the blank line before the next
    // "["; the first section takes the next one's blank line with it.
    const size_t count = sections_.size();
    const size_t begin = s == 0 ? kept_starts_[0] : kept_starts_[s] - 1;
    const size_t end = s + 1 < count ? (s == 0 ? kept_starts_[1] : kept_starts_[s + 1] - 1) : kept_text_.size();
    kept_text_.erase(begin, end - begin);
    kept_starts_.erase(kept_starts_.begin() + static_cast<std::ptrdiff_t>(s));
    for (size_t i = s; i < kept_starts_.size(); ++i) kept_starts_[i] -= end - begin;
  }
  sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(s));
  comments_.erase(comments_.begin() + static_cast<std::ptrdiff_t>(s));
  index_.erase(Lower(section));
  for (auto& entry : index_) {
    if (entry.second > s) --entry.second;
  }
}

void IniFile::RemoveKey(const std::string& section, const std::string& key) {
  const size_t s = Find(section);
  if (s == sections_.size()) return;
  auto& entries = sections_[s].second;
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (EqualNoCase(it->first, key)) {
      DropText();
      entries.erase(it);
      return;
    }
  }
}

}  // namespace world

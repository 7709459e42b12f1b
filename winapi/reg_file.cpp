// REGEDIT4 text to and from the stand-in's registry tree.
#include "winapi/reg_file.h"

#include <cstdio>
#include <string_view>

#include "winapi/standin_internal.h"

namespace standin {
namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

bool IsUnder(const std::string& path, const std::string& parent) {
  return path.size() > parent.size() + 1 && path[parent.size()] == '\\' &&
         EqualNoCase(path.substr(0, parent.size()), parent);
}

void TrimRightInPlace(std::string& s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
}

std::string TrimRight(std::string s) {
  TrimRightInPlace(s);
  return s;
}

constexpr const char* kHexDigits = "0123456789abcdefABCDEF";

// Whether `text` begins with `prefix` (lower case), without regard to ASCII
// case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// Reads a quoted text starting at text[pos] == '"'; returns the position
// after the closing quote, or npos when the text is not closed.
size_t ReadQuoted(const std::string& text, size_t pos, std::string* out) {
  out->clear();
  for (size_t i = pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      out->push_back(text[++i]);
    } else if (c == '"') {
      return i + 1;
    } else {
      out->push_back(c);
    }
  }
  return std::string::npos;
}

// Whether a value line goes on on the next line: it ends in a backslash and
// its data is hex. Only the data is looked at: a name may hold "=" and
// quotes, and a string value may end in a backslash of its own.
bool ContinuesOnNextLine(const std::string& line) {
  if (line.empty() || line.back() != '\\') return false;
  const size_t b = line.find_first_not_of(" \t");
  if (b == std::string::npos) return false;
  size_t after_name = std::string::npos;
  if (line[b] == '@') {
    after_name = b + 1;
  } else if (line[b] == '"') {
    std::string name;
    after_name = ReadQuoted(line, b, &name);
  }
  if (after_name == std::string::npos) return false;
  const size_t eq = line.find_first_not_of(" \t", after_name);
  if (eq == std::string::npos || line[eq] != '=') return false;
  const size_t data = line.find_first_not_of(" \t", eq + 1);
  return data != std::string::npos && StartsWithNoCase(std::string_view(line).substr(data), "hex");
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* out) {
  out->clear();
  std::string digits;
  auto flush = [&]() -> bool {
    if (digits.empty()) return true;
    if (digits.size() > 2) return false;
    unsigned v = 0;
    for (char c : digits) {
      v <<= 4;
      if (c >= '0' && c <= '9') v |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') v |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= static_cast<unsigned>(c - 'A' + 10);
      else return false;
    }
    out->push_back(static_cast<uint8_t>(v));
    digits.clear();
    return true;
  };
  for (char c : text) {
    if (c == ',') {
      if (digits.empty() || !flush()) return false;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      continue;
    } else {
      digits.push_back(c);
    }
  }
  return flush();
}

bool ParseData(const std::string& text, RegValue* value) {
  if (!text.empty() && text[0] == '"') {
    std::string s;
    size_t end = ReadQuoted(text, 0, &s);
    if (end == std::string::npos || !TrimRight(text.substr(end)).empty()) return false;
    value->type = kRegSz;
    value->data.assign(s.begin(), s.end());
    value->data.push_back(0);
    return true;
  }
  if (StartsWithNoCase(text, "dword:")) {
    const size_t digits = text.size() - 6;
    if (digits == 0 || digits > 8 || text.find_first_not_of(kHexDigits, 6) != std::string::npos) return false;
    const uint32_t v = static_cast<uint32_t>(std::stoul(text.substr(6), nullptr, 16));
    value->type = kRegDword;
    value->data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                   static_cast<uint8_t>(v >> 24)};
    return true;
  }
  if (StartsWithNoCase(text, "hex:")) {
    value->type = kRegBinary;
    return ParseHexBytes(text.substr(4), &value->data);
  }
  if (StartsWithNoCase(text, "hex(")) {
    const size_t close = text.find("):");
    if (close == std::string::npos) return false;
    const size_t digits = close - 4;
    if (digits == 0 || digits > 8 || text.find_first_not_of(kHexDigits, 4) < close) return false;
    value->type = static_cast<uint32_t>(std::stoul(text.substr(4, digits), nullptr, 16));
    return ParseHexBytes(text.substr(close + 2), &value->data);
  }
  return false;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// Text that the quoted form carries unchanged: no zero bytes, no line ends.
bool IsPlainText(const std::vector<uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] == 0 || data[i] == '\n' || data[i] == '\r') return false;
  }
  return true;
}

std::string HexList(const std::string& prefix, const std::vector<uint8_t>& data) {
  // Wrapped like the registry editor does, so long values stay readable.
  std::string out = prefix;
  size_t column = prefix.size();
  char buf[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buf, sizeof(buf), "%02x", data[i]);
    out += buf;
    column += 2;
    if (i + 1 < data.size()) {
      out += ",";
      ++column;
      if (column > 76) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
  return out;
}

}  // namespace

RegKey* RegTree::Find(const std::string& path) {
  for (auto& k : keys) {
    if (k.path.size() == path.size() && (k.path == path || EqualNoCase(k.path, path))) return &k;
  }
  return nullptr;
}

const RegKey* RegTree::Find(const std::string& path) const {
  for (const auto& k : keys) {
    if (k.path.size() == path.size() && (k.path == path || EqualNoCase(k.path, path))) return &k;
  }
  return nullptr;
}

RegKey* RegTree::Create(const std::string& path, bool* created) {
  *created = false;
  if (RegKey* k = Find(path)) return k;
  // Each missing key from the root down gets its own section.
  size_t pos = 0;
  while (true) {
    size_t next = path.find('\\', pos);
    std::string prefix = path.substr(0, next);
    if (!Find(prefix)) keys.push_back(RegKey{prefix, {}, {}});
    if (next == std::string::npos) break;
    pos = next + 1;
  }
  *created = true;
  return Find(path);
}

bool RegTree::HasSubKeys(const std::string& path) const {
  for (const auto& k : keys) {
    if (IsUnder(k.path, path)) return true;
  }
  return false;
}

void RegTree::Remove(const std::string& path) {
  for (auto it = keys.begin(); it != keys.end();) {
    if (EqualNoCase(it->path, path) || IsUnder(it->path, path)) {
      it = keys.erase(it);
    } else {
      ++it;
    }
  }
}

RegTree ParseRegText(const std::string& text) {
  RegTree tree;
  // The text's lines one after another, as getline gives them: every
  // registry call re-reads a changed file, so lines are taken from the text
  // in place.
  size_t at_byte = 0;
  auto next_line = [&](std::string& out) {
    if (at_byte >= text.size()) return false;
    size_t end = text.find('\n', at_byte);
    if (end == std::string::npos) end = text.size();
    out.assign(text, at_byte, end - at_byte);
    at_byte = end + 1;
    return true;
  };
  std::string line;
  std::string current;  // path of the section being read
  bool have_section = false;
  bool before_sections = true;
  size_t number = 0;
  while (next_line(line)) {
    const size_t at = ++number;  // a value continued over lines counts from its first
    auto not_understood = [&] {
      if (tree.not_understood == 0) tree.not_understood = at;
    };
    TrimRightInPlace(line);
    // A line ending in a backslash continues on the next (long hex lists).
    while (ContinuesOnNextLine(line)) {
      line.pop_back();
      std::string next;
      if (!next_line(next)) break;
      ++number;
      size_t b = next.find_first_not_of(" \t");
      line += b == std::string::npos ? std::string() : TrimRight(next.substr(b));
    }
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) continue;
    if (b > 0) line.erase(0, b);
    if (line[0] == ';') {
      (have_section ? tree.Find(current)->comments : tree.comments).push_back(line);
      continue;
    }
    if (before_sections && line == "REGEDIT4") continue;
    if (line[0] == '[') {
      before_sections = false;
      have_section = false;
      size_t close = line.rfind(']');
      std::string path = close == std::string::npos ? std::string() : line.substr(1, close - 1);
      if (!path.empty() && path[0] == '-') {
        tree.Remove(path.substr(1));
        continue;
      }
      while (!path.empty() && path.back() == '\\') path.pop_back();
      // A key name is never empty: a path with two backslashes in a row
      // names no key.
      if (path.empty() || path.find("\\\\") != std::string::npos) {
        not_understood();
        continue;
      }
      bool created = false;
      current = tree.Create(path, &created)->path;
      have_section = true;
      continue;
    }
    // A value: @ or a quoted name, "=", data.
    RegValue value;
    size_t eq = std::string::npos;
    if (line[0] == '@') {
      eq = 1;
    } else if (line[0] == '"') {
      eq = ReadQuoted(line, 0, &value.name);
    }
    while (eq < line.size() && (line[eq] == ' ' || line[eq] == '\t')) ++eq;
    if (!have_section || eq >= line.size() || line[eq] != '=') {
      not_understood();
      continue;
    }
    const size_t db = line.find_first_not_of(" \t", eq + 1);
    const std::string data = db == std::string::npos ? std::string() : line.substr(db);
    RegKey* key = tree.Find(current);
    if (data == "-") {
      for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (EqualNoCase(it->name, value.name)) {
          key->values.erase(it);
          break;
        }
      }
      continue;
    }
    if (!ParseData(data, &value)) {
      not_understood();
      continue;
    }
    bool replaced = false;
    for (auto& v : key->values) {
      if (EqualNoCase(v.name, value.name)) {
        v = value;
        replaced = true;
        break;
      }
    }
    if (!replaced) key->values.push_back(value);
  }
  return tree;
}

std::string RegText(const RegTree& tree) {
  std::string out = "REGEDIT4\n";
  for (const auto& c : tree.comments) out += c + "\n";
  out += "\n";
  for (const auto& key : tree.keys) {
    out += "[" + key.path + "]\n";
    for (const auto& c : key.comments) out += c + "\n";
    for (const auto& v : key.values) {
      std::string line = v.name.empty() ? "@=" : Quote(v.name) + "=";
      if (v.type == kRegSz && IsPlainText(v.data)) {
        line += Quote(std::string(v.data.begin(), v.data.end() - 1));
      } else if (v.type == kRegDword && v.data.size() == 4) {
        char buf[16];
        uint32_t d = static_cast<uint32_t>(v.data[0]) | static_cast<uint32_t>(v.data[1]) << 8 |
                     static_cast<uint32_t>(v.data[2]) << 16 | static_cast<uint32_t>(v.data[3]) << 24;
        std::snprintf(buf, sizeof(buf), "dword:%08x", d);
        line += buf;
      } else if (v.type == kRegBinary) {
        line = HexList(line + "hex:", v.data);
      } else {
        char buf[24];
        std::snprintf(buf, sizeof(buf), "hex(%x):", v.type);
        line = HexList(line + buf, v.data);
      }
      out += line + "\n";
    }
    out += "\n";
  }
  return out;
}

}  // namespace standin

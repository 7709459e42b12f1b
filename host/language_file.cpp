// Reading the language file (format in language_file.h and docs/kelhost.md).
#include "host/language_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "host/quoted_text.h"
#include "host/text_file.h"

namespace {

// Unescapes one message text; false with `error` set on a bad escape.
bool UnescapeText(const std::string& raw, std::string& out, std::string& error) {
  out.clear();
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      out += raw[i];
      continue;
    }
    if (i + 1 < raw.size() && raw[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (i + 1 < raw.size() && raw[i + 1] == 'x') {
      const int hi = i + 2 < raw.size() ? HexDigitValue(raw[i + 2]) : -1;
      const int lo = i + 3 < raw.size() ? HexDigitValue(raw[i + 3]) : -1;
      if (hi < 0 || lo < 0) {
        error = "\\x must be followed by two hex digits";
        return false;
      }
      out += static_cast<char>(hi * 16 + lo);
      i += 3;
    } else {
      error = "a backslash must start \\\\ or \\xHH";
      return false;
    }
  }
  return true;
}

const char kLanguageKey[] = ".Language=";

bool SameAsciiText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The language a file's first line names; empty when the file cannot be
// read or names none.
std::string LanguageOfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line)) return "";
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::string name, error;
  int code_page = 0;
  return ParseLanguageLine(line, name, code_page, error) ? name : "";
}

}  // namespace

bool ParseLanguageLine(const std::string& line, std::string& name, int& code_page, std::string& error) {
  const size_t key_length = sizeof kLanguageKey - 1;
  if (line.compare(0, key_length, kLanguageKey) != 0) return false;
  const std::string value = line.substr(key_length);
  const size_t comma = value.find(',');
  std::string found = value.substr(0, comma);
  while (!found.empty() && found.back() == ' ') found.pop_back();
  if (found.empty()) {
    error = ".Language= needs a language name";
    return false;
  }
  int page = 437;
  if (comma != std::string::npos) {
    const std::string digits = value.substr(comma + 1);
    page = 0;
    for (char c : digits) {
      if (c < '0' || c > '9' || page > 65535) {
        page = 0;
        break;
      }
      page = page * 10 + (c - '0');
    }
    if (page < 1 || page > 65535) {
      error = "the code page after .Language=NAME, must be a number from 1 to 65535";
      return false;
    }
  }
  name = std::move(found);
  code_page = page;
  return true;
}

std::string ChooseLanguageFile(const std::string& default_path, const std::string& language) {
  if (language.empty()) return default_path;
  namespace fs = std::filesystem;
  const fs::path base(default_path);
  const std::string extension = base.extension().string();
  fs::path directory = base.parent_path();
  if (directory.empty()) directory = ".";
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
    if (SameAsciiText(it->path().extension().string(), extension)) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  std::string english;
  for (const std::string& file : files) {
    const std::string named = LanguageOfFile(file);
    if (SameAsciiText(named, language)) return file;
    if (english.empty() && SameAsciiText(named, "English")) english = file;
  }
  return english.empty() ? default_path : english;
}

bool LanguageFile::Parse(const std::string& text, std::string& error) {
  std::array<std::string, kMessageCount> texts{};
  std::array<bool, kMessageCount> present{};
  std::string language;
  int code_page = 437;
  int line_number = 0;
  for (const std::string& line : TextLines(text)) {
    ++line_number;
    if (line.empty() || line[0] == '#') continue;

    const std::string where = "line " + std::to_string(line_number) + ": ";
    if (line[0] == '.') {
      std::string why = "expected N=text";
      if (ParseLanguageLine(line, language, code_page, why) && line_number == 1) continue;
      if (line_number != 1 && why == "expected N=text" && line.rfind(kLanguageKey, 0) == 0)
        why = ".Language= must be the first line";
      error = where + why;
      return false;
    }
    size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9' && digits < 4) ++digits;
    if (digits == 0 || digits >= line.size() || line[digits] != '=') {
      error = where + "expected N=text";
      return false;
    }
    const int number = std::stoi(line.substr(0, digits));
    if (number >= kMessageCount) {
      error = where + "message number " + std::to_string(number) + " is above 127";
      return false;
    }
    if (present[static_cast<size_t>(number)]) {
      error = where + "message " + std::to_string(number) + " is defined twice";
      return false;
    }
    std::string value;
    std::string why;
    if (!UnescapeText(line.substr(digits + 1), value, why)) {
      error = where + why;
      return false;
    }
    texts[static_cast<size_t>(number)] = std::move(value);
    present[static_cast<size_t>(number)] = true;
  }
  texts_ = std::move(texts);
  present_ = present;
  language_ = std::move(language);
  code_page_ = code_page;
  return true;
}

bool LanguageFile::Load(const std::string& path, std::string& error) {
  std::string content;
  if (!ReadTextFile(path, content)) {
    error = "cannot read " + path;
    return false;
  }
  std::string why;
  if (!Parse(content, why)) {
    error = path + " " + why;
    return false;
  }
  return true;
}

bool LanguageFile::Has(int number) const {
  return number >= 0 && number < kMessageCount && present_[static_cast<size_t>(number)];
}

const char* LanguageFile::Text(int number) const { return texts_[static_cast<size_t>(number & 127)].c_str(); }

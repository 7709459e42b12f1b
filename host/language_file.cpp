// Reading the language file (format in language_file.h and docs/kelhost.md).
#include "host/language_file.h"

#include <fstream>
#include <sstream>

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

}  // namespace

bool LanguageFile::Parse(const std::string& text, std::string& error) {
  std::array<std::string, kMessageCount> texts{};
  std::array<bool, kMessageCount> present{};
  int line_number = 0;
  for (const std::string& line : TextLines(text)) {
    ++line_number;
    if (line.empty() || line[0] == '#') continue;

    const std::string where = "line " + std::to_string(line_number) + ": ";
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

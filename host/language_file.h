// The plug-in's language file: the texts that GetMessageText hands out.
//
// Format: a text file of OEM bytes, one message per line as `N=text` with N
// a decimal number from 0 to 127 and the text running to the line end
// (blanks kept, a CR before the LF dropped). Lines that are empty or start
// with `#` are ignored. In the text, `\\` stands for a backslash and `\xHH`
// (two hex digits) for the byte HH; any other backslash is an error.
#pragma once

#include <array>
#include <string>

class LanguageFile {
 public:
  static constexpr int kMessageCount = 128;

  // Parses the whole file text. On an error returns false and sets `error`
  // to "line N: what is wrong"; the object is then unchanged.
  bool Parse(const std::string& text, std::string& error);
  // Reads and parses the file at `path` (a path of this machine).
  bool Load(const std::string& path, std::string& error);

  // Whether message `number` (0..127) has a line in the file.
  bool Has(int number) const;
  // The text of message `number & 127`; an empty text when it has none. The
  // pointer stays valid, and the text unchanged, as long as this object lives
  // and no Parse or Load succeeds on it.
  const char* Text(int number) const;

 private:
  std::array<std::string, kMessageCount> texts_{};
  std::array<bool, kMessageCount> present_{};
};

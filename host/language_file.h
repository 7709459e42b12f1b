// The plug-in's language file: the texts that GetMessageText hands out.
//
// Format: a text file of OEM bytes, one message per line as `N=text` with N
// a decimal number from 0 to 127 and the text running to the line end
// (blanks kept, a CR before the LF dropped). Lines that are empty or start
// with `#` are ignored. In the text, `\\` stands for a backslash and `\xHH`
// (two hex digits) for the byte HH; any other backslash is an error.
//
// The first line may name the file's language and the OEM code page its
// texts are in: `.Language=Russian,866` (the code page is optional; 437
// when not given). The host picks the file of the language its user chose
// by this line (ChooseLanguageFile); the help file starts with the same line.
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

  // The language the first line names; empty when the file names none.
  const std::string& Language() const { return language_; }
  // The OEM code page of the texts: the one the first line names, else 437.
  int CodePage() const { return code_page_; }

 private:
  std::array<std::string, kMessageCount> texts_{};
  std::array<bool, kMessageCount> present_{};
  std::string language_;
  int code_page_ = 437;
};

// Reads a `.Language=NAME[,CODEPAGE]` line. False when `line` is not one or
// is malformed (no name, a code page that is not a number from 1 to 65535);
// `error` then says why when the line starts with ".Language=".
bool ParseLanguageLine(const std::string& line, std::string& name, int& code_page, std::string& error);

// The file of a language among the files beside `default_path` with its
// extension (`.lng` or `.hlp`): the first, in name order, whose first line
// names `language` (compared without regard to ASCII case); else the first
// that names English; else `default_path` itself. An empty `language` gives
// `default_path` without looking further.
std::string ChooseLanguageFile(const std::string& default_path, const std::string& language);

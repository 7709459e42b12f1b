// The help file that ships beside the plug-in's language file: its topics,
// shown by F1 in the plug-in's menus and dialogs. Format: docs/help_file.md.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct HelpTopic {
  std::string name;                // "MainMenu"
  std::string title;               // shown in the help window's frame
  std::vector<std::string> lines;  // OEM text, without line ends
};

class HelpFile {
 public:
  // Parses the whole file. On an error returns false with `error` set to
  // "line N: what is wrong"; the object is then unchanged.
  bool Parse(std::string_view text, std::string& error);
  // Reads and parses the file at `path`.
  bool Load(const std::string& path, std::string& error);

  // The topic of that name, without regard to ASCII case; null when absent.
  const HelpTopic* Find(std::string_view name) const;
  const std::vector<HelpTopic>& Topics() const { return topics_; }

 private:
  std::vector<HelpTopic> topics_;
};

// `lines` wrapped to `width` columns: breaks fall between words where they
// can, a word longer than the width is cut, empty lines stay. Continuation
// lines line up with the text after the line's first gap of two or more
// blanks ("  Enter   dials the entry": under "dials"), else with the line's
// own indentation; never deeper than half the width.
std::vector<std::string> WrapLines(const std::vector<std::string>& lines, int width);

// What the tests use of the plug-in besides its headers: operations that
// nothing in the plug-in calls, kept out of the product's headers so that
// no product code comes to rely on them. Those made of public operations are
// defined here; those that need a module's own state are defined by that
// module and declared here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "entries/entry_file.h"
#include "entries/line_scrambler.h"
#include "shell/file_io.h"

// Defined in entries/entry_file.cpp: the current entry back to its load-time
// state (empty texts and zeros), as a freshly loaded library has it.
void ResetCurrentEntry();

// The inverse of ScrambleLines: empties `target`, then appends UnscrambleLine
// of the first kMaxLineBytes bytes of each source line, with kScramblePasses.
inline void UnscrambleLines(const std::vector<std::string>& source, std::vector<std::string>& target) {
  target.clear();
  for (const std::string& line : source) {
    target.push_back(UnscrambleLine(std::string_view(line).substr(0, kMaxLineBytes), kScramblePasses));
  }
}

// The entry file's lines in plain form.
inline std::vector<std::string> LoadPlainLines() { return PlainLinesFromFileText(ReadWholeFile(EntryFilePath())); }

// Writes the lines as the new entry file, replacing the old one in one step.
inline void SavePlainLines(const std::vector<std::string>& lines) {
  ReplaceFileContents(EntryFilePath(), FileTextFromPlainLines(lines));
}

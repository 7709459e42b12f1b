// Reading kelhost's own text files (language file, help file, script).
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The file's bytes; false when it cannot be read.
bool ReadTextFile(const std::string& path, std::string& text);
// The text's lines, each ended by LF or CR LF (the line end not included);
// a last line without a line end counts, an empty text has no line.
std::vector<std::string> TextLines(std::string_view text);

// Whole-file reads, atomic whole-file writes and appends, through the
// platform's file calls. Failures raise IoError naming the file and the
// system's reason.
#pragma once

#include <string>
#include <string_view>

#include "shell/plugin_error.h"
#include "shell/platform.h"

class IoError : public PluginError {
 public:
  IoError(const std::string& path, DWORD code, const std::string& action);
  DWORD code() const { return code_; }

 private:
  DWORD code_;
};

// The system's text for an error code, without a trailing line end.
std::string SystemErrorText(DWORD code);

// True when a file (not a directory) exists at the path.
bool FileExists(const std::string& path);
// The file's bytes.
std::string ReadWholeFile(const std::string& path);
// Replaces the file's contents in one step: the bytes go to a temporary file
// beside it, which then takes the file's place. On any failure the old file
// is left whole and the temporary file is removed.
void ReplaceFileContents(const std::string& path, std::string_view data);
// Appends the bytes to the file, creating it when it does not exist.
void AppendToFile(const std::string& path, std::string_view data);

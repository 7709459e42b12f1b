// The transcript: one line per host call, written as each call ends.
//
// Texts are written with QuoteText, null pointers as `null`, and any text
// that starts with the plug-in directory (the module path up to and with its
// last backslash, compared without regard to ASCII case) with `<plugdir>\`
// in its place, so that transcripts read the same on every machine. Lines
// that start with `! ` report errors: a script that does not fit the calls,
// or a plug-in that breaks the host's rules. Every line is flushed at once,
// so a plug-in that crashes leaves the transcript up to its last call.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

class Transcript {
 public:
  // Writes to `out` (not owned; may be null for no transcript). Error lines
  // also go to `errors` (not owned; may be null).
  Transcript(std::FILE* out, std::FILE* errors) : out_(out), errors_(errors) {}

  // The module path, as handed to the plug-in; sets the plug-in directory.
  void SetModulePath(const std::string& module_path);
  const std::string& PluginDirectory() const { return plugin_dir_; }

  // A text for a transcript line: quoted, with the plug-in directory
  // replaced; `null` for a null pointer.
  std::string Text(const char* text) const;
  std::string Text(std::string_view text) const;

  // Writes one line (the line end is added).
  void Line(const std::string& line);
  // Writes "! " + text as a line, and "kelhost: " + text to the error stream.
  void Error(const std::string& text);
  int ErrorCount() const { return error_count_; }

 private:
  std::FILE* out_;
  std::FILE* errors_;
  std::string plugin_dir_;  // with its trailing backslash
  int error_count_ = 0;
};

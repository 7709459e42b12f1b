// What the Windows test programs share: the stage hands them their
// directories in environment variables and they read back what the
// programs they start wrote.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

// The variable's value, "" when it is not set.
inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The file's bytes, "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

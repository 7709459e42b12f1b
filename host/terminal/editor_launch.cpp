// Finding and running the user's editor (see editor_launch.h).
#include "host/terminal/editor_launch.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

namespace {

bool Executable(const std::string& file) {
  struct stat info {};
  return stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(file.c_str(), X_OK) == 0;
}

// The file's content, or nothing when it cannot be read.
std::optional<std::string> Content(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

std::string ChooseEditor(const char* visual, const char* editor, const char* path) {
  if (visual != nullptr && *visual != '\0') return visual;
  if (editor != nullptr && *editor != '\0') return editor;
  if (path == nullptr) return {};
  for (const char* name : {"sensible-editor", "nano", "vi"}) {
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
      size_t end = dirs.find(':', start);
      if (end == std::string::npos) end = dirs.size();
      const std::string dir = dirs.substr(start, end - start);
      if (!dir.empty() && Executable(dir + "/" + name)) return dir + "/" + name;
      start = end + 1;
    }
  }
  return {};
}

EditOutcome RunEditor(const std::string& command, const std::string& file, int line, std::string& error) {
  const std::optional<std::string> before = Content(file);
  // "$@" hands the arguments after the command text over unchanged.
  const std::string script = command + " \"$@\"";
  const std::string line_argument = "+" + std::to_string(line);

  struct sigaction ignore {
  }, old_int{}, old_quit{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, &old_int);
  sigaction(SIGQUIT, &ignore, &old_quit);

  const pid_t child = fork();
  if (child == 0) {
    signal(SIGINT, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    if (line > 1)
      execl("/bin/sh", "sh", "-c", script.c_str(), "sh", line_argument.c_str(), file.c_str(),
            static_cast<char*>(nullptr));
    else
      execl("/bin/sh", "sh", "-c", script.c_str(), "sh", file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  bool waited = false;
  if (child > 0) {
    while (waitpid(child, &status, 0) < 0) {
      if (errno != EINTR) break;
    }
    waited = true;
  } else {
    error = std::string("cannot start a process: ") + std::strerror(errno);
  }
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGQUIT, &old_quit, nullptr);
  if (!waited) return EditOutcome::NotRun;
  if (WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127)) {
    error = "the command \"" + command + "\" could not be run";
    return EditOutcome::NotRun;
  }
  return Content(file) == before ? EditOutcome::Unchanged : EditOutcome::Changed;
}

// The world on POSIX systems: the directory named by WINAPI_WORLD, the
// journal, Windows paths mapped onto this machine's, and atomic saves.
#include "winapi/world.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "winapi/standin_control.h"

namespace world {
namespace {

std::mutex& JournalMutex() {
  static std::mutex m;
  return m;
}

// mkdir -p; existing directories are fine.
void MakeDirs(const std::string& path) {
  if (path.empty()) return;
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    size_t next = path.find('/', pos + 1);
    partial = path.substr(0, next);
    if (!partial.empty() && partial != "/") mkdir(partial.c_str(), 0777);
    pos = next;
  }
}

// The directory Dir() last made sure exists: every stand-in call asks for
// the world's directory, which would otherwise cost a stat each time. A
// reload of the world, or another WINAPI_WORLD, makes sure again.
struct CheckedDir {
  std::mutex mutex;
  std::string dir;
};

CheckedDir& Checked() {
  static CheckedDir checked;
  return checked;
}

void ForgetCheckedDir() {
  CheckedDir& checked = Checked();
  std::lock_guard<std::mutex> lock(checked.mutex);
  checked.dir.clear();
}

const bool kCheckedDirHook = (StandinAddReloadHook(&ForgetCheckedDir), true);

}  // namespace

std::string Dir() {
  const char* env = std::getenv("WINAPI_WORLD");
  std::string dir = (env && *env) ? env : "./winworld";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  CheckedDir& checked = Checked();
  std::lock_guard<std::mutex> lock(checked.mutex);
  if (dir != checked.dir) {
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0) MakeDirs(dir);
    checked.dir = dir;
  }
  return dir;
}

std::string FilePath(const std::string& name) { return Dir() + "/" + name; }

void Journal(const std::string& line) {
  std::lock_guard<std::mutex> lock(JournalMutex());
  std::string path = FilePath("journal.log");
  // One write(2) with O_APPEND per line, so that lines of several processes
  // sharing the world never interleave.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return;
  std::string text = line + "\n";
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  close(fd);
}

std::string HostPath(const std::string& windows_path) {
  std::string p = windows_path;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
    std::string rest = p.substr(2);
    if (drive == 'z') {
      if (rest.empty() || rest[0] != '/') rest = "/" + rest;
      return rest;
    }
    std::string base = Dir() + "/drive_" + std::string(1, drive);
    if (rest.empty() || rest[0] != '/') rest = "/" + rest;
    if (rest == "/") return base;
    return base + rest;
  }
  return p;
}

std::string WindowsPath(const std::string& host_path) {
  if (host_path.empty() || host_path[0] != '/') {
    std::string p = host_path;
    for (char& c : p) {
      if (c == '/') c = '\\';
    }
    return p;
  }
  // Paths inside <world>/drive_x map back to their drive letter.
  std::string dir = Dir();
  std::string prefix = dir + "/drive_";
  if (host_path.compare(0, prefix.size(), prefix) == 0 && host_path.size() > prefix.size() &&
      std::isalpha(static_cast<unsigned char>(host_path[prefix.size()])) &&
      (host_path.size() == prefix.size() + 1 || host_path[prefix.size() + 1] == '/')) {
    char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(host_path[prefix.size()])));
    std::string rest = host_path.substr(prefix.size() + 1);
    if (rest.empty()) rest = "/";
    for (char& c : rest) {
      if (c == '/') c = '\\';
    }
    return std::string(1, drive) + ":" + rest;
  }
  std::string p = host_path;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return "Z:" + p;
}

FileStamp Stamp(const std::string& path) {
  struct stat st {};
  FileStamp stamp;
  if (stat(path.c_str(), &st) != 0) return stamp;
  auto ns = [](const struct timespec& t) {
    return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
  };
  stamp.known = true;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.modified_ns = ns(st.st_mtim);
  stamp.changed_ns = ns(st.st_ctim);
  stamp.volume = static_cast<uint64_t>(st.st_dev);
  stamp.file_number = static_cast<uint64_t>(st.st_ino);
  return stamp;
}

bool IniFile::Save(const std::string& path) const {
  if (!MaySave(path)) return false;
  std::string tmp = path + ".tmp." + std::to_string(getpid());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::string text = Text();
  const char* p = text.data();
  size_t left = text.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (close(fd) != 0) ok = false;
  if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace world

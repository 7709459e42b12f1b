// The platform layer of kelhost: dlopen on Linux, LoadLibraryA on Windows.
#include "host/plugin_library.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <climits>
#endif

#ifdef _WIN32

PluginLibrary::~PluginLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool PluginLibrary::Load(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  handle_ = module;
  char name[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(module, name, MAX_PATH);
  module_path_.assign(name, length);
  return true;
}

void* PluginLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string ExecutableDirectory() {
  char name[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, name, MAX_PATH);
  std::string path(name, length);
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".\\") : path.substr(0, cut + 1);
}

std::string DefaultPluginFileName() { return "vezuzaziz.dll"; }

std::string AbsolutePath(const std::string& path) {
  char full[MAX_PATH + 1] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length > MAX_PATH) return path;
  return std::string(full, length);
}

std::string LocalPath(const std::string& windows_path) { return windows_path; }

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

void SetStdoutBinary() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

unsigned long CurrentThreadNumber() { return GetCurrentThreadId(); }

ConsoleTitleText ConsoleTitle() {
  char title[1024] = {};
  const DWORD length = GetConsoleTitleA(title, sizeof title);
  return {std::string(title, length < sizeof title ? length : 0), 0};
}

#else

PluginLibrary::~PluginLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool PluginLibrary::Load(const std::string& path, std::string& error) {
  // A name without a slash would be searched for on the library path.
  const std::string absolute = AbsolutePath(path);
  // The library stays mapped until the process ends, as a host keeps its
  // plug-ins loaded: what the plug-in keeps for its whole lifetime (its
  // module-wide state) then stays reachable, and the leak checkers judge
  // only what the plug-in really loses.
  handle_ = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error = why != nullptr ? why : "cannot load " + absolute;
    return false;
  }
  module_path_ = "Z:" + absolute;
  for (char& c : module_path_)
    if (c == '/') c = '\\';
  return true;
}

void* PluginLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return dlsym(handle_, name);
}

std::string ExecutableDirectory() {
  char name[PATH_MAX + 1] = {};
  const ssize_t length = readlink("/proc/self/exe", name, PATH_MAX);
  if (length <= 0) return "./";
  std::string path(name, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1);
}

std::string DefaultPluginFileName() { return "vezuzaziz.so"; }

std::string AbsolutePath(const std::string& path) {
  std::string joined = path;
  if (joined.empty() || joined[0] != '/') {
    char cwd[PATH_MAX + 1] = {};
    if (getcwd(cwd, PATH_MAX) == nullptr) return path;
    joined = std::string(cwd) + "/" + path;
  }
  // Drop empty and "." parts; ".." stays, since it is not lexical where a
  // symbolic link comes before it.
  std::string out;
  size_t pos = 0;
  while (pos <= joined.size()) {
    size_t end = joined.find('/', pos);
    if (end == std::string::npos) end = joined.size();
    const std::string part = joined.substr(pos, end - pos);
    if (!part.empty() && part != ".") out += "/" + part;
    pos = end + 1;
  }
  return out.empty() ? "/" : out;
}

std::string LocalPath(const std::string& windows_path) {
  std::string path = windows_path;
  if (path.size() >= 3 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':' && path[2] == '\\') path.erase(0, 2);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

bool StdoutIsTerminal() { return isatty(fileno(stdout)) != 0; }

void SetStdoutBinary() {}

unsigned long CurrentThreadNumber() { return static_cast<unsigned long>(pthread_self()); }

namespace {

// The number after "KEY=" on a line of the world's system.ini; `fallback`
// when no line has it.
int SystemSetting(const std::string& world, const std::string& key, int fallback) {
  std::ifstream system(world + "/system.ini", std::ios::binary);
  std::string line;
  while (std::getline(system, line)) {
    if (line.rfind(key + "=", 0) == 0) return std::atoi(line.c_str() + key.size() + 1);
  }
  return fallback;
}

}  // namespace

ConsoleTitleText ConsoleTitle() {
  const char* world = std::getenv("WINAPI_WORLD");
  if (world == nullptr || *world == '\0') return {};
  std::ifstream journal(std::string(world) + "/journal.log", std::ios::binary);
  std::string line, title;
  while (std::getline(journal, line)) {
    if (line.rfind("title ", 0) == 0) title = line.substr(6);
  }
  const bool family95 = SystemSetting(world, "platform_id", 2) == 1;
  return {title, family95 ? SystemSetting(world, "ansi_codepage", 1252) : SystemSetting(world, "oem_codepage", 437)};
}

#endif

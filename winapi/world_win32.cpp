// The world on Windows, for the test remote access library (testras): the
// directory named by WINAPI_WORLD, the journal, and atomic saves. Paths are
// Windows paths already, so the path mappings keep them as they are.
//
// Built only into the Windows test library; the Linux stand-in uses
// world_posix.cpp.
#include "winapi/world.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace world {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Creates the directory and every missing parent; existing ones are fine.
void MakeDirs(const std::string& path) {
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    const std::string partial = path.substr(0, i);
    // Skip "", "C:" and "\\server"-style prefixes: they are not directories to make.
    if (partial.empty() || (partial.size() == 2 && partial[1] == ':')) continue;
    CreateDirectoryA(partial.c_str(), nullptr);
  }
}

// Writes all of `text` to `handle`; false on any short or failed write.
bool WriteAll(HANDLE handle, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(handle, p, chunk, &written, nullptr) || written == 0) return false;
    p += written;
    left -= written;
  }
  return true;
}

}  // namespace

std::string Dir() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetEnvironmentVariableA("WINAPI_WORLD", buffer, sizeof buffer);
  std::string dir = (length > 0 && length < sizeof buffer) ? std::string(buffer, length) : std::string(".\\winworld");
  while (dir.size() > 3 && IsSeparator(dir.back())) dir.pop_back();
  if (GetFileAttributesA(dir.c_str()) == INVALID_FILE_ATTRIBUTES) MakeDirs(dir);
  return dir;
}

std::string FilePath(const std::string& name) { return Dir() + "\\" + name; }

void Journal(const std::string& line) {
  // FILE_APPEND_DATA alone makes every write land at the end of the file, so
  // that one WriteFile per line never interleaves with another process's.
  HANDLE file = CreateFileA(FilePath("journal.log").c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  WriteAll(file, line + "\n");
  CloseHandle(file);
}

std::string HostPath(const std::string& windows_path) { return windows_path; }

std::string WindowsPath(const std::string& host_path) { return host_path; }

FileStamp Stamp(const std::string& path) {
  FileStamp stamp;
  // The 95 family's file systems keep no file numbers and times to two
  // seconds only: there a stamp never vouches for a file.
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return stamp;
  HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return stamp;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!ok || (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0)) return stamp;
  auto wide = [](DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; };
  stamp.known = true;
  stamp.size = wide(info.nFileSizeHigh, info.nFileSizeLow);
  stamp.modified_ns = wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime) * 100u;
  stamp.volume = info.dwVolumeSerialNumber;
  stamp.file_number = wide(info.nFileIndexHigh, info.nFileIndexLow);
  return stamp;
}

bool IniFile::Save(const std::string& path) const {
  if (!MaySave(path)) return false;
  const std::string tmp = path + ".tmp." + std::to_string(GetCurrentProcessId()) + "." +
                          std::to_string(GetCurrentThreadId());
  HANDLE file = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool written = WriteAll(file, Text());
  const bool closed = CloseHandle(file) != 0;
  // MoveFileEx with REPLACE_EXISTING is the rename that overwrites; a plain
  // rename() fails on Windows when the target exists.
  if (!written || !closed || !MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace world

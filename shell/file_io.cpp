// Whole-file reads, atomic replacement, whole-line appends and the
// inter-process lock through the platform's file calls.
#include "shell/file_io.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/nt_functions.h"
#include "shell/text_helpers.h"

namespace {

// How long a rename waits for another process's reader to let go of the
// file (Windows refuses to replace a file that is open without delete
// sharing), and how often it looks.
constexpr DWORD kBusyRetryMs = 2000;
constexpr DWORD kRetryPauseMs = 20;

// Every save's temporary file has a name of its own: the process and a
// count within it, so that two processes saving at once never share one.
std::atomic<unsigned> g_save_count{0};
constexpr char kTemporarySuffix[] = ".new";

std::string TemporaryPathOf(const std::string& path) {
  return path + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++g_save_count) +
         kTemporarySuffix;
}

// Readers share the file for writing and, where the system has it, for
// deleting, so that a save of another process can replace it meanwhile.
// The 95 family refuses FILE_SHARE_DELETE as an invalid parameter.
DWORD ReadSharing() {
  return FILE_SHARE_READ | FILE_SHARE_WRITE | (IsWindows95Family() ? 0 : FILE_SHARE_DELETE);
}

[[noreturn]] void RefuseFile(int message, const std::string& path) { throw PluginError(Msg(message) + path); }

// Refuses a handle that is not a regular disk file.
void RequireDiskFile(HANDLE h, const std::string& path) {
  if (GetFileType(h) != FILE_TYPE_DISK) RefuseFile(MNotRegularFile, path);
}

void WriteAll(HANDLE h, std::string_view data, const std::string& path) {
  size_t done = 0;
  while (done < data.size()) {
    const size_t chunk = std::min<size_t>(data.size() - done, 1u << 20);
    DWORD written = 0;
    if (!WriteFile(h, data.data() + done, static_cast<DWORD>(chunk), &written, nullptr)) {
      throw IoError(path, GetLastError(), "Cannot write");
    }
    if (written == 0) throw IoError(path, ERROR_WRITE_FAULT, "Cannot write");
    done += written;
  }
}

// Reads at most `size` bytes; 0 at the end of the file.
DWORD ReadSome(HANDLE h, char* buffer, size_t size, const std::string& path) {
  DWORD got = 0;
  if (!ReadFile(h, buffer, static_cast<DWORD>(size), &got, nullptr)) throw IoError(path, GetLastError(), "Cannot read");
  return got;
}

bool IsBusyError(DWORD code) { return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED; }

using MoveFileExFunction = decltype(&MoveFileExA);

// A rename that waits a little for a reader of another process: one that
// replaces `to` in one step through `move_ex` (MoveFileExA), or with a null
// `move_ex` a plain MoveFileA, which fails where `to` exists.
bool RenameWaiting(const std::string& from, const std::string& to, MoveFileExFunction move_ex) {
  const DWORD started = GetTickCount();
  for (;;) {
    const BOOL done = move_ex != nullptr
                          ? move_ex(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                          : MoveFileA(from.c_str(), to.c_str());
    if (done) return true;
    const DWORD code = GetLastError();
    if (!IsBusyError(code) || GetTickCount() - started >= kBusyRetryMs) {
      SetLastError(code);
      return false;
    }
    Sleep(kRetryPauseMs);
  }
}

// The replace without MoveFileExA (the 95 family's): MoveFileA cannot
// replace a file, so the old one steps aside first. At every moment either the file or its moved-aside copy
// is whole, and CompleteInterruptedReplace finishes the job after a crash.
void ReplaceInSteps(const std::string& temporary, const std::string& path) {
  const std::string backup = BackupPathOf(path);
  const bool had_file = FileExists(path);
  if (had_file) {
    // A backup left by an earlier save is older than the file itself.
    DeleteFileA(backup.c_str());
    if (!RenameWaiting(path, backup, nullptr)) throw IoError(path, GetLastError(), "Cannot replace");
  }
  if (!RenameWaiting(temporary, path, nullptr)) {
    const DWORD code = GetLastError();
    if (had_file) MoveFileA(backup.c_str(), path.c_str());
    throw IoError(path, code, "Cannot replace");
  }
  // A backup that cannot be deleted now is deleted by the next change.
  if (had_file) DeleteFileA(backup.c_str());
}

}  // namespace

IoError::IoError(const std::string& path, DWORD code, const std::string& action)
    : PluginError(action + " " + path + ": " + SystemErrorText(code)), code_(code) {}

std::string SystemErrorText(DWORD code) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                           sizeof buffer, nullptr);
  std::string text(buffer, std::min<size_t>(n, sizeof buffer));
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "System error " + std::to_string(code) + ".";
  return text;
}

bool IsWindows95Family() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string ReadWholeFile(const std::string& path) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, ReadSharing(), nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) throw IoError(path, GetLastError(), "Cannot open");
  RequireDiskFile(file.Get(), path);
  DWORD high = 0;
  const DWORD low = GetFileSize(file.Get(), &high);
  if (high != 0 || low > kMaxReadBytes) RefuseFile(MFileTooLarge, path);
  std::string data(low, '\0');
  size_t have = 0;
  while (have < data.size()) {
    const DWORD got = ReadSome(file.Get(), data.data() + have, data.size() - have, path);
    if (got == 0) break;
    have += got;
  }
  data.resize(have);
  // What a file that grew since its size was taken holds on, held to the
  // same bound.
  char more[4096];
  for (DWORD got; (got = ReadSome(file.Get(), more, sizeof more, path)) != 0;) {
    if (data.size() + got > kMaxReadBytes) RefuseFile(MFileTooLarge, path);
    data.append(more, got);
  }
  return data;
}

void CheckRegularFileOrMissing(const std::string& path) {
  if (!FileExists(path)) return;
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, ReadSharing(), nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.Valid()) RequireDiskFile(file.Get(), path);
}

std::string BackupPathOf(const std::string& path) { return path + ".old"; }

void ReplaceFileContents(const std::string& path, std::string_view data) {
  const std::string temporary = TemporaryPathOf(path);
  try {
    FileHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.Valid()) throw IoError(temporary, GetLastError(), "Cannot create");
    WriteAll(file.Get(), data, temporary);
    if (!FlushFileBuffers(file.Get())) throw IoError(temporary, GetLastError(), "Cannot write");
    if (!file.Close()) throw IoError(temporary, GetLastError(), "Cannot write");
    const auto move_ex = NtFunction<MoveFileExFunction>("kernel32.dll", "MoveFileExA");
    if (move_ex == nullptr) {
      ReplaceInSteps(temporary, path);
    } else if (!RenameWaiting(temporary, path, move_ex)) {
      throw IoError(path, GetLastError(), "Cannot replace");
    }
  } catch (...) {
    DeleteFileA(temporary.c_str());
    throw;
  }
}

bool CompleteInterruptedReplace(const std::string& path) {
  // One search finds all that a save cut short can leave beside the file:
  // the old file moved aside ("<name>.old") and temporary files of saves
  // that never finished ("<name>.<process>-<n>.new"). The search also
  // matches short names, so each long name is checked again.
  const size_t slash = path.find_last_of("\\/");
  const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string prefix = LowerAscii(path.substr(directory.size()) + ".");
  const std::string backup_name = LowerAscii(BackupPathOf(path).substr(directory.size()));
  bool found = false;
  std::vector<std::string> stale;
  WIN32_FIND_DATAA found_file{};
  HANDLE search = FindFirstFileA((path + ".*").c_str(), &found_file);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if ((found_file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      found_file.cFileName[sizeof found_file.cFileName - 1] = '\0';
      const std::string name = LowerAscii(found_file.cFileName);
      if (name == backup_name) {
        found = true;
      } else if (name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
                 name.compare(name.size() - 4, 4, kTemporarySuffix) == 0) {
        stale.push_back(found_file.cFileName);
      }
    } while (FindNextFileA(search, &found_file));
    FindClose(search);
  }
  if (found) {
    const std::string backup = BackupPathOf(path);
    if (FileExists(path)) {
      DeleteFileA(backup.c_str());
    } else if (!MoveFileA(backup.c_str(), path.c_str())) {
      throw IoError(path, GetLastError(), "Cannot restore");
    }
  }
  for (const std::string& name : stale) DeleteFileA((directory + name).c_str());
  return found;
}

void AppendToFile(const std::string& path, std::string_view data) {
  // Whether the file exists and opening it are two steps; OPEN_ALWAYS
  // covers both cases in one call either way.
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) throw IoError(path, GetLastError(), "Cannot open");
  RequireDiskFile(file.Get(), path);
  LONG end_high = 0;
  SetLastError(NO_ERROR);
  const DWORD end_low = SetFilePointer(file.Get(), 0, &end_high, FILE_END);
  if (end_low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    throw IoError(path, GetLastError(), "Cannot write");
  }
  try {
    WriteAll(file.Get(), data, path);
  } catch (...) {
    // Part of the bytes may have landed: cut them off again, so that the
    // next append starts where this one did.
    LONG high = end_high;
    SetLastError(NO_ERROR);
    if (SetFilePointer(file.Get(), static_cast<LONG>(end_low), &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
        GetLastError() == NO_ERROR) {
      SetEndOfFile(file.Get());
    }
    throw;
  }
  if (!file.Close()) throw IoError(path, GetLastError(), "Cannot write");
}

FileLock::FileLock(const std::string& lock_path, DWORD wait_ms, int busy_message)
    : handle_(CreateFileA(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
  // A failure below leaves the constructor with the handle closed.
  if (!handle_.Valid()) throw IoError(lock_path, GetLastError(), "Cannot open");
  RequireDiskFile(handle_.Get(), lock_path);
  // LockFileEx and UnlockFileEx as a pair, or else LockFile and UnlockFile.
  const auto lock_ex = NtFunction<decltype(&LockFileEx)>("kernel32.dll", "LockFileEx");
  unlock_ex_ = NtFunction<decltype(&UnlockFileEx)>("kernel32.dll", "UnlockFileEx");
  if (lock_ex == nullptr) unlock_ex_ = nullptr;
  const DWORD started = GetTickCount();
  for (;;) {
    // Both ways ask without waiting and wait here, so that the wait is
    // bounded the same way on both.
    OVERLAPPED at_start{};
    const BOOL locked =
        unlock_ex_ == nullptr
            ? LockFile(handle_.Get(), 0, 0, 1, 0)
            : lock_ex(handle_.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at_start);
    if (locked) break;
    const DWORD code = GetLastError();
    if (code != ERROR_LOCK_VIOLATION && code != ERROR_SHARING_VIOLATION) throw IoError(lock_path, code, "Cannot lock");
    if (GetTickCount() - started >= wait_ms) throw PluginError(Msg(busy_message));
    Sleep(kRetryPauseMs);
  }
}

FileLock::~FileLock() {
  // Closing the handle releases the lock on both families; unlocking first
  // lets a waiting process in without waiting for the close.
  if (unlock_ex_ == nullptr) {
    UnlockFile(handle_.Get(), 0, 0, 1, 0);
  } else {
    OVERLAPPED at_start{};
    unlock_ex_(handle_.Get(), 0, 1, 0, &at_start);
  }
  handle_.Close();
}

// Whole-file reads, atomic whole-file writes, whole-line appends and an
// inter-process lock, through the platform's file calls. Failures raise
// IoError naming the file and the system's reason, or PluginError with a
// catalogue text naming the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shell/plugin_error.h"
#include "shell/platform.h"
#include "shell/scoped_handle.h"

class IoError : public PluginError {
 public:
  IoError(const std::string& path, DWORD code, const std::string& action);
  DWORD code() const { return code_; }

 private:
  DWORD code_;
};

// The system's text for an error code, without a trailing line end.
std::string SystemErrorText(DWORD code);

// True on the Windows 95 family (platform id 1), which refuses
// FILE_SHARE_DELETE.
bool IsWindows95Family();

// The most that ReadWholeFile reads: no entry file or after-connect list
// comes near it, and a larger file is a mistake, not data.
constexpr uint64_t kMaxReadBytes = 64ull << 20;

// True when a file (not a directory) exists at the path.
bool FileExists(const std::string& path);
// The file's bytes. A file that is not a regular disk file (a pipe, a
// device) or is larger than kMaxReadBytes is refused with a PluginError
// naming it; nothing waits on such a file.
std::string ReadWholeFile(const std::string& path);
// Refuses, as ReadWholeFile does, a file at the path that exists but is not
// a regular disk file; a missing file passes (the caller says what that means).
void CheckRegularFileOrMissing(const std::string& path);
// Replaces the file's contents: the bytes go to a temporary file of this
// save's own beside it, which is flushed and then takes the file's place:
// in one step with MoveFileExA where the system has it (the NT family,
// shell/nt_functions.h); elsewhere (the 95 family) the old file is moved
// aside to BackupPathOf(path), the new one renamed into place and the old
// one deleted. On any failure the old file is left whole (or put
// back) and the temporary file is removed.
void ReplaceFileContents(const std::string& path, std::string_view data);
// Where the 95-family replace keeps the old file while the new one moves in.
std::string BackupPathOf(const std::string& path);
// Finishes what a replace of `path` that was cut short left behind: an old
// file moved aside comes back when the file is missing (the new one never
// got there) and is deleted otherwise (the new one is in place); temporary
// files of earlier saves are deleted. Only safe while holding the file's
// FileLock. Returns true when a moved-aside old file was found.
bool CompleteInterruptedReplace(const std::string& path);
// Appends the bytes to the file, creating it when it does not exist. The
// bytes land whole or not at all: after a short write the file is cut back
// to its length before the call.
void AppendToFile(const std::string& path, std::string_view data);

// An exclusive lock on the lock file `lock_path` (created when missing),
// shared by every process: LockFileEx where the system has it and
// UnlockFileEx too (the NT family), LockFile elsewhere (the 95 family). The constructor waits up to `wait_ms` for a lock that another
// holder has and then raises PluginError with the catalogue text
// `busy_message`; the lock is released when the object goes.
class FileLock {
 public:
  FileLock(const std::string& lock_path, DWORD wait_ms, int busy_message);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  FileHandle handle_;
  // The unlock that goes with the lock taken: UnlockFileEx, or null for
  // UnlockFile.
  decltype(&UnlockFileEx) unlock_ex_ = nullptr;
};

// kernel32: files, directories and directory searches over the machine's
// file system, with Windows paths mapped through world::HostPath and names
// matched without regard to case as on Windows.
#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "winapi/file_object.h"
#include "winapi/handles.h"
#include "winapi/standin_control.h"
#include "winapi/standin_internal.h"
#include "winapi/windows.h"
#include "winapi/world.h"

namespace standin {
namespace {

constexpr DWORD kErrorNegativeSeek = 131;

// ---- Case-insensitive path resolution ----------------------------------------

// The existing entry of `dir` whose name equals `name` without regard to
// ASCII case; the exact spelling wins. Empty when there is none.
std::string MatchInDir(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return "";
  std::string found;
  while (struct dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == name) {
      found = n;
      break;
    }
    if (found.empty() && EqualNoCase(n, name)) found = n;
  }
  closedir(d);
  return found;
}

// A host path with each component that does not exist as spelled replaced
// by an existing entry that differs only in case. Components that match
// nothing are kept as they are (a file about to be created).
std::string ResolveCase(const std::string& host) {
  struct stat st {};
  if (host.empty() || lstat(host.c_str(), &st) == 0) return host;
  // Most often only the last component is missing as spelled (a file about
  // to be created, or named in another case): one look at its directory.
  const size_t slash = host.rfind('/');
  if (slash != std::string::npos && slash > 0 && slash + 1 < host.size()) {
    const std::string dir = host.substr(0, slash);
    if (lstat(dir.c_str(), &st) == 0) {
      const std::string match = MatchInDir(dir, host.substr(slash + 1));
      return match.empty() ? host : dir + "/" + match;
    }
  }
  std::string out;
  size_t pos = 0;
  if (host[0] == '/') {
    out = "/";
    pos = 1;
  }
  bool missing = false;
  while (pos <= host.size()) {
    size_t next = host.find('/', pos);
    if (next == std::string::npos) next = host.size();
    std::string comp = host.substr(pos, next - pos);
    if (!comp.empty()) {
      std::string dir = out;
      std::string candidate = (out.empty() || out.back() == '/') ? out + comp : out + "/" + comp;
      if (!missing && comp != "." && comp != ".." && lstat(candidate.c_str(), &st) != 0) {
        std::string match = MatchInDir(dir.empty() ? "." : dir, comp);
        if (!match.empty()) {
          candidate = (out.empty() || out.back() == '/') ? out + match : out + "/" + match;
        } else {
          missing = true;
        }
      }
      out = candidate;
    }
    if (next == host.size()) break;
    pos = next + 1;
  }
  if (!host.empty() && host.back() == '/' && (out.empty() || out.back() != '/')) out += "/";
  return out;
}

std::string HostOf(const char* windows_path) { return ResolveCase(world::HostPath(windows_path)); }

// Wildcards and the other characters no file name may hold: a name with one
// of them cannot be opened, moved or deleted (ERROR_INVALID_NAME).
bool HasInvalidNameCharacter(const char* windows_path) { return std::strpbrk(windows_path, "*?<>|\"") != nullptr; }

std::string ParentOf(const std::string& host) {
  std::string p = host;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

// ENOENT names a missing file when its directory exists, else a missing path.
DWORD MissingError(const std::string& host) {
  struct stat st {};
  std::string parent = ParentOf(host);
  if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

DWORD PathError(int err, const std::string& host) {
  if (err == ENOENT) return MissingError(host);
  return WinErrorFromErrno(err);
}

// ---- Write fault injection -------------------------------------------------------------

std::mutex g_fault_mutex;
long g_write_count = 0;  // WriteFile calls that the fault counts so far

// True when this WriteFile is the one that system.ini [faults] fail_write
// (or WINAPI_FAIL_WRITE) names. With fail_write_path only writes to files
// whose path contains that text are counted.
bool WriteShouldFail(const FileObject& file) {
  long target = 0;
  if (const char* env = std::getenv("WINAPI_FAIL_WRITE")) target = std::atol(env);
  auto ini = SystemIni();
  if (target <= 0) target = ini->GetInt("faults", "fail_write", 0);
  if (target <= 0) return false;
  std::string filter = ini->Get("faults", "fail_write_path", "");
  if (!filter.empty() && file.path().find(filter) == std::string::npos &&
      file.host_path.find(filter) == std::string::npos)
    return false;
  std::lock_guard<std::mutex> lock(g_fault_mutex);
  return ++g_write_count == target;
}

// ---- Find handles ----------------------------------------------------------------------

struct FoundEntry {
  std::string name;
  DWORD attributes;
  uint64_t size;
  FILETIME written;
};

class FindObject : public HandleObject {
 public:
  bool OnClose(DWORD* error) override {
    *error = ERROR_INVALID_HANDLE;  // only FindClose ends a search
    return false;
  }
  std::mutex mutex;
  std::vector<FoundEntry> entries;
  size_t next = 0;
};

FILETIME ToFileTime(const struct timespec& ts) {
  // 100-nanosecond steps since 1601-01-01.
  uint64_t t = (static_cast<uint64_t>(ts.tv_sec) + 11644473600ull) * 10000000ull +
               static_cast<uint64_t>(ts.tv_nsec) / 100u;
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

DWORD AttributesOf(const struct stat& st, const std::string& name) {
  DWORD a = 0;
  if (S_ISDIR(st.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
  else a |= FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") a |= FILE_ATTRIBUTE_HIDDEN;
  return a;
}

// Windows wildcard matching: "*" any run, "?" one character, without regard
// to ASCII case.
bool WildMatch(const char* pat, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pat == '*') {
      star = pat++;
      resume = name;
    } else if (*pat == '?' ||
               std::tolower(static_cast<unsigned char>(*pat)) == std::tolower(static_cast<unsigned char>(*name))) {
      ++pat;
      ++name;
    } else if (star) {
      pat = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pat == '*') ++pat;
  return *pat == '\0';
}

bool PatternMatches(const std::string& pattern, const std::string& name) {
  // "*.*" is every name, with or without a dot, and a pattern ending in ".*"
  // also matches the name without the dot.
  if (pattern == "*.*") return true;
  if (WildMatch(pattern.c_str(), name.c_str())) return true;
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
    return WildMatch(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
  return false;
}

void FillFindData(const FoundEntry& e, LPWIN32_FIND_DATAA data) {
  std::memset(data, 0, sizeof(*data));
  data->dwFileAttributes = e.attributes;
  data->ftCreationTime = e.written;
  data->ftLastAccessTime = e.written;
  data->ftLastWriteTime = e.written;
  data->nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(e.size);
  std::strncpy(data->cFileName, e.name.c_str(), MAX_PATH - 1);
}

// The file behind a handle opened for writing; null, with the last error
// set (6 or 5), for any other handle.
std::shared_ptr<FileObject> WritableFile(HANDLE hFile) {
  auto file = LookupHandleAs<FileObject>(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!file->can_write()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return file;
}

// A reload of the world restarts the count of the write fault.
void ResetFileFaults() {
  std::lock_guard<std::mutex> lock(g_fault_mutex);
  g_write_count = 0;
}

const bool kReloadHook = (StandinAddReloadHook(&ResetFileFaults), true);

}  // namespace
}  // namespace standin

using namespace standin;

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  (void)dwShareMode;
  (void)lpSecurityAttributes;
  (void)dwFlagsAndAttributes;
  (void)hTemplateFile;
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool want_read = dwDesiredAccess & GENERIC_READ;
  bool want_write = dwDesiredAccess & GENERIC_WRITE;
  bool append_only = !want_write && (dwDesiredAccess & FILE_APPEND_DATA);
  int flags = O_CLOEXEC;
  if ((want_write || append_only) && want_read) flags |= O_RDWR;
  else if (want_write || append_only) flags |= O_WRONLY;
  else flags |= O_RDONLY;
  if (append_only) flags |= O_APPEND;
  switch (dwCreationDisposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      if (!want_write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  std::string host = HostOf(lpFileName);
  if (host.size() > 1 && host.back() == '/') {
    // "name\": a directory that is there cannot be opened as a file (5),
    // a file cannot be named as a directory (123), and a name that is not
    // there is missing (2 or 3) to open and invalid (123) to create, as
    // Windows reports them.
    struct stat named {};
    const std::string bare = host.substr(0, host.find_last_not_of('/') + 1);
    const bool creates = dwCreationDisposition != OPEN_EXISTING && dwCreationDisposition != TRUNCATE_EXISTING;
    if (stat(bare.c_str(), &named) != 0) {
      SetLastError(creates ? static_cast<DWORD>(ERROR_INVALID_NAME) : MissingError(bare));
    } else {
      SetLastError(S_ISDIR(named.st_mode) ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : static_cast<DWORD>(ERROR_INVALID_NAME));
    }
    return INVALID_HANDLE_VALUE;
  }
  struct stat before {};
  bool existed = stat(host.c_str(), &before) == 0;
  if (existed && S_ISDIR(before.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (existed && dwCreationDisposition == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  // Opening never waits, as on Windows: a FIFO without a writer would block
  // open(2). The descriptor blocks again for the reads and writes.
  int fd = open(host.c_str(), flags | O_NONBLOCK, 0666);
  if (fd < 0) {
    int err = errno;
    SetLastError(err == EEXIST ? static_cast<DWORD>(ERROR_FILE_EXISTS) : PathError(err, host));
    return INVALID_HANDLE_VALUE;
  }
  fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);  // F_SETFL takes only the status flags of these
  auto file = std::make_shared<FileObject>(fd, true, want_read, want_write || append_only, lpFileName);
  file->host_path = host;
  HANDLE h = RegisterHandle(file);
  // Creating dispositions report whether the file was there already.
  bool reports = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
  SetLastError(reports && existed ? static_cast<DWORD>(ERROR_ALREADY_EXISTS) : static_cast<DWORD>(ERROR_SUCCESS));
  return h;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     void* lpOverlapped) {
  auto file = LookupHandleAs<FileObject>(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpOverlapped || !lpNumberOfBytesRead || (!lpBuffer && nNumberOfBytesToRead)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpNumberOfBytesRead = 0;
  if (!file->can_read()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  size_t done = 0;
  auto* out = static_cast<char*>(lpBuffer);
  while (done < nNumberOfBytesToRead) {
    ssize_t n = read(file->fd(), out + done, nNumberOfBytesToRead - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *lpNumberOfBytesRead = static_cast<DWORD>(done);
      SetLastError(errno == EIO ? static_cast<DWORD>(ERROR_READ_FAULT) : WinErrorFromErrno(errno));
      return FALSE;
    }
    if (n == 0) break;  // end of file: success with what was read
    done += static_cast<size_t>(n);
    if (file->console_input) break;  // a console read returns what is there
  }
  *lpNumberOfBytesRead = static_cast<DWORD>(done);
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      void* lpOverlapped) {
  auto file = LookupHandleAs<FileObject>(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpOverlapped || !lpNumberOfBytesWritten || (!lpBuffer && nNumberOfBytesToWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpNumberOfBytesWritten = 0;
  if (!file->can_write()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (WriteShouldFail(*file)) {
    // A disk that fills in the middle of the write: [faults] fail_write_bytes
    // of its bytes land before it fails.
    const long landed = std::clamp<long>(SystemIni()->GetInt("faults", "fail_write_bytes", 0), 0,
                                         static_cast<long>(nNumberOfBytesToWrite));
    ssize_t n = landed > 0 ? write(file->fd(), lpBuffer, static_cast<size_t>(landed)) : 0;
    *lpNumberOfBytesWritten = n > 0 ? static_cast<DWORD>(n) : 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  size_t done = 0;
  const auto* in = static_cast<const char*>(lpBuffer);
  while (done < nNumberOfBytesToWrite) {
    ssize_t n = write(file->fd(), in + done, nNumberOfBytesToWrite - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *lpNumberOfBytesWritten = static_cast<DWORD>(done);
      SetLastError(WinErrorFromErrno(errno));
      return FALSE;
    }
    done += static_cast<size_t>(n);
  }
  *lpNumberOfBytesWritten = static_cast<DWORD>(done);
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  auto file = LookupHandleAs<FileObject>(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t distance = lpDistanceToMoveHigh
                         ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh))
                                                 << 32) |
                                                static_cast<uint32_t>(lDistanceToMove))
                         : static_cast<int64_t>(lDistanceToMove);
  int whence;
  switch (dwMoveMethod) {
    case FILE_BEGIN:
      whence = SEEK_SET;
      break;
    case FILE_CURRENT:
      whence = SEEK_CUR;
      break;
    case FILE_END:
      whence = SEEK_END;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
  }
  off_t pos = lseek(file->fd(), static_cast<off_t>(distance), whence);
  if (pos < 0) {
    SetLastError(errno == EINVAL ? kErrorNegativeSeek : WinErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  uint64_t upos = static_cast<uint64_t>(pos);
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(upos >> 32);
  // Success leaves the last error alone, except that a position whose low
  // part is 0xFFFFFFFF clears it, so that it can be told apart from a failure.
  if (static_cast<DWORD>(upos) == INVALID_SET_FILE_POINTER) SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(upos);
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  auto file = LookupHandleAs<FileObject>(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  struct stat st {};
  if (fstat(file->fd(), &st) != 0) {
    SetLastError(WinErrorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  uint64_t size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  auto file = WritableFile(hFile);
  if (!file) return FALSE;
#ifndef WINAPI_SKIP_FLUSHES  // defined by the fuzz build only
  if (fsync(file->fd()) != 0 && errno != EINVAL && errno != EROFS) {
    SetLastError(WinErrorFromErrno(errno));
    return FALSE;
  }
#endif
  return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  std::string host = HostOf(lpFileName);
  struct stat st {};
  if (stat(host.c_str(), &st) != 0) {
    SetLastError(PathError(errno, host));
    return INVALID_FILE_ATTRIBUTES;
  }
  std::string name = host.substr(host.rfind('/') == std::string::npos ? 0 : host.rfind('/') + 1);
  return AttributesOf(st, name);
}

namespace standin {
namespace {

// The Windows 95 family implements neither MoveFileExA nor LockFileEx (nor
// UnlockFileEx); called there directly, the stand-in's fail with
// ERROR_CALL_NOT_IMPLEMENTED. (The plug-in finds them at run time and does
// not use them on that family.)
bool OnWindows95Family() {
  if (SystemIni()->GetInt("system", "platform_id", VER_PLATFORM_WIN32_NT) != VER_PLATFORM_WIN32_WINDOWS) return false;
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return true;
}

BOOL MoveFileWithFlags(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
  if (!lpExistingFileName || !lpNewFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (HasInvalidNameCharacter(lpExistingFileName) || HasInvalidNameCharacter(lpNewFileName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  std::string from = HostOf(lpExistingFileName);
  std::string to = HostOf(lpNewFileName);
  struct stat src {};
  if (lstat(from.c_str(), &src) != 0) {
    SetLastError(PathError(errno, from));
    return FALSE;
  }
  struct stat dst {};
  bool exists = lstat(to.c_str(), &dst) == 0;
  bool same = exists && src.st_dev == dst.st_dev && src.st_ino == dst.st_ino;
  if (exists && !same) {
    if (!(dwFlags & MOVEFILE_REPLACE_EXISTING)) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    if (S_ISDIR(dst.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  int rc = (exists || (dwFlags & MOVEFILE_REPLACE_EXISTING))
               ? rename(from.c_str(), to.c_str())
               : renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && errno == EINVAL && !exists && !(dwFlags & MOVEFILE_REPLACE_EXISTING)) {
    rc = rename(from.c_str(), to.c_str());  // file systems without RENAME_NOREPLACE
  }
  if (rc != 0) {
    int err = errno;
    SetLastError(err == EEXIST ? static_cast<DWORD>(ERROR_ALREADY_EXISTS) : PathError(err, to));
    return FALSE;
  }
#ifdef WINAPI_SKIP_FLUSHES
  dwFlags &= ~static_cast<DWORD>(MOVEFILE_WRITE_THROUGH);
#endif
  if (dwFlags & MOVEFILE_WRITE_THROUGH) {
    int dfd = open(ParentOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
      fsync(dfd);
      close(dfd);
    }
  }
  return TRUE;
}

}  // namespace
}  // namespace standin

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
  if (OnWindows95Family()) return FALSE;
  constexpr DWORD kKnownFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (dwFlags & ~kKnownFlags) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return MoveFileWithFlags(lpExistingFileName, lpNewFileName, dwFlags);
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  return MoveFileWithFlags(lpExistingFileName, lpNewFileName, 0);
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (HasInvalidNameCharacter(lpFileName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  std::string host = HostOf(lpFileName);
  struct stat st {};
  if (lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (unlink(host.c_str()) != 0) {
    SetLastError(PathError(errno, host));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  (void)lpSecurityAttributes;
  if (!lpPathName || !*lpPathName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string host = HostOf(lpPathName);
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  if (mkdir(host.c_str(), 0777) != 0) {
    int err = errno;
    SetLastError(err == ENOENT ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND) : WinErrorFromErrno(err));
    return FALSE;
  }
  return TRUE;
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (!lpFileName || !lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string win = lpFileName;
  size_t cut = win.find_last_of("\\/");
  std::string pattern = cut == std::string::npos ? win : win.substr(cut + 1);
  std::string dir_win = cut == std::string::npos ? std::string() : win.substr(0, cut + 1);
  if (pattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (dir_win.size() == 2 && dir_win[1] == ':') dir_win += "\\";  // "C:" alone is that drive's root here
  // A drive's root directory lists no "." and "..".
  const bool drive_root = dir_win.size() >= 3 && dir_win[1] == ':' && dir_win.find_first_not_of("\\/", 2) == std::string::npos;
  std::string dir = dir_win.empty() ? std::string(".") : HostOf(dir_win.c_str());
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  DIR* d = opendir(dir.c_str());
  if (!d) {
    int err = errno;
    SetLastError(err == ENOENT || err == ENOTDIR ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND) : WinErrorFromErrno(err));
    return INVALID_HANDLE_VALUE;
  }
  auto search = std::make_shared<FindObject>();
  std::vector<FoundEntry> dots;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (!PatternMatches(pattern, name)) continue;
    struct stat st {};
    std::string full = dir == "/" ? "/" + name : dir + "/" + name;
    if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
    FoundEntry entry{name, AttributesOf(st, name), S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size),
                     ToFileTime(st.st_mtim)};
    // "." and ".." come first, as the system lists them.
    if (name == "." || name == "..") {
      if (!drive_root && dir != "/") dots.push_back(entry);
    } else {
      search->entries.push_back(entry);
    }
  }
  closedir(d);
  // The order of a directory of this machine depends on its file system;
  // NTFS lists names in order, letters compared as capitals. So do we, so
  // that a search gives the same order on every machine.
  std::sort(search->entries.begin(), search->entries.end(), [](const FoundEntry& a, const FoundEntry& b) {
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), [](char x, char y) {
      return std::toupper(static_cast<unsigned char>(x)) < std::toupper(static_cast<unsigned char>(y));
    });
  });
  if (dots.size() == 2 && dots[0].name == "..") std::swap(dots[0], dots[1]);
  search->entries.insert(search->entries.begin(), dots.begin(), dots.end());
  if (search->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  FillFindData(search->entries[0], lpFindFileData);
  search->next = 1;
  return RegisterHandle(search);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  auto search = LookupHandleAs<FindObject>(hFindFile);
  if (!search) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(search->mutex);
  if (search->next >= search->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  FillFindData(search->entries[search->next++], lpFindFileData);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  if (!LookupHandleAs<FindObject>(hFindFile) || !UnregisterHandle(hFindFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetFileType(HANDLE hFile) {
  auto file = LookupHandleAs<FileObject>(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(NO_ERROR);
  if (file->console_input) return FILE_TYPE_CHAR;
  struct stat st {};
  if (fstat(file->fd(), &st) != 0) {
    SetLastError(WinErrorFromErrno(errno));
    return FILE_TYPE_UNKNOWN;
  }
  if (S_ISREG(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_CHAR;  // character and block devices alike
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  auto file = WritableFile(hFile);
  if (!file) return FALSE;
  const off_t at = lseek(file->fd(), 0, SEEK_CUR);
  if (at < 0 || ftruncate(file->fd(), at) != 0) {
    SetLastError(WinErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

// ---- Byte-range locks ---------------------------------------------------------------------
//
// Open-file-description locks of the host: held per handle, shared by every
// process on the machine, released when the handle is closed, as Windows
// does. An exclusive lock is taken whatever access the handle has.

namespace {

BOOL ChangeLock(HANDLE hFile, short type, bool wait, uint64_t offset, DWORD low, DWORD high) {
  auto file = LookupHandleAs<FileObject>(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const uint64_t length = (static_cast<uint64_t>(high) << 32) | low;
  if (length == 0 || length > static_cast<uint64_t>(INT64_MAX) || offset > static_cast<uint64_t>(INT64_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  for (;;) {
    if (fcntl(file->fd(), wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) return TRUE;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) {
      SetLastError(ERROR_LOCK_VIOLATION);
    } else {
      SetLastError(WinErrorFromErrno(errno));
    }
    return FALSE;
  }
}

uint64_t OffsetOf(DWORD low, DWORD high) { return (static_cast<uint64_t>(high) << 32) | low; }

}  // namespace

BOOL WINAPI LockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh, DWORD nNumberOfBytesToLockLow,
                     DWORD nNumberOfBytesToLockHigh) {
  return ChangeLock(hFile, F_WRLCK, false, OffsetOf(dwFileOffsetLow, dwFileOffsetHigh), nNumberOfBytesToLockLow,
                    nNumberOfBytesToLockHigh);
}

BOOL WINAPI UnlockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh, DWORD nNumberOfBytesToUnlockLow,
                       DWORD nNumberOfBytesToUnlockHigh) {
  return ChangeLock(hFile, F_UNLCK, false, OffsetOf(dwFileOffsetLow, dwFileOffsetHigh), nNumberOfBytesToUnlockLow,
                    nNumberOfBytesToUnlockHigh);
}

BOOL WINAPI LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD dwReserved, DWORD nNumberOfBytesToLockLow,
                       DWORD nNumberOfBytesToLockHigh, LPOVERLAPPED lpOverlapped) {
  if (OnWindows95Family()) return FALSE;
  if (dwReserved != 0 || !lpOverlapped || (dwFlags & ~(LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Every lock is exclusive here: the plug-in takes no shared ones.
  return ChangeLock(hFile, F_WRLCK, !(dwFlags & LOCKFILE_FAIL_IMMEDIATELY),
                    OffsetOf(lpOverlapped->Offset, lpOverlapped->OffsetHigh), nNumberOfBytesToLockLow,
                    nNumberOfBytesToLockHigh);
}

BOOL WINAPI UnlockFileEx(HANDLE hFile, DWORD dwReserved, DWORD nNumberOfBytesToUnlockLow,
                         DWORD nNumberOfBytesToUnlockHigh, LPOVERLAPPED lpOverlapped) {
  if (OnWindows95Family()) return FALSE;
  if (dwReserved != 0 || !lpOverlapped) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ChangeLock(hFile, F_UNLCK, false, OffsetOf(lpOverlapped->Offset, lpOverlapped->OffsetHigh),
                    nNumberOfBytesToUnlockLow, nNumberOfBytesToUnlockHigh);
}

// What GetProcAddress finds in the pseudo module "kernel32.dll": the calls
// the plug-in looks up at run time because the 95 family lacks them.
extern "C" {
int StandinAnchor_kernel32_file = 0;
}

namespace {

const bool kRegistered = [] {
  StandinRegisterProc("kernel32.dll", "MoveFileExA", StandinProc(&MoveFileExA));
  StandinRegisterProc("kernel32.dll", "LockFileEx", StandinProc(&LockFileEx));
  StandinRegisterProc("kernel32.dll", "UnlockFileEx", StandinProc(&UnlockFileEx));
  return true;
}();

}  // namespace

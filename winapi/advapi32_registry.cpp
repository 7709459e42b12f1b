// advapi32: the registry, kept in registry.reg of the world as REGEDIT4 text.
//
// Every call first makes sure the tree in memory is the file's present
// content (reading it again when its stamp changed on disk, so a change made
// by another process or by a person is seen at the next call), and every
// change writes the whole file again through a temporary file and a rename,
// under an exclusive lock on registry.reg.lock so that two processes never
// lose each other's changes. Handles name their key by path, so they outlive
// reloads.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "winapi/reg_file.h"
#include "winapi/standin_control.h"
#include "winapi/standin_internal.h"
#include "winapi/windows.h"
#include "winapi/world.h"

namespace standin {
namespace {

struct OpenKey {
  std::string path;
  REGSAM access;
};

// What tells that registry.reg changed: its identity, size and modification
// time. A file changed again within the tick of the clock that stamps files
// keeps its time, so a stamp taken within the tick of its time is not
// settled, and the file is read again at the next call.
struct FileStamp {
  bool settled = false;
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  struct timespec mtime {};
  bool operator==(const FileStamp& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

constexpr DWORD kErrorBadDb = 1009;

std::recursive_mutex g_mutex;
RegTree g_tree;
std::string g_loaded_path;
FileStamp g_loaded_stamp;
bool g_loaded = false;
std::map<uintptr_t, OpenKey> g_handles;
uintptr_t g_next_handle = 0x10000;

FileStamp Stamp(const std::string& path) {
  FileStamp s;
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtime = st.st_mtim;
  }
  s.settled = s.mtime.tv_sec < now.tv_sec || (s.mtime.tv_sec == now.tv_sec && s.mtime.tv_nsec < now.tv_nsec);
  return s;
}

std::string RegistryPath() { return world::FilePath("registry.reg"); }

// Brings the tree up to the file's content. The stamp is taken before the
// read, so that a change made meanwhile is seen by the next call.
void Refresh() {
  const std::string path = RegistryPath();
  const FileStamp stamp = Stamp(path);
  if (g_loaded && path == g_loaded_path && g_loaded_stamp.settled && stamp == g_loaded_stamp) return;
  std::string text;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char buffer[16384];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      text.append(buffer, static_cast<size_t>(n));
      if (static_cast<size_t>(n) < sizeof buffer) break;  // a regular file's end
    }
    close(fd);
  }
  g_tree = ParseRegText(text);
  g_loaded_path = path;
  g_loaded_stamp = stamp;
  g_loaded = true;
}

// Holds the world's registry lock file for the duration of a change.
class ChangeLock {
 public:
  ChangeLock() {
    fd_ = open(world::FilePath("registry.reg.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~ChangeLock() {
    if (fd_ >= 0) close(fd_);
  }
  ChangeLock(const ChangeLock&) = delete;
  ChangeLock& operator=(const ChangeLock&) = delete;

 private:
  int fd_ = -1;
};

// Writes the tree: ERROR_SUCCESS, or with nothing changed on disk
// ERROR_CANTWRITE when the file cannot be written, and ERROR_BADDB when it
// was read with a line not understood (rewriting it would drop that line).
LSTATUS Save() {
  std::string path = RegistryPath();
  if (g_tree.not_understood != 0) {
    world::Journal("not rewritten: " + path + " line " + std::to_string(g_tree.not_understood) +
                   " is not understood");
    g_loaded = false;  // the change stays in memory only: read the file again
    return static_cast<LSTATUS>(kErrorBadDb);
  }
  std::string tmp = path + ".tmp." + std::to_string(getpid());
  std::string text = RegText(g_tree);
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    g_loaded = false;  // memory may now differ from the file: reload next time
    return ERROR_CANTWRITE;
  }
  g_loaded_stamp = Stamp(path);
  return ERROR_SUCCESS;
}

const char* RootName(HKEY key) {
  if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (key == HKEY_DYN_DATA) return "HKEY_DYN_DATA";
  return nullptr;
}

bool IsPredefined(HKEY key) {
  uintptr_t v = reinterpret_cast<uintptr_t>(key);
  return (v & 0xFFFFFFF0u) == 0x80000000u && (v >> 32) == 0;
}

// The key path and access a handle stands for; false for an unknown handle.
bool Resolve(HKEY key, std::string* path, REGSAM* access) {
  if (const char* root = RootName(key)) {
    *path = root;
    *access = KEY_ALL_ACCESS;
    return true;
  }
  auto it = g_handles.find(reinterpret_cast<uintptr_t>(key));
  if (it == g_handles.end()) return false;
  *path = it->second.path;
  *access = it->second.access;
  return true;
}

// Joins a sub-key to a key path. A trailing backslash is accepted; a leading
// one, or an empty component between two backslashes, is not.
LSTATUS JoinSubKey(const std::string& base, const char* sub, std::string* out) {
  std::string s = sub ? sub : "";
  while (!s.empty() && s.back() == '\\') s.pop_back();
  if (s.empty()) {
    *out = base;
    return ERROR_SUCCESS;
  }
  if (s[0] == '\\' || s.find("\\\\") != std::string::npos) return ERROR_BAD_PATHNAME;
  *out = base + "\\" + s;
  return ERROR_SUCCESS;
}

// system.ini [faults] readonly_keys: keys (and everything below them) that
// refuse creation and writes. system.ini is read once per world, until the
// world is reloaded (ResetRegistry), so the list is kept with it: finding
// the file again would cost every creation of a key a stat.
std::vector<std::string> g_readonly_keys;
std::string g_readonly_world;
bool g_readonly_known = false;

const std::vector<std::string>& ReadOnlyKeys() {
  const char* env = std::getenv("WINAPI_WORLD");
  const std::string_view world = env != nullptr ? env : "";
  if (!g_readonly_known || world != g_readonly_world) {
    g_readonly_keys.clear();
    for (std::string p : SplitList(SystemIni()->Get("faults", "readonly_keys", ""))) {
      while (!p.empty() && p.back() == '\\') p.pop_back();
      if (!p.empty()) g_readonly_keys.push_back(p);
    }
    g_readonly_world = world;
    g_readonly_known = true;
  }
  return g_readonly_keys;
}

bool IsReadOnly(const std::string& path) {
  for (const std::string& p : ReadOnlyKeys()) {
    if (EqualNoCase(path, p)) return true;
    if (path.size() > p.size() && path[p.size()] == '\\' && EqualNoCase(path.substr(0, p.size()), p)) return true;
  }
  return false;
}

// A root key always exists, with or without a section of its own.
bool IsRootPath(const std::string& path) { return path.find('\\') == std::string::npos; }

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK;
constexpr DWORD kRegMultiSz = 7;

HKEY NewHandle(const std::string& path, REGSAM access) {
  uintptr_t id = g_next_handle;
  g_next_handle += 4;
  g_handles[id] = OpenKey{path, access};
  return reinterpret_cast<HKEY>(id);
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == kRegMultiSz; }

// Copies a value's data out the way RegQueryValueExA and RegEnumValueA do.
LSTATUS CopyData(const RegValue& v, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  // The room is read before anything is written: a caller may pass the same
  // variable for the type and the size. The size is written last.
  const DWORD room = lpcbData ? *lpcbData : 0;
  const DWORD size = static_cast<DWORD>(v.data.size());
  LSTATUS rc = ERROR_SUCCESS;
  if (lpData) {
    if (room < size) {
      rc = ERROR_MORE_DATA;
    } else if (size) {
      std::memcpy(lpData, v.data.data(), size);
      // A string stored without its zero gets one when the buffer has room
      // for it, as the NT family does; the size stays that of the data.
      if (IsStringType(v.type) && size < room && v.data.back() != 0) lpData[size] = 0;
    }
  }
  if (lpType) *lpType = v.type;
  if (lpcbData) *lpcbData = size;
  return rc;
}

// A reload of the world reads registry.reg afresh.
void ResetRegistry() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  g_loaded = false;
  g_readonly_known = false;
  g_tree = RegTree();
}

const bool kReloadHook = (StandinAddReloadHook(&ResetRegistry), true);

}  // namespace
}  // namespace standin

using namespace standin;

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition) {
  (void)Reserved;
  (void)lpClass;
  (void)dwOptions;
  (void)lpSecurityAttributes;
  if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  std::string base;
  REGSAM base_access = 0;
  if (!Resolve(hKey, &base, &base_access)) return ERROR_INVALID_HANDLE;
  std::string path;
  if (LSTATUS rc = JoinSubKey(base, lpSubKey, &path)) return rc;
  Refresh();
  if (!g_tree.Find(base) && !IsRootPath(base)) return static_cast<LSTATUS>(kErrorKeyDeleted);
  RegKey* existing = g_tree.Find(path);
  if (existing || IsRootPath(path)) {
    if ((samDesired & kWriteRights) && IsReadOnly(path)) return ERROR_ACCESS_DENIED;
    if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    *phkResult = NewHandle(existing ? existing->path : path, samDesired);
    return ERROR_SUCCESS;
  }
  // As on Windows, the parent handle's own rights do not matter here.
  if (IsReadOnly(path)) return ERROR_ACCESS_DENIED;
  ChangeLock change;
  Refresh();
  bool created = false;
  RegKey* key = g_tree.Create(path, &created);
  std::string stored = key->path;
  if (LSTATUS rc = created ? Save() : static_cast<LSTATUS>(ERROR_SUCCESS)) {
    Refresh();
    return rc;
  }
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *phkResult = NewHandle(stored, samDesired);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  (void)ulOptions;
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  std::string base;
  REGSAM base_access = 0;
  if (!Resolve(hKey, &base, &base_access)) return ERROR_INVALID_HANDLE;
  *phkResult = nullptr;  // whatever fails from here on, the caller holds no key
  std::string path;
  if (LSTATUS rc = JoinSubKey(base, lpSubKey, &path)) return rc;
  Refresh();
  if (!IsRootPath(base) && !g_tree.Find(base)) return static_cast<LSTATUS>(kErrorKeyDeleted);
  const RegKey* key = g_tree.Find(path);
  if (!key && !IsRootPath(path)) return ERROR_FILE_NOT_FOUND;
  if ((samDesired & kWriteRights) && IsReadOnly(path)) return ERROR_ACCESS_DENIED;
  *phkResult = NewHandle(key ? key->path : path, samDesired);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (IsPredefined(hKey)) return ERROR_SUCCESS;
  if (g_handles.erase(reinterpret_cast<uintptr_t>(hKey)) == 0) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

namespace {

// Finds the handle's key for a value operation that needs `right`.
LSTATUS KeyFor(HKEY hKey, REGSAM right, RegKey** key, std::string* path) {
  REGSAM access = 0;
  if (!Resolve(hKey, path, &access)) return ERROR_INVALID_HANDLE;
  if (!(access & right)) return ERROR_ACCESS_DENIED;
  Refresh();
  *key = g_tree.Find(*path);
  // A root key without a section has no values yet; any other key that is
  // gone was deleted while the handle was open.
  if (!*key && !IsRootPath(*path)) return static_cast<LSTATUS>(kErrorKeyDeleted);
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  if (lpReserved) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  RegKey* key = nullptr;
  std::string path;
  if (LSTATUS rc = KeyFor(hKey, KEY_QUERY_VALUE, &key, &path)) return rc;
  if (!key) return ERROR_FILE_NOT_FOUND;
  std::string name = lpValueName ? lpValueName : "";
  for (const auto& v : key->values) {
    if (EqualNoCase(v.name, name)) return CopyData(v, lpType, lpData, lpcbData);
  }
  return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData) {
  (void)Reserved;
  if (!lpData && cbData) return kErrorNoAccess;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  RegKey* key = nullptr;
  std::string path;
  if (LSTATUS rc = KeyFor(hKey, KEY_SET_VALUE, &key, &path)) return rc;
  if (IsReadOnly(path)) return ERROR_ACCESS_DENIED;
  ChangeLock change;
  Refresh();
  bool created = false;
  key = g_tree.Find(path);
  if (!key) {
    if (!IsRootPath(path)) return static_cast<LSTATUS>(kErrorKeyDeleted);
    key = g_tree.Create(path, &created);
  }
  // A string whose count leaves out the zero that follows it in memory is
  // stored with that zero, as the NT family does.
  if (IsStringType(dwType) && cbData && lpData[cbData - 1] != 0 && lpData[cbData] == 0) ++cbData;
  RegValue value;
  value.name = lpValueName ? lpValueName : "";
  value.type = dwType;
  if (cbData) value.data.assign(lpData, lpData + cbData);
  bool replaced = false;
  for (auto& v : key->values) {
    if (EqualNoCase(v.name, value.name)) {
      v.type = value.type;
      v.data = value.data;
      replaced = true;
      break;
    }
  }
  if (!replaced) key->values.push_back(value);
  if (LSTATUS rc = Save()) {
    Refresh();
    return rc;
  }
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved || !lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  RegKey* key = nullptr;
  std::string path;
  if (LSTATUS rc = KeyFor(hKey, KEY_QUERY_VALUE, &key, &path)) return rc;
  if (!key || dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& v = key->values[dwIndex];
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  if (v.name.size() + 1 > *lpcchValueName) {
    // The name does not fit: the type and the data size are reported and
    // the name is not stored, as Windows XP does. Of a string's data XP
    // stores only the zero that would end it: the buffer's first bytes stay
    // as they were and, where the buffer has room past the data's size, the
    // byte there becomes 0. (Later versions store the data and the start of
    // the name instead.)
    const DWORD size = static_cast<DWORD>(v.data.size());
    if (lpData && IsStringType(v.type) && *lpcbData > size) lpData[size] = 0;
    if (lpType) *lpType = v.type;
    if (lpcbData) *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (lpcbData && lpData && *lpcbData < v.data.size()) {
    // Neither the name nor the data is stored when the data does not fit.
    if (lpType) *lpType = v.type;
    *lpcbData = static_cast<DWORD>(v.data.size());
    return ERROR_MORE_DATA;
  }
  std::memcpy(lpValueName, v.name.c_str(), v.name.size() + 1);
  *lpcchValueName = static_cast<DWORD>(v.name.size());
  return CopyData(v, lpType, lpData, lpcbData);
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  RegKey* key = nullptr;
  std::string path;
  if (LSTATUS rc = KeyFor(hKey, KEY_SET_VALUE, &key, &path)) return rc;
  if (IsReadOnly(path)) return ERROR_ACCESS_DENIED;
  if (!key) return ERROR_FILE_NOT_FOUND;
  ChangeLock change;
  Refresh();
  key = g_tree.Find(path);
  if (!key) return IsRootPath(path) ? ERROR_FILE_NOT_FOUND : static_cast<LSTATUS>(kErrorKeyDeleted);
  std::string name = lpValueName ? lpValueName : "";
  for (auto it = key->values.begin(); it != key->values.end(); ++it) {
    if (EqualNoCase(it->name, name)) {
      key->values.erase(it);
      if (LSTATUS rc = Save()) {
        Refresh();
        return rc;
      }
      return ERROR_SUCCESS;
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  std::string base;
  REGSAM access = 0;
  if (!Resolve(hKey, &base, &access)) return ERROR_INVALID_HANDLE;
  std::string path;
  if (LSTATUS rc = JoinSubKey(base, lpSubKey, &path)) return rc;
  ChangeLock change;
  Refresh();
  const RegKey* key = g_tree.Find(path);
  if (IsRootPath(path)) return ERROR_ACCESS_DENIED;  // a root cannot go
  if (!IsRootPath(base) && !g_tree.Find(base)) return static_cast<LSTATUS>(kErrorKeyDeleted);
  if (!key) return ERROR_FILE_NOT_FOUND;
  // Nor can a key that still has keys below it.
  if ( g_tree.HasSubKeys(path) || IsReadOnly(path))
    return ERROR_ACCESS_DENIED;
  g_tree.Remove(path);
  if (LSTATUS rc = Save()) {
    Refresh();
    return rc;
  }
  return ERROR_SUCCESS;
}

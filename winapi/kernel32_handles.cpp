// kernel32: the handle table behind every HANDLE, and CloseHandle.
#include <map>
#include <mutex>

#include "winapi/handles.h"
#include "winapi/windows.h"

namespace standin {
namespace {

std::mutex g_mutex;
std::map<uintptr_t, std::shared_ptr<HandleObject>>& Table() {
  static auto* table = new std::map<uintptr_t, std::shared_ptr<HandleObject>>();
  return *table;
}
// Handles count up in steps of 4 like the system's and are never reused.
uintptr_t g_next = 0x100;

}  // namespace

HANDLE RegisterHandle(std::shared_ptr<HandleObject> object) {
  std::lock_guard<std::mutex> lock(g_mutex);
  uintptr_t id = g_next;
  g_next += 4;
  Table()[id] = std::move(object);
  return reinterpret_cast<HANDLE>(id);
}

std::shared_ptr<HandleObject> LookupHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Table().find(reinterpret_cast<uintptr_t>(handle));
  if (it == Table().end()) return nullptr;
  return it->second;
}

bool UnregisterHandle(HANDLE handle) {
  std::shared_ptr<HandleObject> gone;  // destroyed after the lock is released
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Table().find(reinterpret_cast<uintptr_t>(handle));
  if (it == Table().end()) return false;
  gone = std::move(it->second);
  Table().erase(it);
  return true;
}

}  // namespace standin

BOOL WINAPI CloseHandle(HANDLE hObject) {
  std::shared_ptr<standin::HandleObject> object = standin::LookupHandle(hObject);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD error = ERROR_INVALID_HANDLE;
  if (!object->OnClose(&error)) {
    SetLastError(error);
    return FALSE;
  }
  if (!standin::UnregisterHandle(hObject)) {
    // Another thread closed it first.
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

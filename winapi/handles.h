// The stand-in's handle table: every kernel object handed out as a HANDLE
// (files, find searches, events, processes, ...) lives here, so that one
// CloseHandle serves them all.
//
// A stand-in file that hands out a new kind of object derives it from
// standin::HandleObject, registers it with standin::RegisterHandle and finds
// it again with standin::LookupHandleAs<Kind>. CloseHandle removes the entry;
// the object itself is destroyed when the last lookup that still holds it lets
// go (so a thread waiting on an event that another thread closes is safe).
// Handle values are never reused within a process, never NULL and never
// INVALID_HANDLE_VALUE. Linux-only (the plug-in never sees this header).
#pragma once

#include <memory>

#include "winapi/windows.h"

namespace standin {

class HandleObject {
 public:
  virtual ~HandleObject() = default;
  // Called by CloseHandle. The default accepts; a kind that CloseHandle must
  // refuse (a find handle, which only FindClose ends) returns false with the
  // Windows error in *error, and the entry stays.
  virtual bool OnClose(DWORD* error) {
    (void)error;
    return true;
  }
};

// Enters the object in the table and returns its new handle.
HANDLE RegisterHandle(std::shared_ptr<HandleObject> object);

// The object behind the handle, or null when the handle is unknown or closed.
std::shared_ptr<HandleObject> LookupHandle(HANDLE handle);

template <class Kind>
std::shared_ptr<Kind> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<Kind>(LookupHandle(handle));
}

// Removes the entry without asking OnClose (FindClose and other kind-specific
// closers use this). Returns false when the handle was unknown.
bool UnregisterHandle(HANDLE handle);

}  // namespace standin

// A system handle that closes itself: one template for files and registry
// keys. (The service manager's handles have their own, in shell/startup.cpp,
// because their close is found at run time.)
#pragma once

#include "shell/platform.h"

// Traits: the handle type, the value that means "no handle", which values
// are handles, and how one is closed (true on success).
struct FileHandleTraits {
  using Type = HANDLE;
  static Type None() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static bool Close(Type h) { return CloseHandle(h) != FALSE; }
};

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type None() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static bool Close(Type h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};

// Owns one handle (or none) and closes it on every way out of its scope.
template <class Traits>
class ScopedHandle {
 public:
  using Type = typename Traits::Type;

  ScopedHandle() = default;
  explicit ScopedHandle(Type h) : h_(h) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool Valid() const { return Traits::IsValid(h_); }
  Type Get() const { return h_; }
  // Closes the handle held and takes `h` instead.
  void Reset(Type h) {
    Close();
    h_ = h;
  }
  // Gives the handle up without closing it.
  Type Release() {
    const Type h = h_;
    h_ = Traits::None();
    return h;
  }
  // Closes now; true when closing succeeded or there was nothing to close.
  bool Close() { return !Valid() || Traits::Close(Release()); }

 private:
  Type h_ = Traits::None();
};

using FileHandle = ScopedHandle<FileHandleTraits>;
using RegistryHandle = ScopedHandle<RegistryKeyTraits>;

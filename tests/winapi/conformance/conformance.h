// Conformance tests of the Windows calls the plug-in relies on, written
// against the public calls only, so that the same tests run on Linux against
// the stand-in (winapi_tests) and on Windows against the real system (the
// Windows test program of tests/wine, under Wine).
//
// Each test gets a scratch registry key below HKEY_CURRENT_USER and a
// scratch folder, made in set-up and wiped in tear-down. On Linux set-up also
// points the stand-in at a fresh world; nothing else differs. Buffers are
// pre-filled with kMarker and the last error with kUnset before a call, so a
// test sees what a call wrote and what it left alone.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shell/platform.h"

namespace conformance {

constexpr unsigned char kMarker = 0xA5;
constexpr DWORD kUnset = 0xdeadbeef;

// Error codes the stand-in's header does not name.
constexpr DWORD kErrorInvalidAccess = 12;
constexpr DWORD kErrorInvalidAddress = 487;
constexpr DWORD kErrorNoAccess = 998;
constexpr DWORD kErrorKeyDeleted = 1018;
constexpr DWORD kErrorDatabaseDoesNotExist = 1065;

// A service that runs on the system under test, as Wine starts it with every
// prefix; the Linux world of each test lists it as running.
constexpr const char* kRunningService = "PlugPlay";

// True when the Windows build runs under Wine (its ntdll.dll exports
// wine_get_version), where a few calls are known to differ from Windows;
// false on Linux.
bool UnderWine();

template <class Buffer>
void Mark(Buffer& buffer) {
  std::memset(&buffer, kMarker, sizeof buffer);
}

class Scratch : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The scratch key (KEY_ALL_ACCESS), and its path below HKEY_CURRENT_USER.
  HKEY key() const { return key_; }
  const std::string& key_path() const { return key_path_; }
  // Creates (or opens) a key below the scratch key; it is wiped with it.
  HKEY SubKey(const std::string& name, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr);

  // The Windows path of a name in the scratch folder (no trailing backslash
  // for the folder itself: Folder("")).
  std::string Folder(const std::string& name) const { return name.empty() ? folder_ : folder_ + "\\" + name; }
  // Writes a whole file through the public calls; reads one back.
  void WriteText(const std::string& name, const std::string& text);
  std::string ReadText(const std::string& name);
  // The drive whose root the tests list ("C:\").
  static std::string DriveRoot() { return "C:\\"; }

 private:
  HKEY key_ = nullptr;
  std::string key_path_;
  std::vector<std::string> sub_keys_;
  std::string folder_;
#ifdef _WIN32
  DWORD console_mode_ = 0;
  bool restore_mode_ = false;
#else
  std::string world_;
#endif
};

}  // namespace conformance

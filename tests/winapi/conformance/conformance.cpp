// The scratch key and folder of the conformance tests.
#include "tests/winapi/conformance/conformance.h"

#include <algorithm>
#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "winapi/standin_console.h"
#include "winapi/standin_control.h"
#endif

namespace conformance {
namespace {

constexpr const char* kKeyParent = "Software\\VezUzaziz conformance";

std::string UniqueName() {
  static std::atomic<int> counter{0};
#ifdef _WIN32
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  return std::to_string(pid) + "-" + std::to_string(++counter);
}

#ifdef _WIN32
// Deletes a folder with everything in it, through the public calls.
void WipeFolder(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        WipeFolder(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &data));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}
#endif

}  // namespace

bool UnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

void Scratch::SetUp() {
#ifdef _WIN32
  // The tests hold the calls to what the NT family answers; the 95 family
  // answers several of them otherwise (its registry and loader are other
  // code), and the plug-in relies on nothing there that these tests check.
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version) && version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
    GTEST_SKIP() << "the conformance tests describe the NT family";
  }
  char temp[MAX_PATH + 1] = {};
  ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
  std::string base = temp;
  if (!base.empty() && base.back() == '\\') base.pop_back();
  folder_ = base + "\\vez_conformance_" + UniqueName();
  // Only the records a test writes: no window or mouse events of the console.
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (GetConsoleMode(input, &console_mode_)) {
    SetConsoleMode(input, console_mode_ & ~static_cast<DWORD>(ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT));
    restore_mode_ = true;
  }
  FlushConsoleInputBuffer(input);
#else
  // A fresh world: a running service as the system under test has one, and
  // drive C: with nothing on it yet.
  char tmpl[] = "/tmp/winapi_conformance_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  world_ = tmpl;
  setenv("WINAPI_WORLD", world_.c_str(), 1);
  unsetenv("WINAPI_FAIL_WRITE");
  std::filesystem::create_directory(world_ + "/drive_c");
  std::ofstream(world_ + "/services.ini") << "[" << kRunningService << "]\nstate=running\n";
  StandinReloadWorld();
  StandinClearConsoleInput();
  folder_ = DriveRoot() + "vez_conformance_" + UniqueName();
#endif
  ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_ << ": " << GetLastError();
  key_path_ = std::string(kKeyParent) + "\\" + UniqueName();
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key_path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                            nullptr),
            ERROR_SUCCESS);
}

void Scratch::TearDown() {
  if (IsSkipped()) return;  // nothing was made
  if (key_ != nullptr) RegCloseKey(key_);
  // Deepest first: a key with keys below it cannot be deleted.
  std::sort(sub_keys_.begin(), sub_keys_.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& sub : sub_keys_) RegDeleteKeyA(HKEY_CURRENT_USER, (key_path_ + "\\" + sub).c_str());
  if (!key_path_.empty()) RegDeleteKeyA(HKEY_CURRENT_USER, key_path_.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, kKeyParent);  // fails while another run's keys are there
#ifdef _WIN32
  if (!folder_.empty()) WipeFolder(folder_);
  if (restore_mode_) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), console_mode_);
#else
  std::error_code ec;
  if (!world_.empty()) std::filesystem::remove_all(world_, ec);
#endif
}

HKEY Scratch::SubKey(const std::string& name, REGSAM access, DWORD* disposition) {
  // Every key on the way down is wiped too.
  for (size_t cut = name.find('\\'); cut != std::string::npos; cut = name.find('\\', cut + 1)) {
    sub_keys_.push_back(name.substr(0, cut));
  }
  sub_keys_.push_back(name);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExA(key_, name.c_str(), 0, nullptr, 0, access, nullptr, &sub, disposition), ERROR_SUCCESS)
      << name;
  return sub;
}

void Scratch::WriteText(const std::string& name, const std::string& text) {
  HANDLE file = CreateFileA(Folder(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << name << ": " << GetLastError();
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
  EXPECT_EQ(written, text.size());
  EXPECT_TRUE(CloseHandle(file));
}

std::string Scratch::ReadText(const std::string& name) {
  HANDLE file = CreateFileA(Folder(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<" + std::to_string(GetLastError()) + ">";
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

}  // namespace conformance

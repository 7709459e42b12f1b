// The stand-in's own file behaviour: drive letters in the world, the write
// fault of system.ini, and searches that only FindClose ends. The calls
// themselves are checked in conformance/file_test.cpp.
#include <cstring>

#include "tests/winapi/world_fixture.h"

namespace {

using FileTest = WorldTest;

HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteText(HANDLE h, const std::string& text) {
  DWORD written = 0;
  return WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

TEST_F(FileTest, SearchesMatchLongNamesAndOnlyFindCloseEndsThem) {
  Write("notes.txt", "x");
  Write("20260301.LOG", "x");
  WIN32_FIND_DATAA one;
  // Without short names, "?" matches one character of the long name only.
  HANDLE eight = FindFirstFileA(WinPath("????????.log").c_str(), &one);
  ASSERT_NE(eight, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(one.cFileName, "20260301.LOG");
  EXPECT_FALSE(FindNextFileA(eight, &one));
  FindClose(eight);
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(WinPath("*").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(FindClose(h));
  EXPECT_FALSE(FindClose(h));
}

TEST_F(FileTest, WriteFaultHitsTheNthWriteOfMatchingFiles) {
  Write("system.ini", "[faults]\nfail_write=2\nfail_write_path=.log\n");
  HANDLE other = Open(WinPath("data.ini"), GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE log = Open(WinPath("event.log"), GENERIC_WRITE, CREATE_ALWAYS);
  EXPECT_TRUE(WriteText(other, "a"));  // not counted: another file
  EXPECT_TRUE(WriteText(log, "1"));
  DWORD written = 99;
  EXPECT_FALSE(WriteFile(log, "2", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(WriteText(log, "3"));  // only the Nth fails
  CloseHandle(other);
  CloseHandle(log);
  EXPECT_EQ(Read("event.log"), "13");

  // The environment variable, counting every file; a reload restarts the count.
  Write("system.ini", "");
  setenv("WINAPI_FAIL_WRITE", "1", 1);
  HANDLE h = Open(WinPath("x"), GENERIC_WRITE, CREATE_ALWAYS);
  EXPECT_FALSE(WriteText(h, "x"));
  EXPECT_TRUE(WriteText(h, "y"));
  CloseHandle(h);
  unsetenv("WINAPI_FAIL_WRITE");
}

TEST_F(FileTest, DriveLettersAndMixedCaseDirectories) {
  std::filesystem::create_directories(Path("drive_c/Kel/Plugins"));
  HANDLE h = Open("c:\\KEL\\plugins\\Vez.log", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(WriteText(h, "x"));
  CloseHandle(h);
  EXPECT_EQ(Read("drive_c/Kel/Plugins/Vez.log"), "x");
  WIN32_FIND_DATAA data;
  h = FindFirstFileA("C:\\Kel\\Plugins\\*.LOG", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "Vez.log");
  EXPECT_FALSE(FindNextFileA(h, &data));
  FindClose(h);
}

}  // namespace

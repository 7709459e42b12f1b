// Files, directories, searches and the write fault.
#include <cstring>
#include <set>

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

TEST_F(FileTest, CreateDispositionsReportWhatTheyFound) {
  std::string name = WinPath("a.txt");
  SetLastError(0xdeadbeef);
  HANDLE h = Open(name, GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_TRUE(WriteText(h, "hello"));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  h = Open(name, GENERIC_WRITE, OPEN_ALWAYS);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(h);
  EXPECT_EQ(Open(name, GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(Open(WinPath("none.txt"), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(WinPath("nodir\\none.txt"), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  std::filesystem::create_directory(Path("dir"));
  EXPECT_EQ(Open(WinPath("dir"), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // Names are found without regard to case.
  h = Open(WinPath("A.TXT"), GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[16];
  std::memset(buf, 0x5A, sizeof(buf));
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "hello");
  EXPECT_EQ(buf[5], 0x5A);
  ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &got, nullptr));  // end of file
  EXPECT_EQ(got, 0u);
  // A read-only handle cannot write.
  EXPECT_FALSE(WriteFile(h, "x", 1, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(h);
}

TEST_F(FileTest, PointerSizeAppendAndTruncate) {
  HANDLE h = Open(WinPath("f.bin"), GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_TRUE(WriteText(h, "0123456789"));
  DWORD high = 0xFFFF;
  EXPECT_EQ(GetFileSize(h, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_END), 7u);
  EXPECT_EQ(SetFilePointer(h, -100, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_TRUE(FlushFileBuffers(h));
  CloseHandle(h);

  h = Open(WinPath("f.bin"), FILE_APPEND_DATA, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  ASSERT_TRUE(WriteText(h, "AB"));  // appended whatever the pointer says
  CloseHandle(h);
  EXPECT_EQ(Read("f.bin"), "0123456789AB");

  h = Open(WinPath("f.bin"), GENERIC_WRITE, TRUNCATE_EXISTING);
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  CloseHandle(h);
}

TEST_F(FileTest, AttributesMoveDeleteAndDirectories) {
  EXPECT_EQ(GetFileAttributesA(WinPath("x").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(CreateDirectoryA(WinPath("sub").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA(WinPath("sub").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryA(WinPath("no\\sub").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(GetFileAttributesA(WinPath("SUB").c_str()) & FILE_ATTRIBUTE_DIRECTORY);

  Write("old.txt", "old");
  Write("new.txt", "new");
  EXPECT_FALSE(MoveFileExA(WinPath("new.txt").c_str(), WinPath("old.txt").c_str(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(Read("old.txt"), "old");
  EXPECT_TRUE(MoveFileExA(WinPath("new.txt").c_str(), WinPath("old.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(Read("old.txt"), "new");
  EXPECT_EQ(GetFileAttributesA(WinPath("new.txt").c_str()), INVALID_FILE_ATTRIBUTES);

  EXPECT_FALSE(DeleteFileA(WinPath("sub").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DeleteFileA(WinPath("OLD.txt").c_str()));
  EXPECT_FALSE(DeleteFileA(WinPath("old.txt").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileTest, FindFirstFileWildcards) {
  for (const char* name : {"vezuzaziz.log", "20260301.LOG", "notes.txt", "a.log.bak", "noext"}) Write(name, "x");
  std::filesystem::create_directory(Path("logs"));
  auto find = [&](const std::string& pattern) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(WinPath(pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      names.insert(data.cFileName);
      if (std::string(data.cFileName) == "logs") {
        EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
      }
      if (std::string(data.cFileName) == "notes.txt") {
        EXPECT_EQ(data.nFileSizeLow, 1u);
        EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
      }
    } while (FindNextFileA(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_FALSE(CloseHandle(h));  // only FindClose ends a search
    EXPECT_TRUE(FindClose(h));
    return names;
  };
  EXPECT_EQ(find("*.log"), (std::set<std::string>{"vezuzaziz.log", "20260301.LOG"}));
  EXPECT_EQ(find("????????.log"), (std::set<std::string>{"20260301.LOG"}));
  EXPECT_EQ(find("VEZ*"), (std::set<std::string>{"vezuzaziz.log"}));
  EXPECT_EQ(find("*.*").count("noext"), 1u);
  EXPECT_EQ(find("*").count("logs"), 1u);
  EXPECT_EQ(find("*").count(".."), 1u);
  EXPECT_EQ(find("notes.txt"), (std::set<std::string>{"notes.txt"}));

  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA(WinPath("*.none").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA(WinPath("missing\\*").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
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

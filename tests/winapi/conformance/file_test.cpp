// Files, directories, searches and the replace of one file by another.
#include <set>

#include "tests/winapi/conformance/conformance.h"

namespace conformance {
namespace {

using FileCalls = Scratch;

HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Put(HANDLE h, const std::string& text) {
  DWORD written = kUnset;
  return WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

// The last error of a failed call, with the result it must have had.
DWORD FailedWith(HANDLE h) { return h == INVALID_HANDLE_VALUE ? GetLastError() : 0; }
DWORD FailedWith(BOOL ok) { return ok ? 0 : GetLastError(); }

TEST_F(FileCalls, CreateDispositionsReportWhatTheyFound) {
  const std::string name = Folder("a.txt");
  SetLastError(kUnset);
  HANDLE h = Open(name, GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_TRUE(Put(h, "hello"));
  EXPECT_TRUE(CloseHandle(h));
  SetLastError(kUnset);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  SetLastError(kUnset);
  h = Open(name, GENERIC_WRITE, OPEN_ALWAYS);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(h);
  SetLastError(kUnset);
  EXPECT_EQ(FailedWith(Open(name, GENERIC_WRITE, CREATE_NEW)), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(FailedWith(Open(Folder("none.txt"), GENERIC_READ, OPEN_EXISTING)),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FailedWith(Open(Folder("nodir\\none.txt"), GENERIC_READ, OPEN_EXISTING)),
            static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(CreateDirectoryA(Folder("dir").c_str(), nullptr));
  EXPECT_EQ(FailedWith(Open(Folder("dir"), GENERIC_READ, OPEN_EXISTING)), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // Names are found without regard to case.
  h = Open(Folder("A.TXT"), GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[16];
  Mark(buf);
  DWORD got = kUnset;
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "hello");
  EXPECT_EQ(static_cast<unsigned char>(buf[5]), kMarker);
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &got, nullptr));  // end of file
  EXPECT_EQ(got, 0u);
  // A read-only handle cannot write.
  SetLastError(kUnset);
  EXPECT_FALSE(WriteFile(h, "x", 1, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(h);
}

TEST_F(FileCalls, ANameEndingInABackslash) {
  WriteText("file.txt", "x");
  ASSERT_TRUE(CreateDirectoryA(Folder("dir").c_str(), nullptr));
  // Nothing of that name: missing (2, or 3 for the path). A file named as a
  // directory: an invalid name. A directory: not to be opened as a file.
  const DWORD missing = FailedWith(Open(Folder("nodir\\"), GENERIC_READ, OPEN_EXISTING));
  EXPECT_TRUE(missing == ERROR_FILE_NOT_FOUND || missing == ERROR_PATH_NOT_FOUND) << missing;
  EXPECT_EQ(FailedWith(Open(Folder("file.txt\\"), GENERIC_READ, OPEN_EXISTING)), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(FailedWith(Open(Folder("dir\\"), GENERIC_READ, OPEN_EXISTING)), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(FailedWith(Open(Folder("nodir\\"), GENERIC_WRITE, CREATE_ALWAYS)), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(FileCalls, PointerSizeAppendAndTruncate) {
  HANDLE h = Open(Folder("f.bin"), GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_TRUE(Put(h, "0123456789"));
  DWORD high = kUnset;
  EXPECT_EQ(GetFileSize(h, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_END), 7u);
  SetLastError(kUnset);
  EXPECT_EQ(SetFilePointer(h, -100, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_NE(GetLastError(), kUnset);
  SetLastError(kUnset);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_EQ(GetLastError(), kUnset);  // success leaves the last error alone
  EXPECT_TRUE(FlushFileBuffers(h));
  CloseHandle(h);

  h = Open(Folder("f.bin"), FILE_APPEND_DATA, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  ASSERT_TRUE(Put(h, "AB"));  // appended whatever the pointer says
  CloseHandle(h);
  EXPECT_EQ(ReadText("f.bin"), "0123456789AB");

  h = Open(Folder("f.bin"), GENERIC_WRITE, TRUNCATE_EXISTING);
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  CloseHandle(h);
}

TEST_F(FileCalls, AttributesReplaceDeleteAndDirectories) {
  SetLastError(kUnset);
  EXPECT_EQ(GetFileAttributesA(Folder("x").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(CreateDirectoryA(Folder("sub").c_str(), nullptr));
  EXPECT_EQ(FailedWith(CreateDirectoryA(Folder("sub").c_str(), nullptr)), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(FailedWith(CreateDirectoryA(Folder("no\\sub").c_str(), nullptr)), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(GetFileAttributesA(Folder("SUB").c_str()) & FILE_ATTRIBUTE_DIRECTORY);

  // The replace: without the flag an existing target stays; with it the
  // new file takes the old one's place, and its own name is gone.
  WriteText("old.txt", "old");
  WriteText("new.txt", "new");
  EXPECT_EQ(FailedWith(MoveFileExA(Folder("new.txt").c_str(), Folder("old.txt").c_str(), 0)),
            static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ReadText("old.txt"), "old");
  EXPECT_TRUE(MoveFileExA(Folder("new.txt").c_str(), Folder("old.txt").c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(ReadText("old.txt"), "new");
  EXPECT_EQ(GetFileAttributesA(Folder("new.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(FailedWith(MoveFileExA(Folder("gone.txt").c_str(), Folder("old.txt").c_str(), MOVEFILE_REPLACE_EXISTING)),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  EXPECT_EQ(FailedWith(DeleteFileA(Folder("sub").c_str())), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DeleteFileA(Folder("OLD.txt").c_str()));
  EXPECT_EQ(FailedWith(DeleteFileA(Folder("old.txt").c_str())), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileCalls, WildcardsNameNoFileToMoveOrDelete) {
  WriteText("a.txt", "a");
  WriteText("b.txt", "b");
  EXPECT_EQ(FailedWith(DeleteFileA(Folder("*.txt").c_str())), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(FailedWith(DeleteFileA(Folder("?.txt").c_str())), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(FailedWith(MoveFileExA(Folder("a.txt").c_str(), Folder("*.txt").c_str(), MOVEFILE_REPLACE_EXISTING)),
            static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(FailedWith(MoveFileExA(Folder("a.txt").c_str(), Folder("c?.txt").c_str(), 0)),
            static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(ReadText("a.txt"), "a");
  EXPECT_EQ(ReadText("b.txt"), "b");
}

std::set<std::string> Find(const std::string& pattern) {
  std::set<std::string> names;
  WIN32_FIND_DATAA data;
  Mark(data);
  HANDLE h = FindFirstFileA(pattern.c_str(), &data);
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
  EXPECT_TRUE(FindClose(h));
  return names;
}

TEST_F(FileCalls, FindFirstFileWildcards) {
  for (const char* name : {"vezuzaziz.log", "20260301.LOG", "notes.txt", "a.log.bak", "noext"}) WriteText(name, "x");
  ASSERT_TRUE(CreateDirectoryA(Folder("logs").c_str(), nullptr));
  EXPECT_EQ(Find(Folder("*.log")), (std::set<std::string>{"vezuzaziz.log", "20260301.LOG"}));
  EXPECT_EQ(Find(Folder("VEZ*")), (std::set<std::string>{"vezuzaziz.log"}));
  EXPECT_EQ(Find(Folder("*.*")).count("noext"), 1u);
  EXPECT_EQ(Find(Folder("*")).count("logs"), 1u);
  EXPECT_EQ(Find(Folder("*")).count(".."), 1u);  // a folder lists its parent
  EXPECT_EQ(Find(Folder("notes.txt")), (std::set<std::string>{"notes.txt"}));

  WIN32_FIND_DATAA data;
  SetLastError(kUnset);
  EXPECT_EQ(FindFirstFileA(Folder("*.none").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(kUnset);
  EXPECT_EQ(FindFirstFileA(Folder("missing\\*").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileCalls, ADriveRootListsNoDots) {
  const std::set<std::string> names = Find(DriveRoot() + "*");
  EXPECT_FALSE(names.empty());
  EXPECT_EQ(names.count("."), 0u);
  EXPECT_EQ(names.count(".."), 0u);
}

}  // namespace
}  // namespace conformance

// Whole-file reads, atomic replacement and appends through the platform's
// file calls.
#include "shell/file_io.h"

#include <algorithm>

namespace {

// Closes a file handle on every way out.
class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE Get() const { return h_; }
  // Closes now and reports whether closing succeeded.
  bool Close() {
    if (!Valid()) return true;
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != FALSE;
  }

 private:
  HANDLE h_;
};

void WriteAll(HANDLE h, std::string_view data, const std::string& path) {
  size_t done = 0;
  while (done < data.size()) {
    const size_t chunk = std::min<size_t>(data.size() - done, 1u << 20);
    DWORD written = 0;
    if (!WriteFile(h, data.data() + done, static_cast<DWORD>(chunk), &written, nullptr)) {
      throw IoError(path, GetLastError(), "Cannot write");
    }
    if (written == 0) throw IoError(path, ERROR_WRITE_FAULT, "Cannot write");
    done += written;
  }
}

}  // namespace

IoError::IoError(const std::string& path, DWORD code, const std::string& action)
    : PluginError(action + " " + path + ": " + SystemErrorText(code)), code_(code) {}

std::string SystemErrorText(DWORD code) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                           sizeof buffer, nullptr);
  std::string text(buffer, std::min<size_t>(n, sizeof buffer));
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "System error " + std::to_string(code) + ".";
  return text;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string ReadWholeFile(const std::string& path) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) throw IoError(path, GetLastError(), "Cannot open");
  std::string data;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
      throw IoError(path, GetLastError(), "Cannot read");
    }
    if (got == 0) break;
    data.append(buffer, got);
  }
  return data;
}

void ReplaceFileContents(const std::string& path, std::string_view data) {
  const std::string temporary = path + ".new";
  try {
    FileHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.Valid()) throw IoError(temporary, GetLastError(), "Cannot create");
    WriteAll(file.Get(), data, temporary);
    if (!FlushFileBuffers(file.Get())) throw IoError(temporary, GetLastError(), "Cannot write");
    if (!file.Close()) throw IoError(temporary, GetLastError(), "Cannot write");
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      throw IoError(path, GetLastError(), "Cannot replace");
    }
  } catch (...) {
    DeleteFileA(temporary.c_str());
    throw;
  }
}

void AppendToFile(const std::string& path, std::string_view data) {
  // Whether the file exists and opening it are two steps; OPEN_ALWAYS
  // covers both cases in one call either way.
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) throw IoError(path, GetLastError(), "Cannot open");
  SetLastError(NO_ERROR);
  if (SetFilePointer(file.Get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    throw IoError(path, GetLastError(), "Cannot write");
  }
  WriteAll(file.Get(), data, path);
  if (!file.Close()) throw IoError(path, GetLastError(), "Cannot write");
}

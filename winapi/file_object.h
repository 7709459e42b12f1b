// The kernel object behind a file handle (Linux-only, internal to the
// stand-in: kernel32_file.cpp opens them, kernel32_console.cpp makes the
// standard handles).
#pragma once

#include <unistd.h>

#include <string>

#include "winapi/handles.h"

namespace standin {

class FileObject : public HandleObject {
 public:
  FileObject(int fd, bool owns_fd, bool can_read, bool can_write, std::string path)
      : fd_(fd), owns_fd_(owns_fd), can_read_(can_read), can_write_(can_write), path_(std::move(path)) {}
  ~FileObject() override {
    if (owns_fd_ && fd_ >= 0) ::close(fd_);
  }
  FileObject(const FileObject&) = delete;
  FileObject& operator=(const FileObject&) = delete;

  int fd() const { return fd_; }
  bool can_read() const { return can_read_; }
  bool can_write() const { return can_write_; }
  // The Windows path the file was opened by, and its host form ("" for the
  // standard handles).
  const std::string& path() const { return path_; }
  std::string host_path;
  // The standard input handle, whose input records are the console queue.
  bool console_input = false;

 private:
  int fd_;
  bool owns_fd_;
  bool can_read_;
  bool can_write_;
  std::string path_;
};

}  // namespace standin

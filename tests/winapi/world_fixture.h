// A fresh world directory for each test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "winapi/standin_console.h"
#include "winapi/standin_control.h"
#include "winapi/windows.h"

class WorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/winapi_world_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("WINAPI_WORLD", dir_.c_str(), 1);
    unsetenv("WINAPI_FAIL_WRITE");
    StandinReloadWorld();
    StandinClearConsoleInput();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // The Windows name of a file in the world ("Z:\tmp\winapi_world_x\name").
  std::string WinPath(const std::string& name) const {
    std::string p = "Z:" + dir_ + "/" + name;
    for (char& c : p) {
      if (c == '/') c = '\\';
    }
    return p;
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(Path(name), std::ios::binary) << text;
    StandinReloadWorld();
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  std::string dir_;
};

// Choosing and running the user's editor.
#include "host/terminal/editor_launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tui_editor_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "bin");
  }
  void TearDown() override { fs::remove_all(dir); }

  void Write(const fs::path& path, const std::string& text, bool executable = false) {
    std::ofstream(path) << text;
    if (executable) ::chmod(path.c_str(), 0755);
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir;
};

TEST_F(EditorTest, VisualThenEditorThenAFallbackFromPath) {
  EXPECT_EQ(ChooseEditor("code -w", "nano", "/usr/bin"), "code -w");
  EXPECT_EQ(ChooseEditor("", "emacs -nw", "/usr/bin"), "emacs -nw");
  EXPECT_EQ(ChooseEditor(nullptr, nullptr, nullptr), "");

  const fs::path bin = dir / "bin";
  Write(bin / "vi", "#!/bin/sh\n", true);
  Write(bin / "nano", "not executable\n");
  const std::string path = "/nonexistent::" + bin.string();
  EXPECT_EQ(ChooseEditor(nullptr, "", path.c_str()), (bin / "vi").string());
  Write(bin / "sensible-editor", "#!/bin/sh\n", true);
  EXPECT_EQ(ChooseEditor(nullptr, nullptr, path.c_str()), (bin / "sensible-editor").string());
  EXPECT_EQ(ChooseEditor(nullptr, nullptr, "/nonexistent"), "");
}

TEST_F(EditorTest, ReportsWhetherTheFileChanged) {
  const fs::path file = dir / "startup.lst";
  Write(file, "notepad.exe\n");
  std::string error;
  EXPECT_EQ(RunEditor("true", file.string(), 1, error), EditOutcome::Unchanged);
  EXPECT_EQ(RunEditor("sh -c 'echo calc.exe >> \"$1\"' sh", file.string(), 1, error), EditOutcome::Changed);
  EXPECT_EQ(Read(file), "notepad.exe\ncalc.exe\n");
  EXPECT_EQ(RunEditor(dir.string() + "/bin/no-such-editor", file.string(), 1, error), EditOutcome::NotRun);
  EXPECT_NE(error.find("no-such-editor"), std::string::npos);
}

TEST_F(EditorTest, TheFileNameIsNeverTakenAsShellSyntax) {
  // A name with blanks, quotes and a command substitution reaches the
  // editor as one argument, after "+line" when the line is above 1.
  const fs::path file = dir / "my list $(touch pwned) 'x'.lst";
  Write(file, "");
  const fs::path args = dir / "args";
  std::string error;
  const std::string recorder = "sh -c 'for a; do echo \"[$a]\"; done > \"" + args.string() + "\"' sh";
  EXPECT_EQ(RunEditor(recorder, file.string(), 5, error), EditOutcome::Unchanged);
  EXPECT_EQ(Read(args), "[+5]\n[" + file.string() + "]\n");
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_FALSE(fs::exists(dir / "pwned"));
  RunEditor(recorder, file.string(), 1, error);
  EXPECT_EQ(Read(args), "[" + file.string() + "]\n");
}

}  // namespace

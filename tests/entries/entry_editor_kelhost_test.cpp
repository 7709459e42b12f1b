// The entry editor end to end: the real plug-in library in kelhost, driven
// through the main menu by scripts, with the real language file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "entries/entry_file.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

class EntryEditorKelhost : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "vez_editor_e2e_XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root_ = templ;
    fs::create_directory(root_ / "plug");
    fs::create_directory(root_ / "world");
    fs::create_symlink(PLUGIN_PATH, root_ / "plug" / fs::path(PLUGIN_PATH).filename());
    fs::copy_file(LANG_PATH, root_ / "plug" / (fs::path(PLUGIN_PATH).stem().string() + ".lng"));
    // The Windows 95 family starts no services; a fixed date names the log.
    std::ofstream(root_ / "world" / "system.ini") << "[system]\nplatform_id=1\nnow=2026-03-01 09:05:03\n";
  }
  void TearDown() override {
    if (!std::getenv("VEZ_KEEP_TEST_DIRS")) fs::remove_all(root_);
  }

  void WriteEntries(const std::vector<std::string>& plain) {
    std::ofstream(root_ / "plug" / "vezuzaziz.ini", std::ios::binary) << FileTextFromPlainLines(plain);
  }
  std::string EntryBytes() const { return ReadFile(root_ / "plug" / "vezuzaziz.ini"); }
  std::vector<std::string> Entries() const { return PlainLinesFromFileText(EntryBytes()); }
  // The log's texts, without their time stamps.
  std::vector<std::string> Log() const {
    std::vector<std::string> texts;
    for (const std::string& line : Lines(ReadFile(root_ / "plug" / "20260301.log"))) texts.push_back(line.substr(17));
    return texts;
  }

  // Opens the main menu (ras:menu) with `script`; the transcript's lines.
  std::vector<std::string> Run(const std::string& script) {
    std::ofstream(root_ / "script.txt", std::ios::binary) << script;
    const std::string command = "WINAPI_WORLD='" + (root_ / "world").string() + "' '" + KELHOST_PATH +
                                "' --plugin '" + (root_ / "plug" / fs::path(PLUGIN_PATH).filename()).string() +
                                "' --script '" + (root_ / "script.txt").string() + "' --transcript '" +
                                (root_ / "transcript.txt").string() + "' ras:menu >/dev/null 2>&1";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << ReadFile(root_ / "transcript.txt");
    return Lines(ReadFile(root_ / "transcript.txt"));
  }

  static std::vector<std::string> Block(const std::string& name, const std::string& login,
                                        const std::string& interval = "30", const std::string& tries = "3") {
    return {"[" + name + "]", "Login=" + login, "Password=pw", "Domain=",
            "Numbers=555",    "Interval=" + interval, "Tries=" + tries, "Callback="};
  }
  static std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  static int Count(const std::vector<std::string>& transcript, const std::string& prefix) {
    int n = 0;
    for (const std::string& line : transcript) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

  fs::path root_;
};

TEST_F(EntryEditorKelhost, NewEntryWithTheNumberCheck) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "3"}, {"-1", "3"}, {"0", "0"}, {"$1F", "$1F"}, {"abc", "3"}};
  for (const auto& [typed, interval] : cases) {
    SCOPED_TRACE(typed);
    WriteEntries({});
    // With no entry yet the menu goes straight to the new-entry dialog.
    Run("dialog 16 set 1 \"Office\" set 3 \"bob\" set 5 \"pw\" set 9 \"555\" set 11 \"" + typed + "\" set 13 \"" +
        typed + "\"\n");
    const std::string tries = interval == "3" ? "1" : interval;
    EXPECT_EQ(Entries(), Block("Office", "bob", interval, tries));
  }
  EXPECT_EQ(Log(), std::vector<std::string>(cases.size(), "Entry Office added"));
}

TEST_F(EntryEditorKelhost, NewEntryWithAnEmptyNameChangesNothing) {
  WriteEntries(Block("Home", "h"));
  const std::string before = EntryBytes();
  const std::vector<std::string> transcript = Run("menu 0 ins\ndialog 16 set 3 \"bob\"\nmenu esc\n");
  EXPECT_EQ(Count(transcript, "Dialog "), 1);
  EXPECT_EQ(Count(transcript, "Menu "), 2);
  EXPECT_EQ(EntryBytes(), before);
  EXPECT_TRUE(Log().empty());
}

TEST_F(EntryEditorKelhost, EditAndRename) {
  WriteEntries(Concat(Block("Office", "o"), Block("Home", "h")));
  Run("menu 0 f4\ndialog 16 set 3 \"alice\"\nmenu esc\n");
  EXPECT_EQ(Entries(), Concat(Block("Office", "alice"), Block("Home", "h")));

  Run("menu 0 f4\ndialog 16 set 1 \"Work\"\nmenu esc\n");
  EXPECT_EQ(Entries(), Concat(Block("Work", "alice"), Block("Home", "h")));
  EXPECT_EQ(Log(), (std::vector<std::string>{"Entry Office changed", "Entry Work changed"}));

  // A new name that another entry has is refused with a warning box.
  const std::string before = EntryBytes();
  const std::vector<std::string> transcript = Run("menu 0 f4\ndialog 16 set 1 \"Home\"\nmessage 0\nmenu esc\n");
  EXPECT_EQ(EntryBytes(), before);
  EXPECT_EQ(Log().size(), 2u);
  bool warned = false;
  for (const std::string& line : transcript) {
    warned |= line.rfind("Message flags=1 ", 0) == 0 && line.find("Home\"") != std::string::npos;
  }
  EXPECT_TRUE(warned);
}

TEST_F(EntryEditorKelhost, DeleteConfirmedAndCancelled) {
  WriteEntries(Concat(Block("Office", "o"), Block("Home", "h")));
  const std::string before = EntryBytes();
  const std::vector<std::string> transcript = Run("menu 1 del\nmessage 1\nmenu 1 del\nmessage esc\nmenu esc\n");
  EXPECT_EQ(EntryBytes(), before);
  EXPECT_EQ(Count(transcript, "Message flags=0 help=null items=[\"Delete entry\",\"Delete the entry Home?\""), 2);

  Run("menu 1 del\nmessage 0\nmenu esc\n");
  EXPECT_EQ(Entries(), Block("Office", "o"));
  EXPECT_EQ(Log(), std::vector<std::string>{"Entry Home deleted"});
}

}  // namespace

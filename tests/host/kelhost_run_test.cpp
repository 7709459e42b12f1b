// kelhost itself, run as a program against the tiny test plug-in
// (test_plugin.cpp) through scripts: loading, the calling convention, the
// command line, exit statuses and whole transcripts.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shell/host_interface.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct RunResult {
  int status = -1;       // exit status, or -1 when killed by a signal
  bool aborted = false;  // ended by SIGABRT
  std::vector<std::string> transcript;
  std::string out, err;
};

class KelhostRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "kelhost_run_XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root_ = templ;
    plug_ = root_ / "plug";
    fs::create_directory(plug_);
    // The plug-in is a symbolic link in a directory of its own: the plug-in
    // directory must be that one, not the link's target's.
    fs::create_symlink(TEST_PLUGIN_PATH, plug_ / "test_plugin.so");
    WritePlugFile("test_plugin.lng", "0=Test probe\n1=Probe menu\n2=keys\n4=OK\n5=Warning\n10=Hang up\n23=Cancel\n");
  }
  void TearDown() override { fs::remove_all(root_); }

  void WritePlugFile(const std::string& name, const std::string& text) {
    std::ofstream(plug_ / name, std::ios::binary) << text;
  }

  // Runs kelhost with the test plug-in, `script` as its script (none when
  // null) and `args` (already quoted for the shell) after the options.
  RunResult Run(const std::string& args, const char* script = "", const std::string& options = "") {
    std::string command = std::string("'") + KELHOST_PATH + "' --plugin '" + (plug_ / "test_plugin.so").string() +
                          "' --transcript '" + (root_ / "t.txt").string() + "' " + options;
    if (script != nullptr) {
      std::ofstream(root_ / "s.txt", std::ios::binary) << script;
      command += " --script '" + (root_ / "s.txt").string() + "'";
    }
    command += " " + args + " >'" + (root_ / "out.txt").string() + "' 2>'" + (root_ / "err.txt").string() + "'";
    const int raw = std::system(command.c_str());
    RunResult r;
    if (WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    // The shell reports a child killed by SIGABRT as status 128 + 6.
    r.aborted = (WIFSIGNALED(raw) && WTERMSIG(raw) == SIGABRT) || r.status == 128 + SIGABRT;
    r.transcript = SplitLines(ReadFile(root_ / "t.txt"));
    r.out = ReadFile(root_ / "out.txt");
    r.err = ReadFile(root_ / "err.txt");
    return r;
  }

  // The lines after SetStartupInfo and GetPluginInfo, which every run has.
  static std::vector<std::string> AfterStart(const RunResult& r) {
    if (r.transcript.size() < 3) return {};
    return std::vector<std::string>(r.transcript.begin() + 3, r.transcript.end());
  }

  fs::path root_, plug_;
};

TEST_F(KelhostRun, StartUpAndPluginMenuTranscript) {
  const RunResult r = Run("");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string size = std::to_string(sizeof(PluginInfo));
  const std::vector<std::string> expected = {
      "SetStartupInfo size=" + std::to_string(sizeof(HostStartupInfo)) +
          " path=\"<plugdir>\\\\test_plugin.so\" id=0x4b454c rootkey=\"Software\\\\Kel\\\\Plugins\"",
      "GetMessageText 0 -> \"Test probe\"",
      "GetPluginInfo -> size=" + size + " flags=12 disk=null disknumbers=null diskcount=0 plugin=[\"Test probe\"] "
          "plugincount=1 config=[\"Test probe\"] configcount=1 prefix=\"tst:probe\"",
      "Message flags=0 help=null items=[\"Echo\",\"origin=0 item=0\"] buttons=0 -> -1",
      "OpenPlugin 0 0 -> -1",
  };
  EXPECT_EQ(r.transcript, expected);
}

TEST_F(KelhostRun, InfoPrintsTheRecordOneFieldALine) {
  const RunResult r = Run("--info", nullptr);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto lines = SplitLines(r.out);
  ASSERT_EQ(lines.size(), 11u) << r.out;
  EXPECT_EQ(lines[0], "exports=[SetStartupInfo,SetStartUpInfo,GetPluginInfo,OpenPlugin,Configure] missing=[]");
  EXPECT_EQ(lines[1], "size=" + std::to_string(sizeof(PluginInfo)));
  EXPECT_EQ(lines[2], "flags=12");
  EXPECT_EQ(lines[3], "disk=null");
  EXPECT_EQ(lines[6], "plugin=[\"Test probe\"]");
  EXPECT_EQ(lines.back(), "prefix=\"tst:probe\"");
}

TEST_F(KelhostRun, CommandLineMenuWithBreakKey) {
  // The prefix is matched without regard to case, against any of the
  // plug-in's prefixes.
  const RunResult r = Run("PROBE:menu", "menu 1 del\n");
  EXPECT_EQ(r.status, 0) << r.err;
  const auto lines = AfterStart(r);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3],
            "Menu x=-1 y=-1 maxh=0 flags=2 title=\"Probe menu\" bottom=\"keys\" help=\"MainMenu\" "
            "breakkeys=[115,45,46] rows=[{\"&1. Office\" sel=-1 chk=0 sep=0},{\"&2. Home\" sel=0 chk=0 sep=0},"
            "{\"\" sel=0 chk=0 sep=-1},{\"Hang up\" sel=0 chk=0 sep=0}] -> 1 break=2");
  EXPECT_EQ(lines[4], "Message flags=0 help=null items=[\"Echo\",\"row=1 break=2\"] buttons=0 -> -1");
  EXPECT_EQ(lines[5], "OpenPlugin 4 \"menu\" -> -1");
}

TEST_F(KelhostRun, DialogAndMessageAnswersReachThePlugin) {
  RunResult r = Run("tst:dialog", "dialog 6 set 1 \"new\" set 2 \"pw\" check 3 0 check 5 1\n");
  EXPECT_EQ(r.status, 0) << r.err;
  auto lines = AfterStart(r);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(lines[0].find(" -> ")),
            " -> 6 set[1]=\"new\" set[2]=\"pw\" check[3]=0 check[4]=0 check[5]=1");
  EXPECT_EQ(lines[1],
            "Message flags=0 help=null items=[\"Echo\",\"closing=6 edit=new password=pw check=0 radio=01\"] "
            "buttons=0 -> -1");

  r = Run("tst:message", "message 1\n");
  EXPECT_EQ(r.status, 0) << r.err;
  lines = AfterStart(r);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[3], "Message flags=1 help=null items=[\"Warning\",\"Line\",\"\\x01\",\"OK\",\"Cancel\"] "
                      "buttons=2 -> 1");
  EXPECT_EQ(lines[4], "Message flags=0 help=null items=[\"Echo\",\"button=1\"] buttons=0 -> -1");
}

TEST_F(KelhostRun, CommandTextIsPassedUnchanged) {
  const RunResult r = Run("'tst: Hang Up'", "");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript.back(), "OpenPlugin 4 \" Hang Up\" -> -1");
  EXPECT_EQ(r.transcript[r.transcript.size() - 2],
            "Message flags=0 help=null items=[\"Echo\",\"text= Hang Up\"] buttons=0 -> -1");
}

TEST_F(KelhostRun, ScreensTextAndADoubleRestore) {
  const RunResult r = Run("tst:screens", "");
  EXPECT_EQ(r.status, 3);
  const std::vector<std::string> expected = {
      "SaveScreen 0 0 -1 -1 -> 1",
      "Message flags=0 help=null items=[\"Busy\",\"Dialling\"] buttons=0 -> -1",
      "Text x=0 y=0 color=7 text=\"Connecting\"",
      "Text x=0 y=0 color=7 text=null",
      "RestoreScreen 1",
      "RestoreScreen 1",
      "! RestoreScreen: handle 1 is not a saved screen",
      "OpenPlugin 4 \"screens\" -> -1",
  };
  EXPECT_EQ(AfterStart(r), expected);
  EXPECT_NE(r.err.find("kelhost: RestoreScreen: handle 1 is not a saved screen"), std::string::npos);
}

TEST_F(KelhostRun, ViewerDumpAndEditorAppend) {
  WritePlugFile("test.log", "25.12.2024 10:00 Dialling 222\n");
  WritePlugFile("startup.lst", "#Old\n");
  const RunResult r = Run("tst:files", "edit append \"notepad.exe\\r\\n\"\n", "--viewer-dump");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> expected = {
      "Viewer file=\"<plugdir>\\\\test.log\" title=null x1=0 y1=0 x2=-1 y2=-1 flags=0 -> 1",
      "--- view",
      "25.12.2024 10:00 Dialling 222",
      "--- end",
      "Editor file=\"<plugdir>\\\\startup.lst\" title=null x1=0 y1=0 x2=-1 y2=-1 flags=0 line=1 col=1 -> 1",
      "Editor file=\"<plugdir>\\\\startup.lst\" title=null x1=0 y1=0 x2=-1 y2=-1 flags=0 line=1 col=1 -> 2",
      "Message flags=0 help=null items=[\"Echo\",\"editor=1,2\"] buttons=0 -> -1",
      "OpenPlugin 4 \"files\" -> -1",
  };
  EXPECT_EQ(AfterStart(r), expected);
  EXPECT_EQ(ReadFile(plug_ / "startup.lst"), "#Old\nnotepad.exe\r\n");
}

TEST_F(KelhostRun, ConfigureAndTheLowSevenBitsOfAMessageNumber) {
  const RunResult r = Run("--configure", "");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> expected = {
      "GetMessageText 133 -> \"Warning\"",
      "Message flags=0 help=null items=[\"Echo\",\"configure 0 Warning\"] buttons=0 -> -1",
      "Configure 0 -> -1",
  };
  EXPECT_EQ(AfterStart(r), expected);
}

TEST_F(KelhostRun, PluginFaultsEndInStatusThree) {
  RunResult r = Run("tst:leak", "");
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.transcript.back(), "! OpenPlugin returned with saved screens not restored: 1");

  r = Run("tst:panel", "");
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.transcript.back(), "! OpenPlugin returned 5; this host opens no panels (-1 expected)");

  r = Run("tst:badid", "");
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(AfterStart(r)[0], "! GetMessageText: PluginId 0x4b454d is not the host's 0x4b454c");
}

TEST_F(KelhostRun, ScriptsThatDoNotFitEndInStatusThree) {
  RunResult r = Run("tst:menu", "message 0\nmenu 0\n");
  EXPECT_EQ(r.status, 3);
  auto lines = AfterStart(r);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[3], "! script line 1: a message answer for a Menu call; answered Esc: message 0");
  EXPECT_EQ(lines[4].substr(lines[4].find(" -> ")), " -> -1 break=-1");
  EXPECT_EQ(lines[7], "! script line 2: no call used this answer: menu 0");

  // No script and no terminal: as an empty script.
  r = Run("tst:menu", nullptr);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(AfterStart(r)[3], "! script ended before a Menu call; answered Esc");
}

TEST_F(KelhostRun, AnUnprovidedHostOperationEndsTheRunLoudly) {
  const RunResult r = Run("tst:unused", "");
  EXPECT_TRUE(r.aborted) << r.status;
  const std::string text =
      "the plug-in called the host operation at offset 288 of HostStartupInfo, which kelhost does not provide";
  EXPECT_EQ(r.transcript.back(), "! " + text);
  EXPECT_NE(r.err.find(text), std::string::npos);
}

TEST_F(KelhostRun, HostCannotRunIsStatusOne) {
  RunResult r = Run("ras:Office", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("command prefix is \"tst:probe\""), std::string::npos) << r.err;

  r = Run("--disk", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no disk menu item"), std::string::npos) << r.err;

  r = Run("tst:menu", "menu 1 f99\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("s.txt line 1: unknown key f99"), std::string::npos) << r.err;

  fs::remove(plug_ / "test_plugin.lng");
  r = Run("tst:menu", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("test_plugin.lng"), std::string::npos) << r.err;

  WritePlugFile("other.lng", "0=Other\n");
  r = Run("", "", "--lang '" + (plug_ / "other.lng").string() + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript[1], "GetMessageText 0 -> \"Other\"");

  fs::remove(plug_ / "test_plugin.so");
  r = Run("tst:menu", "", "--lang '" + (plug_ / "other.lng").string() + "'");
  EXPECT_EQ(r.status, 1);
}

}  // namespace

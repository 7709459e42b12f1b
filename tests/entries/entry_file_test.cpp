// The entry file: the described rules on files the plug-in has always
// written, the framing of lines with bytes 0, 10, 13 and 26, values with
// "=", damaged files and failing writes.
#include "entries/entry_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "shell/file_io.h"
#include "tests/entries/entry_test_support.h"
#include "tests/fake_host.h"
#include "tests/test_only.h"
#include "winapi/standin_control.h"

namespace {

class EntryFileTest : public PluginTest {
 protected:
  void Write(const std::string& bytes) { WritePluginFile("vezuzaziz.ini", bytes); }
  std::string Bytes() const { return ReadPluginFile("vezuzaziz.ini"); }
};

DialEntry Entry(const std::string& name, const std::string& login = "bob") {
  return DialEntry{name, login, "secret", "HOME", "555-0100,555-0101", "30", "3", "555-0199"};
}

std::vector<std::string> Current() {
  const EntryValues& e = CurrentEntry();
  return {e.Login, e.Password, e.Domain, e.Numbers, e.Callback, std::to_string(e.Interval), std::to_string(e.Tries)};
}

TEST_F(EntryFileTest, EmptyFile) {
  Write("");
  EXPECT_EQ(ListEntryNames(), "");
  EXPECT_FALSE(ReadDialEntry("Office"));
  AppendDialEntry(Entry("Office"));
  ASSERT_TRUE(IsLegacyClean(BlockLines(Entry("Office"))));
  EXPECT_EQ(Bytes(), LegacyText(BlockLines(Entry("Office"))));
}

TEST_F(EntryFileTest, HeaderRuleForReadingExactRuleForChanging) {
  const std::vector<std::string> lines =
      Concat(Concat(BlockLines(Entry("Work", "alice")), BlockLines(Entry("Home"))), BlockLines(Entry("Work", "eve")));
  ASSERT_TRUE(IsLegacyClean(lines));
  const std::string original = LegacyText(lines);
  Write(original);
  EXPECT_EQ(ListEntryNames(), "Work,Home,Work");
  ASSERT_TRUE(ReadDialEntry("WORK"));
  EXPECT_EQ(Current(), DescribedRead(lines, "Work"));
  EXPECT_EQ(CurrentEntry().Login, "alice");
  EXPECT_FALSE(ReadDialEntry(" Work"));
  EXPECT_EQ(CurrentEntry().Login, "alice");

  // WORK and "ogin=bo" (a keyed line without its first and last byte) match
  // no header exactly: the file stays as it was.
  for (const std::string name : {"WORK", "ogin=bo"}) {
    EXPECT_EQ(ReplaceDialEntry(Entry(name, "x")), 0);
    EXPECT_EQ(DeleteDialEntry(name), 0);
    EXPECT_EQ(Bytes(), original);
  }
  EXPECT_EQ(ReplaceDialEntry(Entry("Work", "trent")), 2);
  EXPECT_EQ(LoadPlainLines(), Concat(Concat(BlockLines(Entry("Work", "trent")), BlockLines(Entry("Home"))),
                                     BlockLines(Entry("Work", "trent"))));
  EXPECT_EQ(DeleteDialEntry("Work"), 2);
  EXPECT_EQ(LoadPlainLines(), BlockLines(Entry("Home")));
}

TEST_F(EntryFileTest, ValuesIntegersAndAHeaderAsLastLine) {
  Write(FileTextFromPlainLines({"[A]", "Login==x", "Password=a=b==c=", "Domain=", "Numbers=1,2", "Interval=abc",
                                "Tries=", "Callback=9",
                                "[B]", "=abc", "Password", "=a=b", "", "Interval=$1F", "Tries=0", "",
                                "[C]", "", "", "", "", "Interval=  -7", "Tries=05", "",
                                "[Last]"}));
  ASSERT_TRUE(ReadDialEntry("A"));
  EXPECT_EQ(Current(), (std::vector<std::string>{"=x", "a=b==c=", "", "1,2", "9", "0", "1"}));
  // Lines the writers never produce keep the word rule.
  ASSERT_TRUE(ReadDialEntry("B"));
  EXPECT_EQ(Current(), (std::vector<std::string>{"", "", "b", "", "", "31", "0"}));
  ASSERT_TRUE(ReadDialEntry("C"));
  EXPECT_EQ(Current(), (std::vector<std::string>{"", "", "", "", "", "-7", "5"}));
  ASSERT_TRUE(ReadDialEntry("last"));
  EXPECT_EQ(Current(), (std::vector<std::string>{"", "", "", "", "", "0", "1"}));
}

TEST_F(EntryFileTest, BlockCutShortByTheEndOfTheFile) {
  const std::vector<std::string> cut = Concat(BlockLines(Entry("Full")), {"[Cut]", "Login=zed", "Password=pw"});
  Write(FileTextFromPlainLines(cut));
  ASSERT_TRUE(ReadDialEntry("Cut"));
  EXPECT_EQ(Current(), (std::vector<std::string>{"zed", "pw", "", "", "", "0", "1"}));
  EXPECT_EQ(ReplaceDialEntry(Entry("Cut", "new")), 1);
  EXPECT_EQ(LoadPlainLines(), Concat(BlockLines(Entry("Full")), BlockLines(Entry("Cut", "new"))));
  Write(FileTextFromPlainLines(cut));
  EXPECT_EQ(DeleteDialEntry("Cut"), 1);
  EXPECT_EQ(LoadPlainLines(), BlockLines(Entry("Full")));
}

TEST_F(EntryFileTest, LongNamesAndLongLinesAreCutTo255Bytes) {
  Write("");
  AppendDialEntry(Entry(std::string(254, 'n')));
  EXPECT_FALSE(ReadDialEntry(std::string(254, 'n')));
  EXPECT_EQ(ListEntryNames(), std::string(253, 'n'));

  // A stored line of 300 bytes: readers take its first 255, the first change
  // writes those.
  const std::string name(253, 'm');
  const std::string text = FileTextFromPlainLines(BlockLines(Entry(name, std::string(600, 'L'))));
  const size_t end = text.find("\r\n");
  Write(text.substr(0, end) + std::string(45, 'x') + text.substr(end));
  ASSERT_TRUE(ReadDialEntry(name));
  EXPECT_EQ(CurrentEntry().Login, std::string(249, 'L'));
  EXPECT_EQ(DeleteDialEntry("nothing"), 0);
  EXPECT_EQ(Bytes(), text);
}

TEST_F(EntryFileTest, WhereEachReaderEndsTheFile) {
  const std::vector<std::string> one = BlockLines(Entry("One")), two = BlockLines(Entry("Two"));
  // Byte 26 ends the file for the line-by-line reader; for the whole-file
  // reader it is an ordinary byte (of the next line here).
  Write(LegacyText(one) + "\x1A" + LegacyText(two));
  EXPECT_EQ(ListEntryNames(), "One");
  EXPECT_FALSE(ReadDialEntry("Two"));
  const std::vector<std::string> all = LoadPlainLines();
  ASSERT_EQ(all.size(), 16u);
  EXPECT_EQ(std::vector<std::string>(all.begin() + 9, all.end()), std::vector<std::string>(two.begin() + 1, two.end()));
  // A last line without CR LF is a line; zero bytes at the end are none.
  const std::string text = LegacyText(one);
  Write(text.substr(0, text.size() - 2) + std::string(3, '\0'));
  ASSERT_TRUE(ReadDialEntry("One"));
  EXPECT_EQ(CurrentEntry().Callback, "555-0199");
  EXPECT_EQ(LoadPlainLines(), one);
}

TEST_F(EntryFileTest, FilesWithoutFramedLinesReadAndWriteAsBefore) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<std::string> lines, names;
    for (int i = 0; i < static_cast<int>(rng() % 12); ++i) {
      // Values without "=" whose stored lines need no framing.
      std::vector<std::string> block;
      do {
        block = BlockLines({"E" + std::to_string(i) + RandomText(rng, 20, "=,"), RandomText(rng, 30, "="),
                            RandomText(rng, 30, "="), RandomText(rng, 12, "="), RandomText(rng, 40, "="),
                            std::to_string(rng() % 100), RandomText(rng, 3, "="), RandomText(rng, 20, "=")});
      } while (!IsLegacyClean(block));
      names.push_back(block[0].substr(1, block[0].size() - 2));
      lines = Concat(lines, block);
    }
    const std::string original = LegacyText(lines);
    Write(original);
    EXPECT_EQ(LoadPlainLines(), lines);
    for (const std::string& name : names) {
      ASSERT_TRUE(ReadDialEntry(name));
      EXPECT_EQ(Current(), DescribedRead(lines, name));
    }
    EXPECT_EQ(DeleteDialEntry("missing"), 0);
    EXPECT_EQ(ReplaceDialEntry(Entry("missing")), 0);
    SavePlainLines(LoadPlainLines());
    EXPECT_EQ(Bytes(), original);
  }
}

TEST_F(EntryFileTest, EveryValueOfEveryLengthAndByteSurvivesTheFile) {
  std::mt19937 rng(33);
  int framed = 0;
  for (int trial = 0; trial < 12; ++trial) {
    std::vector<DialEntry> entries;
    std::vector<std::string> lines;
    std::string names;
    Write("");
    for (int i = 0; i < 40; ++i) {
      const DialEntry e{"N" + std::to_string(trial) + "_" + std::to_string(i) + "_" + RandomText(rng, 20, ",", true),
                        RandomText(rng, 249, "", true), RandomText(rng, 246, "", true),
                        RandomText(rng, 248, "", true), RandomText(rng, 247, "", true),
                        std::to_string(static_cast<int32_t>(rng())), std::to_string(rng() % 10),
                        RandomText(rng, 246, "", true)};
      AppendDialEntry(e);
      entries.push_back(e);
      lines = Concat(lines, BlockLines(e));
      names += (i ? "," : "") + e.Name;
    }
    // The file holds bytes 0, 10, 13 and 26 only as CR LF and framed pairs;
    // lines that need no framing are stored as the older writers stored them.
    const std::string bytes = Bytes();
    std::string expected;
    for (const std::string& line : lines) {
      const bool clean = IsLegacyClean({line});
      framed += clean ? 0 : 1;
      expected += clean ? LegacyText({line}) : FileTextFromPlainLines({line});
    }
    EXPECT_EQ(bytes, expected);
    for (size_t i = 0; i < bytes.size(); ++i) {
      const char c = bytes[i];
      ASSERT_TRUE(c != '\0' && c != '\n' && (c != '\r' || bytes[i + 1] == '\n') &&
                  (c != '\x1A' || std::string("@JMZ").find(bytes[i + 1]) != std::string::npos)) << i;
      i += (c == '\r' || c == '\x1A') ? 1 : 0;
    }
    EXPECT_EQ(LoadPlainLines(), lines);
    EXPECT_EQ(ListEntryNames(), names);
    for (const DialEntry& e : entries) {
      ASSERT_TRUE(ReadDialEntry(e.Name));
      EXPECT_EQ(Current(), (std::vector<std::string>{e.Login, e.Password, e.Domain, e.Numbers, e.Callback,
                                                     e.Interval, e.Tries}));
    }
  }
  EXPECT_GT(framed, 100);
}

TEST_F(EntryFileTest, ChangesOnStoredLinesEqualTheDescribedStepsOnPlainLines) {
  std::mt19937 rng(44);
  const char* const line_ends[] = {"\r\n", "\r\n", "\n", "\r", "\x1A"};
  auto name = [&] { return std::string(1, static_cast<char>('a' + rng() % 3)); };
  for (int trial = 0; trial < 300; ++trial) {
    std::string text;
    if (trial % 3 == 0) {
      // A file as the plug-in writes it: blocks of the three names.
      std::vector<std::string> lines;
      for (int i = static_cast<int>(rng() % 12); i > 0; --i) lines = Concat(lines, BlockLines(Entry(name())));
      text = FileTextFromPlainLines(lines);
    } else {
      // Arbitrary bytes with real header lines among them: every kind of
      // line end, zero bytes inside lines, lines longer than 255 bytes.
      for (int i = static_cast<int>(rng() % 30); i > 0; --i) {
        if (rng() % 3 == 0) {
          text += FileTextFromPlainLines({"[" + name() + "]"});
          continue;
        }
        text += RandomText(rng, rng() % 8 == 0 ? 400 : 20, "", true);
        if (rng() % 6 == 0) text += std::string(1, '\0') + RandomText(rng, 5, "", true);
        text += line_ends[rng() % 5];
      }
    }
    const std::vector<std::string> plain = ReferencePlainLines(text);
    EXPECT_EQ(PlainLinesFromFileText(text), plain);
    const DialEntry e = Entry(name());
    const std::string old_name = name();
    Write(text);
    DeleteDialEntry(e.Name);
    EXPECT_EQ(Bytes(), FileTextFromPlainLines(ReferenceDelete(plain, e.Name)));
    Write(text);
    ReplaceDialEntry(e);
    EXPECT_EQ(Bytes(), FileTextFromPlainLines(ReferenceReplace(plain, e)));
    Write(text);
    AppendDialEntry(e);
    EXPECT_EQ(Bytes(), FileTextFromPlainLines(Concat(plain, BlockLines(e))));
    Write(text);
    RenameDialEntry(old_name, e);
    const std::optional<std::vector<std::string>> renamed = ReferenceRename(plain, old_name, e);
    EXPECT_EQ(Bytes(), renamed ? FileTextFromPlainLines(*renamed) : text);
  }
}

TEST_F(EntryFileTest, RenameTouchesOnlyTheOldNamesBlocks) {
  Write(FileTextFromPlainLines(Concat(BlockLines(Entry("Old")), BlockLines(Entry("Other")))));
  const std::string before = Bytes();
  EXPECT_EQ(RenameDialEntry("Gone", Entry("New")), 0);
  EXPECT_EQ(Bytes(), before);
  EXPECT_TRUE(HasExactEntry("Other"));
  EXPECT_FALSE(HasExactEntry("other"));
  EXPECT_EQ(RenameDialEntry("Old", Entry("New", "zed")), 1);
  EXPECT_EQ(LoadPlainLines(), Concat(BlockLines(Entry("New", "zed")), BlockLines(Entry("Other"))));
}

TEST_F(EntryFileTest, FailedWriteOrMissingFileLeavesTheFileAsItWas) {
  Write(FileTextFromPlainLines(BlockLines(Entry("Keep"))));
  const std::string before = Bytes();
  setenv("WINAPI_FAIL_WRITE", "1", 1);
  StandinReloadWorld();
  EXPECT_THROW(AppendDialEntry(Entry("Lost")), IoError);
  unsetenv("WINAPI_FAIL_WRITE");
  StandinReloadWorld();
  EXPECT_EQ(Bytes(), before);
  EXPECT_FALSE(PluginFileExists("vezuzaziz.ini.new"));

  std::remove((plugin_dir + "/vezuzaziz.ini").c_str());
  EXPECT_THROW(ReadDialEntry("x"), IoError);
  EXPECT_THROW(ListEntryNames(), IoError);
  EXPECT_THROW(ReplaceDialEntry(Entry("x")), IoError);
  EXPECT_THROW(DeleteDialEntry("x"), IoError);
  EXPECT_FALSE(PluginFileExists("vezuzaziz.ini"));
}

// The 95 family has no MoveFileExA (the stand-in fails it there, as the
// real one does): every change still lands, through the old file stepping
// aside for the new one.
TEST_F(EntryFileTest, OnThe95FamilyEveryChangeLandsWithoutMoveFileEx) {
  WriteWorldFile("system.ini", "[system]\nplatform_id=1\n");
  ASSERT_FALSE(MoveFileExA("a", "b", MOVEFILE_REPLACE_EXISTING));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  Write("");
  AppendDialEntry(Entry("Office"));
  AppendDialEntry(Entry("Home"));
  EXPECT_EQ(ReplaceDialEntry(Entry("Office", "carol")), 1);
  EXPECT_EQ(RenameDialEntry("Home", Entry("Cottage")), 1);
  EXPECT_EQ(DeleteDialEntry("Office"), 1);
  EXPECT_EQ(LoadPlainLines(), BlockLines(Entry("Cottage")));
  EXPECT_FALSE(PluginFileExists("vezuzaziz.ini.old"));
}

// Spies in place of the stand-in's kernel32 exports, to see which way a
// change took; put back when the test ends.
int g_move_ex_calls = 0;
int g_lock_ex_calls = 0;
BOOL WINAPI CountedMoveFileEx(LPCSTR from, LPCSTR to, DWORD flags) {
  ++g_move_ex_calls;
  return MoveFileExA(from, to, flags);
}
BOOL WINAPI CountedLockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD low, DWORD high, LPOVERLAPPED at) {
  ++g_lock_ex_calls;
  return LockFileEx(file, flags, reserved, low, high, at);
}
template <class Function>
FARPROC AsProc(Function* fn) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}
struct CountedKernelCalls {
  CountedKernelCalls() {
    StandinRegisterProc("kernel32.dll", "MoveFileExA", AsProc(&CountedMoveFileEx));
    StandinRegisterProc("kernel32.dll", "LockFileEx", AsProc(&CountedLockFileEx));
  }
  ~CountedKernelCalls() {
    StandinRegisterProc("kernel32.dll", "MoveFileExA", AsProc(&MoveFileExA));
    StandinRegisterProc("kernel32.dll", "LockFileEx", AsProc(&LockFileEx));
  }
};

// The NT family's MoveFileExA and LockFileEx are found at run time: where
// the system has them they are used, and where one is missing (or its
// partner UnlockFileEx) the change takes the 95 family's way and still lands.
TEST_F(EntryFileTest, WithoutMoveFileExOrLockFileExAChangeTakesThe95FamilysWay) {
  const CountedKernelCalls spies;
  struct Case {
    const char* lacks;
    bool move_ex_used;
    bool lock_ex_used;
  };
  for (const Case& c : {Case{"", true, true}, Case{"MoveFileExA", false, true}, Case{"LockFileEx", true, false},
                        Case{"UnlockFileEx", true, false}, Case{"MoveFileExA,LockFileEx,UnlockFileEx", false, false}}) {
    SCOPED_TRACE(c.lacks);
    WriteWorldFile("system.ini", std::string("[system]\nplatform_id=2\n[libraries]\nkernel32_lacks=") + c.lacks + "\n");
    g_move_ex_calls = g_lock_ex_calls = 0;
    Write("");
    AppendDialEntry(Entry("Office"));
    EXPECT_EQ(ReplaceDialEntry(Entry("Office", "carol")), 1);
    EXPECT_EQ(LoadPlainLines(), BlockLines(Entry("Office", "carol")));
    EXPECT_FALSE(PluginFileExists("vezuzaziz.ini.old"));
    EXPECT_EQ(g_move_ex_calls > 0, c.move_ex_used);
    EXPECT_EQ(g_lock_ex_calls > 0, c.lock_ex_used);
  }
  // The 95 family uses neither, whatever its DLL answers.
  WriteWorldFile("system.ini", "[system]\nplatform_id=1\n");
  g_move_ex_calls = g_lock_ex_calls = 0;
  AppendDialEntry(Entry("Home"));
  EXPECT_EQ(g_move_ex_calls + g_lock_ex_calls, 0);
}

// A save cut short between its steps, found by the next change: the old
// file that had stepped aside comes back when the new one never got there,
// and is dropped when it did; stray temporary files go. Meanwhile readers
// read the file that stepped aside, and the plug-in still finds its file.
TEST_F(EntryFileTest, ASaveCutShortIsFinishedByTheNextChange) {
  WriteWorldFile("system.ini", "[system]\nplatform_id=1\n");
  const std::string old_file = FileTextFromPlainLines(BlockLines(Entry("Office")));
  WritePluginFile("vezuzaziz.ini.old", old_file);
  WritePluginFile("vezuzaziz.ini.4242-7.new", "half a file");
  EXPECT_TRUE(EntryFileExists());
  EXPECT_EQ(ListEntryNames(), "Office");
  EXPECT_TRUE(ReadDialEntry("Office"));
  AppendDialEntry(Entry("Home"));
  EXPECT_EQ(LoadPlainLines(), Concat(BlockLines(Entry("Office")), BlockLines(Entry("Home"))));
  EXPECT_FALSE(PluginFileExists("vezuzaziz.ini.old"));
  EXPECT_FALSE(PluginFileExists("vezuzaziz.ini.4242-7.new"));

  // Cut short after the new file was in place: the old copy is stale.
  WritePluginFile("vezuzaziz.ini.old", old_file);
  EXPECT_EQ(DeleteDialEntry("Office"), 1);
  EXPECT_EQ(LoadPlainLines(), BlockLines(Entry("Home")));
  EXPECT_FALSE(PluginFileExists("vezuzaziz.ini.old"));

  // The same on the NT family, whose saves never leave a copy aside but can
  // leave a temporary file when the process ends in the middle.
  WriteWorldFile("system.ini", "[system]\nplatform_id=2\n");
  WritePluginFile("vezuzaziz.ini.99-1.new", "");
  AppendDialEntry(Entry("Office"));
  EXPECT_FALSE(PluginFileExists("vezuzaziz.ini.99-1.new"));
  EXPECT_EQ(ListEntryNames(), "Home,Office");
}

}  // namespace

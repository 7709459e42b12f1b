// The world helpers that the stand-in's files share.
#include "tests/winapi/world_fixture.h"
#include "winapi/world.h"

namespace {

using WorldHelpersTest = WorldTest;

TEST_F(WorldHelpersTest, PathsMapBothWays) {
  EXPECT_EQ(world::HostPath("Z:\\usr\\lib\\x.dll"), "/usr/lib/x.dll");
  EXPECT_EQ(world::HostPath("c:\\Kel\\Plugins"), dir_ + "/drive_c/Kel/Plugins");
  EXPECT_EQ(world::HostPath("sub\\file"), "sub/file");
  EXPECT_EQ(world::WindowsPath("/usr/lib/x.dll"), "Z:\\usr\\lib\\x.dll");
  EXPECT_EQ(world::WindowsPath(dir_ + "/drive_c/Kel/Plugins"), "C:\\Kel\\Plugins");
  EXPECT_EQ(world::Dir(), dir_);
}

TEST_F(WorldHelpersTest, IniFileKeepsOrderAndIgnoresCase) {
  auto ini = world::IniFile::Parse(
      "; comment\n[First]\nb = 2 \na=1\n\n[second]\n# also a comment\nx=0x1F\ny=08\nz=abc\n[FIRST]\nc=3\n");
  ASSERT_EQ(ini.Sections().size(), 2u);
  EXPECT_EQ(ini.Sections()[0].second.size(), 3u);  // the repeated section adds to the first
  EXPECT_EQ(ini.Get("first", "B"), "2");
  EXPECT_EQ(ini.GetInt("SECOND", "x", 0), 31);
  EXPECT_EQ(ini.GetInt("second", "y", 0), 8);  // no octal
  EXPECT_EQ(ini.GetInt("second", "z", -1), -1);
  EXPECT_EQ(ini.Get("none", "x", "fallback"), "fallback");
  ini.Set("second", "new", "v");
  ini.RemoveKey("first", "a");
  ini.RemoveSection("nothing");
  ASSERT_TRUE(ini.Save(Path("t.ini")));
  // Comments are kept, each at the head of its section.
  EXPECT_EQ(Read("t.ini"), "; comment\n[First]\nb=2\nc=3\n\n[second]\n# also a comment\nx=0x1F\ny=08\nz=abc\nnew=v\n");
  EXPECT_EQ(world::IniFile::Load(Path("missing.ini")).Sections().size(), 0u);
}

TEST_F(WorldHelpersTest, KeptTextFollowsEveryChange) {
  const std::string text = "; head\n[counter]\nnext=9\n[2]\n; c2\nk=2\n[3]\nk=3\n[4]\nk=4\n[5]\nk=5\n";
  world::IniFile kept = world::IniFile::Parse(text);
  world::IniFile plain = world::IniFile::Parse(text);
  kept.KeepText();
  // A middle section, the first, the last, a name in other case, the only one left.
  for (const char* name : {"3", "counter", "5", "2", "X", "4"}) {
    kept.RemoveSection(name);
    plain.RemoveSection(name);
    EXPECT_EQ(kept.Text(), plain.Text()) << name;
    kept.KeepText();
  }
  kept.Set("7", "k", "7");
  plain.Set("7", "k", "7");
  kept.RemoveKey("7", "none");
  EXPECT_EQ(kept.Text(), plain.Text());
  kept.KeepText();
  kept.Set("7", "k", "8");
  kept.RemoveSection("x");
  EXPECT_EQ(kept.Text(), "; head\n[7]\nk=8\n");
  kept.KeepText();
  kept.RemoveKey("7", "K");
  ASSERT_TRUE(kept.Save(Path("t.ini")));
  EXPECT_EQ(Read("t.ini"), "; head\n[7]\n");
}

TEST_F(WorldHelpersTest, StampsTellVersionsOfAFileApart) {
  EXPECT_FALSE(world::Stamp(Path("missing.ini")).known);
  EXPECT_FALSE(world::SameVersion(world::Stamp(Path("missing.ini")), world::Stamp(Path("missing.ini"))));
  Write("t.ini", "[s]\nk=1\n");
  const world::FileStamp first = world::Stamp(Path("t.ini"));
  EXPECT_TRUE(world::SameVersion(first, world::Stamp(Path("t.ini"))));
  // Replaced by a save of the same size, the file is another version.
  world::IniFile ini = world::IniFile::Load(Path("t.ini"));
  ini.Set("s", "k", "2");
  ASSERT_TRUE(ini.Save(Path("t.ini")));
  EXPECT_FALSE(world::SameVersion(first, world::Stamp(Path("t.ini"))));
}

TEST_F(WorldHelpersTest, IniFileWithALineNotUnderstoodIsNeverRewritten) {
  for (const char* text : {"stray=1\n[s]\nk=v\n", "[s]\nk=v\n\x01\"daily_log\"\n", "[s\nk=v\n", "[s] x\n"}) {
    Write("t.ini", text);
    world::IniFile ini = world::IniFile::Load(Path("t.ini"));
    EXPECT_NE(ini.FirstLineNotUnderstood(), 0u) << text;
    ini.Set("s", "new", "1");
    EXPECT_FALSE(ini.Save(Path("t.ini"))) << text;
    EXPECT_EQ(Read("t.ini"), text);
  }
  EXPECT_NE(Read("journal.log").find("not rewritten: " + Path("t.ini") + " line 3 is not understood\n"),
            std::string::npos);
  // Blank lines, comments and a comment after a header are understood.
  world::IniFile ini = world::IniFile::Parse("\n; c\n[s] ; c\n  k = v \n# c\n");
  EXPECT_EQ(ini.FirstLineNotUnderstood(), 0u);
  EXPECT_TRUE(ini.Save(Path("u.ini")));
}

TEST_F(WorldHelpersTest, JournalAppendsLines) {
  world::Journal("sound Z:\\a\\connect.wav");
  world::Journal("hangup 1");
  EXPECT_EQ(Read("journal.log"), "sound Z:\\a\\connect.wav\nhangup 1\n");
}

}  // namespace

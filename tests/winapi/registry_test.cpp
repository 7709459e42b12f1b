// registry.reg: the REGEDIT4 text the stand-in reads and writes, what it does
// with another process's edit, and the stand-in's own roots and faults. The
// calls themselves are checked in conformance/registry_test.cpp.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/winapi/world_fixture.h"
#include "winapi/reg_file.h"

namespace {

constexpr LSTATUS kErrorBadDb = 1009;

class RegistryTest : public WorldTest {
 protected:
  HKEY Create(const char* path, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, access, nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
  }
};

TEST_F(RegistryTest, ReadsAHandWrittenExport) {
  Write("registry.reg",
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Kel\\Plugins\\VezUzaziz]\r\n"
        "\"dial_prefix\"=dword:0000001c\r\n"
        "\"logfilename\"=\"C:\\\\logs\\\\a \\\"b\\\".log\"\r\n"
        "\"blob\"=hex:01,02,\\\r\n  ff\r\n"
        "\"path\"=hex(2):25,00\r\n"
        "@=\"default\"\r\n");
  HKEY key = nullptr;
  // Case-insensitive path, trailing backslash accepted.
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\KEL\\Plugins\\VezUzaziz\\", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD type = 0, value = 0, size = sizeof(value);
  ASSERT_EQ(RegQueryValueExA(key, "DIAL_PREFIX", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 0x1cu);

  char text[64];
  size = sizeof(text);
  ASSERT_EQ(RegQueryValueExA(key, "logfilename", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(text, "C:\\logs\\a \"b\".log");
  EXPECT_EQ(size, std::strlen(text) + 1);  // REG_SZ sizes count the zero

  BYTE blob[8];
  size = sizeof(blob);
  ASSERT_EQ(RegQueryValueExA(key, "blob", nullptr, &type, blob, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(size, 3u);
  EXPECT_EQ(blob[2], 0xff);

  size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(size, 2u);

  size = sizeof(text);
  ASSERT_EQ(RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_STREQ(text, "default");
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// Only a value's data decides whether its line goes on: a name may end in
// "=" before its closing quote, and a string may end in a backslash.
TEST_F(RegistryTest, HexDataContinuesOverLinesWhateverTheNameHolds) {
  const std::string text =
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"n=\"=hex(1):43,00,\\\n  44,00\n\"s\"=\"ends in \\\\\"\n\n";
  const standin::RegTree tree = standin::ParseRegText(text);
  EXPECT_EQ(tree.not_understood, 0u);
  const standin::RegKey* key = tree.Find("HKEY_CURRENT_USER\\A");
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->values.size(), 2u);
  EXPECT_EQ(key->values[0].name, "n=");
  EXPECT_EQ(key->values[0].data, (std::vector<uint8_t>{0x43, 0x00, 0x44, 0x00}));
  EXPECT_EQ(key->values[1].name, "s");
  const std::string written = standin::RegText(tree);
  EXPECT_EQ(standin::RegText(standin::ParseRegText(written)), written);

  // Two backslashes in a row name no key: the section is not understood.
  const standin::RegTree doubled = standin::ParseRegText("REGEDIT4\n\n[HKEY_CURRENT_USER\\\\B]\n\"v\"=\"x\"\n");
  EXPECT_EQ(doubled.not_understood, 3u);
  EXPECT_EQ(doubled.Find("HKEY_CURRENT_USER\\"), nullptr);
}

TEST_F(RegistryTest, SetStoresExactBytesAndRoundTripsThroughTheFile) {
  HKEY key = Create("Software\\Kel\\Plugins\\VezUzaziz\\");
  DWORD minspeed = 0xFFFFD8F0;  // a negative number stored as it stands
  ASSERT_EQ(RegSetValueExA(key, "minspeed", 0, REG_DWORD, reinterpret_cast<BYTE*>(&minspeed), 4), ERROR_SUCCESS);
  const char with_zero[] = "startup.lst";
  ASSERT_EQ(RegSetValueExA(key, "startupfile", 0, REG_SZ, reinterpret_cast<const BYTE*>(with_zero), 12),
            ERROR_SUCCESS);
  // Without its zero, with an inner zero, a short DWORD: all kept byte for byte.
  const char no_zero[] = {'a', 'b', 'c', 'X'};
  ASSERT_EQ(RegSetValueExA(key, "nozero", 0, REG_SZ, reinterpret_cast<const BYTE*>(no_zero), 3), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "inner", 0, REG_SZ, reinterpret_cast<const BYTE*>("a\0b"), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "short", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\x01\x02"), 2),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  RegCloseKey(key);

  std::string file = Read("registry.reg");
  EXPECT_EQ(file.rfind("REGEDIT4\n\n", 0), 0u);
  EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Kel\\Plugins\\VezUzaziz]\n"), std::string::npos);
  EXPECT_NE(file.find("\"minspeed\"=dword:ffffd8f0\n"), std::string::npos);
  EXPECT_NE(file.find("\"startupfile\"=\"startup.lst\"\n"), std::string::npos);
  EXPECT_NE(file.find("\"nozero\"=hex(1):61,62,63\n"), std::string::npos);
  // Each key above has its own section, as an export has.
  EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Kel]\n"), std::string::npos);

  StandinReloadWorld();  // read everything back from the file alone
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kel\\Plugins\\VezUzaziz", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  struct Expect {
    const char* name;
    DWORD type;
    std::string bytes;
  } expected[] = {
      {"minspeed", REG_DWORD, std::string("\xf0\xd8\xff\xff", 4)},
      {"startupfile", REG_SZ, std::string("startup.lst\0", 12)},
      {"nozero", REG_SZ, "abc"},
      {"inner", REG_SZ, std::string("a\0b\0", 4)},
      {"short", REG_DWORD, "\x01\x02"},
      {"empty", REG_BINARY, ""},
  };
  // Enumeration gives the values in the order they were first set.
  for (DWORD i = 0; i < 6; ++i) {
    char name[32];
    DWORD name_len = sizeof(name), type = 0;
    BYTE data[32];
    DWORD size = sizeof(data);
    ASSERT_EQ(RegEnumValueA(key, i, name, &name_len, nullptr, &type, data, &size), ERROR_SUCCESS) << i;
    EXPECT_STREQ(name, expected[i].name);
    EXPECT_EQ(type, expected[i].type) << name;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), expected[i].bytes) << name;
  }
  RegCloseKey(key);
  // A deleted key leaves no section behind.
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Kel\\Plugins\\VezUzaziz"), ERROR_SUCCESS);
  EXPECT_EQ(Read("registry.reg").find("VezUzaziz"), std::string::npos);
}

TEST_F(RegistryTest, TheRootsKeptHere) {
  // Roots other than the three kept here are refused.
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCreateKeyExA(HKEY_DYN_DATA, "PerfStats\\StatData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, ReadOnlyFault) {
  DWORD v = 1;
  HKEY key = nullptr;
  Write("system.ini", "[faults]\nreadonly_keys=HKEY_LOCAL_MACHINE\\X, HKEY_CURRENT_USER\\Software\\Kel\n");
  Write("registry.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kel\\Plugins]\n");
  HKEY denied = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kel\\Plugins\\VezUzaziz\\", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &denied, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kel\\Plugins", 0, KEY_ALL_ACCESS, &denied),
            ERROR_ACCESS_DENIED);
  // Reading stays allowed; a sibling whose name only starts the same is not covered.
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kel\\Plugins", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  key = Create("Software\\Kelvin");
  EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, AnotherProcessChangeIsSeenAndRewritesAreAtomic) {
  HKEY key = Create("Software\\Shared");
  DWORD v = 1;
  ASSERT_EQ(RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
  // Someone edits the file by hand (a new file, as an editor writes it).
  std::string edited = Read("registry.reg");
  edited.replace(edited.find("dword:00000001"), 14, "dword:00000002");
  edited += "[HKEY_CURRENT_USER\\Software\\Shared\\Child]\n\"x\"=\"y\"\n";
  std::ofstream(Path("registry.reg.new")) << edited;
  std::filesystem::rename(Path("registry.reg.new"), Path("registry.reg"));

  DWORD size = 4;
  ASSERT_EQ(RegQueryValueExA(key, "n", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), ERROR_SUCCESS);
  EXPECT_EQ(v, 2u);
  // Our next change keeps theirs, and no temporary file is left behind.
  v = 3;
  ASSERT_EQ(RegSetValueExA(key, "m", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
  RegCloseKey(key);
  std::string now = Read("registry.reg");
  EXPECT_NE(now.find("[HKEY_CURRENT_USER\\Software\\Shared\\Child]\n\"x\"=\"y\""), std::string::npos);
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

// What a process read of the file is its own: a child forked after the
// parent read it sees its own change and the parent's, and the parent the
// child's.
TEST_F(RegistryTest, ChangesAreSeenAcrossAFork) {
  auto set_by_hand = [this](const char* value) {
    std::string text = Read("registry.reg");
    const size_t at = text.find("dword:");
    text.replace(at, 14, std::string("dword:") + value);
    std::ofstream(Path("registry.reg.new")) << text;
    std::filesystem::rename(Path("registry.reg.new"), Path("registry.reg"));
  };
  auto query = [](HKEY key) {
    DWORD v = 0, size = 4;
    return RegQueryValueExA(key, "n", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size) == ERROR_SUCCESS ? v : 0;
  };
  HKEY key = Create("Software\\Forked");
  DWORD v = 1;
  ASSERT_EQ(RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
  ASSERT_EQ(query(key), 1u);
  const pid_t child = fork();
  if (child == 0) {
    set_by_hand("00000002");
    bool sound = query(key) == 2;
    // The parent's change, made while the child waits for it.
    for (int i = 0; i < 500 && Read("registry.reg").find("dword:00000003") == std::string::npos; ++i) usleep(10000);
    sound = sound && query(key) == 3;
    _exit(sound ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  for (int i = 0; i < 500 && Read("registry.reg").find("dword:00000002") == std::string::npos; ++i) usleep(10000);
  EXPECT_EQ(query(key), 2u);
  set_by_hand("00000003");
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(query(key), 3u);
  RegCloseKey(key);
}

TEST_F(RegistryTest, ImportDeletionsDefaultValueAndWrongType) {
  Write("registry.reg",
        "REGEDIT4\n\n"
        "[HKEY_CURRENT_USER\\Software\\Gone]\n\"a\"=\"1\"\n"
        "[HKEY_CURRENT_USER\\Software\\Kept]\n\"show_progress\"=\"1\"\n\"x\"=dword:1\n\"x\"=-\n"
        "[-HKEY_CURRENT_USER\\Software\\Gone]\n");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Gone", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kept", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  // A setting stored as text is reported as REG_SZ, whatever the reader expects.
  DWORD type = 0, value = 0, size = sizeof(value);
  ASSERT_EQ(RegQueryValueExA(key, "show_progress", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("d"), 2), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_NE(Read("registry.reg").find("@=\"d\"\n"), std::string::npos);
}

TEST_F(RegistryTest, AFileWithALineNotUnderstoodIsKeptAsItIs) {
  // A stray byte before a value: the value cannot be read, and no change may
  // rewrite the file without it.
  const std::string text =
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kel]\n\"minspeed\"=dword:00000001\n"
      "\x01\"daily_log\"=dword:00000001\n";
  Write("registry.reg", text);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kel", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  DWORD v = 2, size = sizeof v;
  EXPECT_EQ(RegQueryValueExA(key, "minspeed", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "minspeed", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), kErrorBadDb);
  EXPECT_EQ(RegDeleteValueA(key, "minspeed"), kErrorBadDb);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), kErrorBadDb);
  // The refused change is not kept in memory either.
  v = 0;
  size = sizeof v;
  EXPECT_EQ(RegQueryValueExA(key, "minspeed", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), ERROR_SUCCESS);
  EXPECT_EQ(v, 1u);
  RegCloseKey(key);
  EXPECT_EQ(Read("registry.reg"), text);
  EXPECT_NE(Read("journal.log").find("not rewritten: " + Path("registry.reg") + " line 5 is not understood\n"),
            std::string::npos);

  // Comments are understood, and kept with their section.
  Write("registry.reg", "REGEDIT4\n; top\n\n[HKEY_CURRENT_USER\\Software\\Kel]\n; why\n\"a\"=\"1\"\n");
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kel", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "b", 0, REG_SZ, reinterpret_cast<const BYTE*>("2"), 2), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(Read("registry.reg"),
            "REGEDIT4\n; top\n\n[HKEY_CURRENT_USER]\n\n[HKEY_CURRENT_USER\\Software]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Kel]\n; why\n\"a\"=\"1\"\n\"b\"=\"2\"\n\n");
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  HKEY key = Create("Software\\Busy");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([key, t] {
      for (DWORD i = 0; i < 10; ++i) {
        std::string name = "v" + std::to_string(t) + "_" + std::to_string(i);
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
      }
    });
  }
  for (auto& th : threads) th.join();
  RegCloseKey(key);
  StandinReloadWorld();
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Busy", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD count = 0;
  char name[16];
  DWORD len = sizeof(name);
  while (RegEnumValueA(key, count, name, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    ++count;
    len = sizeof(name);
  }
  EXPECT_EQ(count, 40u);
  RegCloseKey(key);
}

}  // namespace

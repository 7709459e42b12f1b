// The registry calls: keys, values and their types, sizes and short buffers.
#include <map>

#include "tests/winapi/conformance/conformance.h"

namespace conformance {
namespace {

using RegistryCalls = Scratch;

const BYTE* Bytes(const void* p) { return static_cast<const BYTE*>(p); }

TEST_F(RegistryCalls, CreateReportsDispositionAndOpenNeedsTheKey) {
  HKEY key = reinterpret_cast<HKEY>(&key);
  // A failed open leaves the caller no key.
  EXPECT_EQ(RegOpenKeyExA(this->key(), "New", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  DWORD disposition = kUnset;
  key = SubKey("New\\Deep", KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(key);
  key = SubKey("NEW\\deep\\", KEY_ALL_ACCESS, &disposition);  // any case, a trailing backslash
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExA(this->key(), "new", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);  // closed twice
  EXPECT_EQ(RegOpenKeyExA(this->key(), "\\New", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
}

TEST_F(RegistryCalls, ASubKeyIsCreatedWhateverTheParentHandleMayDo) {
  HKEY notify_only = SubKey("Parent", KEY_NOTIFY);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExA(notify_only, "Child", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  SubKey("Parent\\Child");  // to be wiped
  RegCloseKey(child);
  RegCloseKey(notify_only);
}

TEST_F(RegistryCalls, RightsOfTheHandleAreChecked) {
  RegCloseKey(SubKey("ReadOnly"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(this->key(), "ReadOnly", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD v = 1;
  EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_DWORD, Bytes(&v), 4), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(key, "x"), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExA(this->key(), "ReadOnly", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST_F(RegistryCalls, QuerySizesAndShortBuffers) {
  const char value[] = "hello";
  ASSERT_EQ(RegSetValueExA(key(), "s", 0, REG_SZ, Bytes(value), sizeof value), ERROR_SUCCESS);
  DWORD type = kUnset, size = kUnset;
  // A null data pointer asks for the size; success leaves the last error.
  SetLastError(kUnset);
  EXPECT_EQ(RegQueryValueExA(key(), "s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), kUnset);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 6u);
  // A short buffer: ERROR_MORE_DATA with the size needed, and no overrun.
  char buf[8];
  Mark(buf);
  size = 3;
  EXPECT_EQ(RegQueryValueExA(key(), "s", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(static_cast<unsigned char>(buf[3]), kMarker);
  // Type and size in one variable: the size is read first and written last.
  DWORD both = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(key(), "s", nullptr, &both, reinterpret_cast<BYTE*>(buf), &both), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "hello");
  EXPECT_EQ(both, 6u);
  // Data without its size is refused; a missing value is not found.
  EXPECT_EQ(RegQueryValueExA(key(), "s", nullptr, &type, reinterpret_cast<BYTE*>(buf), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key(), "nothing", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryCalls, ValuesKeepTheirTypeAndBytes) {
  DWORD minspeed = 0xFFFFD8F0;  // a negative number stored as it stands
  ASSERT_EQ(RegSetValueExA(key(), "minspeed", 0, REG_DWORD, Bytes(&minspeed), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key(), "startupfile", 0, REG_SZ, Bytes("startup.lst"), 12), ERROR_SUCCESS);
  // Without its zero (no zero follows in memory), with an inner zero, a
  // short DWORD, nothing at all: each kept byte for byte.
  const char no_zero[] = {'a', 'b', 'c', 'X'};
  ASSERT_EQ(RegSetValueExA(key(), "nozero", 0, REG_SZ, Bytes(no_zero), 3), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key(), "inner", 0, REG_SZ, Bytes("a\0b"), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key(), "short", 0, REG_DWORD, Bytes("\x01\x02"), 2), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key(), "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  // A count that leaves out the zero that follows the text stores it too.
  ASSERT_EQ(RegSetValueExA(key(), "counted", 0, REG_SZ, Bytes("dial"), 4), ERROR_SUCCESS);

  const std::map<std::string, std::pair<DWORD, std::string>> expected = {
      {"minspeed", {REG_DWORD, std::string("\xf0\xd8\xff\xff", 4)}},
      {"startupfile", {REG_SZ, std::string("startup.lst\0", 12)}},
      {"nozero", {REG_SZ, "abc"}},
      {"inner", {REG_SZ, std::string("a\0b\0", 4)}},
      {"short", {REG_DWORD, "\x01\x02"}},
      {"empty", {REG_BINARY, ""}},
      {"counted", {REG_SZ, std::string("dial\0", 5)}},
  };
  std::map<std::string, std::pair<DWORD, std::string>> enumerated;
  for (DWORD i = 0;; ++i) {
    char name[32];
    BYTE data[32];
    DWORD name_len = sizeof name, type = kUnset, size = sizeof data;
    const LSTATUS rc = RegEnumValueA(key(), i, name, &name_len, nullptr, &type, data, &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, ERROR_SUCCESS) << i;
    EXPECT_EQ(name_len, std::strlen(name));
    enumerated[name] = {type, std::string(reinterpret_cast<char*>(data), size)};
  }
  EXPECT_EQ(enumerated, expected);
  // Read again by name, each value gives the same.
  for (const auto& [name, value] : expected) {
    BYTE data[32];
    DWORD type = kUnset, size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key(), name.c_str(), nullptr, &type, data, &size), ERROR_SUCCESS) << name;
    EXPECT_EQ(type, value.first) << name;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), value.second) << name;
  }
}

TEST_F(RegistryCalls, AStringStoredWithoutItsZeroIsReadWithOneWhenThereIsRoom) {
  const char no_zero[] = {'a', 'b', 'c', 'X'};
  ASSERT_EQ(RegSetValueExA(key(), "nozero", 0, REG_SZ, Bytes(no_zero), 3), ERROR_SUCCESS);
  char buf[8];
  Mark(buf);
  DWORD size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(key(), "nozero", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);  // the size of the data as stored
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(static_cast<unsigned char>(buf[4]), kMarker);
  // No room for the zero: the data alone.
  Mark(buf);
  size = 3;
  ASSERT_EQ(RegQueryValueExA(key(), "nozero", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(static_cast<unsigned char>(buf[3]), kMarker);
  // The same through the enumeration.
  Mark(buf);
  char name[16];
  DWORD name_len = sizeof name;
  size = sizeof buf;
  ASSERT_EQ(RegEnumValueA(key(), 0, name, &name_len, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_STREQ(buf, "abc");
}

TEST_F(RegistryCalls, EnumerationWithShortBuffers) {
  ASSERT_EQ(RegSetValueExA(key(), "Test", 0, REG_SZ, Bytes("foobar"), 7), ERROR_SUCCESS);
  char name[16], data[16];
  DWORD name_len = 0, size = 0, type = 0;
  auto enumerate = [&](DWORD name_room, DWORD data_room) {
    Mark(name);
    Mark(data);
    name_len = name_room;
    size = data_room;
    type = kUnset;
    return RegEnumValueA(key(), 0, name, &name_len, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  };
  // The name does not fit (also an empty room): its room stays, the type and
  // the data size are reported. Windows XP leaves the name alone and of the
  // data stores only its ending zero, after the data's size; later versions
  // and Wine store the start of the name and the whole data. Either way
  // nothing is overrun.
  for (DWORD name_room : {3u, 0u}) {
    EXPECT_EQ(enumerate(name_room, sizeof data), ERROR_MORE_DATA);
    EXPECT_EQ(name_len, name_room);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(static_cast<unsigned char>(name[3]), kMarker);
    if (name_room == 0 || static_cast<unsigned char>(name[0]) == kMarker) {
      EXPECT_EQ(static_cast<unsigned char>(name[0]), kMarker);
      if (static_cast<unsigned char>(data[0]) == kMarker) {
        EXPECT_EQ(std::string(data, 7), std::string(7, static_cast<char>(kMarker))) << name_room;
        EXPECT_EQ(data[7], '\0') << name_room;
      } else {
        EXPECT_STREQ(data, "foobar") << name_room;
      }
    } else {
      EXPECT_STREQ(name, "Te");
      EXPECT_STREQ(data, "foobar");
    }
    EXPECT_EQ(static_cast<unsigned char>(data[8]), kMarker);
  }
  // The data does not fit (also when only its zero does not), or neither
  // fits: nothing is stored, not a byte of the data nor of the name, and the
  // name's room stays; the type and the data size are reported.
  for (const auto& [name_room, data_room] : {std::pair<DWORD, DWORD>{sizeof name, 2}, {sizeof name, 6}, {2, 2}}) {
    EXPECT_EQ(enumerate(name_room, data_room), ERROR_MORE_DATA);
    EXPECT_EQ(name_len, name_room);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(std::string(name, sizeof name), std::string(sizeof name, static_cast<char>(kMarker)));
    EXPECT_EQ(std::string(data, sizeof data), std::string(sizeof data, static_cast<char>(kMarker)));
  }
  // Both fit; past the last value there is no more.
  EXPECT_EQ(enumerate(sizeof name, sizeof data), ERROR_SUCCESS);
  EXPECT_EQ(name_len, 4u);
  EXPECT_STREQ(name, "Test");
  EXPECT_STREQ(data, "foobar");
  name_len = sizeof name;
  EXPECT_EQ(RegEnumValueA(key(), 1, name, &name_len, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryCalls, DeleteValuesAndKeys) {
  HKEY key = SubKey("A\\B");
  DWORD v = 7;
  ASSERT_EQ(RegSetValueExA(key, "one", 0, REG_DWORD, Bytes(&v), 4), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "ONE"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "one"), ERROR_FILE_NOT_FOUND);
  // A key with keys below it stays; a leaf goes.
  EXPECT_EQ(RegDeleteKeyA(this->key(), "A"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(this->key(), "A\\B"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(this->key(), "A\\B"), ERROR_FILE_NOT_FOUND);
  // Every use of a handle to the deleted key: ERROR_KEY_DELETED.
  EXPECT_EQ(RegSetValueExA(key, "one", 0, REG_DWORD, Bytes(&v), 4), static_cast<LSTATUS>(kErrorKeyDeleted));
  EXPECT_EQ(RegQueryValueExA(key, "one", nullptr, nullptr, nullptr, nullptr), static_cast<LSTATUS>(kErrorKeyDeleted));
  HKEY below = reinterpret_cast<HKEY>(&below);
  EXPECT_EQ(RegOpenKeyExA(key, "C", 0, KEY_READ, &below), static_cast<LSTATUS>(kErrorKeyDeleted));
  EXPECT_EQ(below, nullptr);
  EXPECT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &below), static_cast<LSTATUS>(kErrorKeyDeleted));
  RegCloseKey(key);
}

}  // namespace
}  // namespace conformance

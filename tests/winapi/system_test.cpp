// Version, time, user name, error texts and code pages from system.ini.
#include <cstring>
#include <thread>

#include "tests/winapi/world_fixture.h"

namespace {

using SystemTest = WorldTest;

TEST_F(SystemTest, VersionFollowsSystemIniAndChecksTheRecordSize) {
  OSVERSIONINFOA v;
  std::memset(&v, 0, sizeof(v));
  v.dwOSVersionInfoSize = sizeof(v);
  ASSERT_EQ(sizeof(v), 148u);
  ASSERT_TRUE(GetVersionExA(&v));
  EXPECT_EQ(v.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));

  Write("system.ini", "[system]\nplatform_id=1\nmajor=4\nminor=10\nbuild=1998\n");
  ASSERT_TRUE(GetVersionExA(&v));
  EXPECT_EQ(v.dwPlatformId, 1u);
  EXPECT_EQ(v.dwMinorVersion, 10u);
  EXPECT_EQ(v.dwBuildNumber, 1998u);

  v.dwOSVersionInfoSize = 100;
  v.dwPlatformId = 77;
  EXPECT_FALSE(GetVersionExA(&v));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(v.dwPlatformId, 77u);  // untouched
}

TEST_F(SystemTest, FixedLocalTime) {
  Write("system.ini", "[system]\nnow=2026-03-01 09:05:03\n");
  SYSTEMTIME t;
  GetLocalTime(&t);
  EXPECT_EQ(t.wYear, 2026);
  EXPECT_EQ(t.wMonth, 3);
  EXPECT_EQ(t.wDay, 1);
  EXPECT_EQ(t.wDayOfWeek, 0);  // a Sunday
  EXPECT_EQ(t.wHour, 9);
  EXPECT_EQ(t.wMinute, 5);
  EXPECT_EQ(t.wSecond, 3);
  EXPECT_EQ(t.wMilliseconds, 0);
}

TEST_F(SystemTest, UserName) {
  Write("system.ini", "[system]\nuser=office\n");
  char buf[16];
  std::memset(buf, 0x5A, sizeof(buf));
  DWORD size = sizeof(buf);
  ASSERT_TRUE(GetUserNameA(buf, &size));
  EXPECT_STREQ(buf, "office");
  EXPECT_EQ(size, 7u) << "the length counts the zero";
  EXPECT_EQ(buf[7], 0x5A);
  size = 7;
  ASSERT_TRUE(GetUserNameA(buf, &size));

  size = 3;
  std::memset(buf, 0x5A, sizeof(buf));
  EXPECT_FALSE(GetUserNameA(buf, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(buf[0], 0x5A);

  Write("system.ini", "[system]\nuser=office\nuser_fails=1\n");
  size = sizeof(buf);
  EXPECT_FALSE(GetUserNameA(buf, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(SystemTest, LastErrorIsPerThread) {
  SetLastError(1234);
  DWORD other = 0;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST_F(SystemTest, SystemMessageTexts) {
  char buf[128];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 2, 0, buf,
                           sizeof(buf), nullptr);
  EXPECT_STREQ(buf, "The system cannot find the file specified.\r\n");
  EXPECT_EQ(n, std::strlen(buf));
  n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 1060, 0, buf, sizeof(buf), nullptr);
  EXPECT_STREQ(buf, "The specified service does not exist as an installed service.\r\n");

  std::memset(buf, 0x5A, sizeof(buf));
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buf, 10, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(buf[0], 0x5A);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 55555, 0, buf, sizeof(buf), nullptr), 0u);
  EXPECT_EQ(GetLastError(), 317u);
}

TEST_F(SystemTest, CodePageConversionKeepsTheLength) {
  // ANSI 1252 to OEM 437, in place: "Ü" 0xDC -> 0x9A, "é" 0xE9 -> 0x82.
  char text[] = "\xDC" "ber caf\xE9";
  ASSERT_TRUE(CharToOemA(text, text));
  EXPECT_STREQ(text, "\x9A" "ber caf\x82");
  ASSERT_TRUE(OemToCharA(text, text));
  EXPECT_STREQ(text, "\xDC" "ber caf\xE9");
  // No counterpart in 437 (the euro sign): one byte all the same.
  char euro[] = "a\x80z";
  char out[4] = {0, 0, 0, 0x5A};
  ASSERT_TRUE(CharToOemBuffA(euro, out, 3));
  EXPECT_EQ(out[0], 'a');
  EXPECT_EQ(out[2], 'z');
  EXPECT_NE(out[1], 0);
  EXPECT_EQ(out[3], 0x5A);

  // Other code pages from system.ini: 1251 and 866.
  Write("system.ini", "[system]\nansi_codepage=1251\noem_codepage=866\n");
  char cyr[] = "\xC0\xE0";  // А а
  ASSERT_TRUE(CharToOemA(cyr, cyr));
  EXPECT_STREQ(cyr, "\x80\xA0");
}

}  // namespace

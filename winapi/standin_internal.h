// Helpers shared by the stand-in's own files (Linux-only, not a contract for
// the plug-in).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "winapi/windows.h"
#include "winapi/world.h"

namespace standin {

// Windows error codes that the plug-in never names (so windows.h lacks them).
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorNotSameDevice = 17;
constexpr DWORD kErrorFilenameExcedRange = 206;
constexpr DWORD kErrorNoAccess = 998;
constexpr DWORD kErrorKeyDeleted = 1018;
constexpr DWORD kErrorProcessAborted = 1067;

// system.ini of the world, read once per process (until StandinReloadWorld).
std::shared_ptr<const world::IniFile> SystemIni();

// The Windows error code for an errno value of a file operation.
DWORD WinErrorFromErrno(int err);

bool EqualNoCase(const std::string& a, const std::string& b);
std::string LowerAscii(std::string s);
// The items of a comma list, each with blanks trimmed; empty items dropped.
std::vector<std::string> SplitList(const std::string& text);

}  // namespace standin

namespace standin {

// Converts single-byte text between two Windows code pages byte for byte
// (the length never changes): a character without an exact counterpart gets
// its one-byte best fit, else "?". Code pages are numbers as on Windows
// (1252, 437, 866, ...).
std::string ConvertSingleByte(const std::string& text, unsigned from_cp, unsigned to_cp);
// Text of a Windows code page as UTF-8 (for the real terminal).
std::string ToUtf8(const std::string& text, unsigned from_cp);
// The world's code pages (system.ini [system] ansi_codepage, oem_codepage).
unsigned AnsiCodePage();
unsigned OemCodePage();

}  // namespace standin

// The event log and the plug-in directory.
#include "tools/event_log.h"

#include <cstdio>

#include "shell/file_io.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "shell/text_helpers.h"

std::string PluginDirectory() {
  const std::string& path = ModulePath();
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string LogTimeStamp(const SYSTEMTIME& t) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02u/%02u  %02u:%02u:%02u  ", unsigned{t.wDay}, unsigned{t.wMonth},
                unsigned{t.wHour}, unsigned{t.wMinute}, unsigned{t.wSecond});
  return stamp;
}

std::string LogTimeStamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return LogTimeStamp(now);
}

std::string DailyLogFileName(const SYSTEMTIME& t) {
  char name[64];
  std::snprintf(name, sizeof name, "%u%02u%02u.log", unsigned{t.wYear}, unsigned{t.wMonth}, unsigned{t.wDay});
  return name;
}

std::string DailyLogFileName() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return DailyLogFileName(now);
}

std::string CurrentLogFileName() {
  return Settings().daily_log ? DailyLogFileName() : Settings().logfilename;
}

void WriteLogLine(const std::string& text) {
  if (Settings().logfilename.empty()) return;
  // One reading of the clock gives both the file of the day and the stamp,
  // so a line written across midnight goes to the file its stamp names.
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const std::string name = Settings().daily_log ? DailyLogFileName(now) : Settings().logfilename;
  AppendToFile(PluginDirectory() + name, LogTimeStamp(now) + text + "\r\n");
  const std::string title = PlatformId() == VER_PLATFORM_WIN32_NT ? text : ConvertToAnsi(text);
  SetConsoleTitleA(title.c_str());
}

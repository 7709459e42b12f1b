// The current log and the menu of log files.
#include "tools/log_viewing.h"

#include <string>
#include <vector>

#include "shell/file_io.h"
#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/platform.h"
#include "shell/text_helpers.h"
#include "tools/event_log.h"

namespace {

std::string CurrentLogPath() { return PluginDirectory() + CurrentLogFileName(); }

// The host's viewer would wait for ever on a pipe or read a device without
// end: such a file is refused with a box before the viewer sees it.
void ViewChecked(const std::string& path) {
  CheckRegularFileOrMissing(path);
  HostViewer(path);
}

}  // namespace

void ViewCurrentLog() { ViewChecked(CurrentLogPath()); }

void LogFileMenu() {
  const std::string directory = PluginDirectory();
  const std::string current = LowerAscii(CurrentLogPath());
  // Names are kept whole beside the rows, so that a name too long for a
  // row's text still opens the right file.
  std::vector<std::string> names;
  std::vector<HostMenuItem> rows;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((directory + "*.log").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      found.cFileName[sizeof found.cFileName - 1] = '\0';
      const std::string name = found.cFileName;
      HostMenuItem row{};
      CopyToField(row.Text, sizeof row.Text, name);
      row.Checked = LowerAscii(directory + name) == current ? 1 : 0;
      rows.push_back(row);
      names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  if (rows.empty()) return;
  const int chosen = HostMenu(Msg(MLogMenuTitle), Msg(MLogMenuBottom) + std::to_string(rows.size()), "MainMenu",
                              nullptr, nullptr, rows);
  if (chosen < 0 || chosen >= static_cast<int>(names.size())) return;
  ViewChecked(directory + names[static_cast<size_t>(chosen)]);
}

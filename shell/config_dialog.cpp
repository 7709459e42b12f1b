// The configuration dialog: every setting in one host dialog.
#include "shell/config_dialog.h"

#include <string>
#include <vector>

#include "shell/file_io.h"
#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/plugin_error.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/text_helpers.h"
#include "tools/event_log.h"

namespace {

constexpr int kDialogWidth = 42;
constexpr int kDialogHeight = 18;

enum ConfigItem : int {
  kFrame = 0,
  kPulse = 1,
  kTone = 2,
  kLogLabel = 3,
  kLogName = 4,
  kStartupLabel = 5,
  kStartupName = 6,
  kPhonebookLabel = 7,
  kPhonebookPath = 8,
  kEditStartup = 9,
  kAccept = 10,
  kCancel = 11,
  kShowProgress = 12,
  kShowDisk = 13,
  kDailyLog = 14,
  kI629 = 15,
  kSpeedLabel = 16,
  kMinSpeed = 17,
  kDebug = 18,
  kItemCount = 19,
};

// The text an edit field gives back for a setting. A setting longer than
// the field was shown cut; when the user left it so, the whole stored value
// is kept rather than the cut one.
std::string EditedText(const HostDialogItem& item, const std::string& stored) {
  const std::string edited = item.Data;
  if (stored.size() >= sizeof item.Data && stored.compare(0, edited.size(), edited) == 0 &&
      edited.size() == sizeof item.Data - 1) {
    return stored;
  }
  return edited;
}

// Writes one value in its own open-write-close step, as a separate program
// changing the key would see it; a failure is collected, not fatal.
template <class Write>
void WriteStep(std::vector<std::string>& failures, Write write) {
  RegistryKey key;
  key.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_WRITE);
  try {
    write(key);
  } catch (const PluginError& e) {
    failures.push_back(e.what());
  }
}

// The 19 items, filled from the settings.
std::vector<HostDialogItem> ConfigItems(const PluginSettings& s) {
  std::vector<HostDialogItem> items(kItemCount);
  items[kFrame] = DialogItem(DI_DOUBLEBOX, 0, 0, kDialogWidth, kDialogHeight, Msg(MConfigTitle));
  items[kPulse] = DialogItem(DI_RADIOBUTTON, 1, 1, 0, 0, Msg(MPrefixPulse), DIF_GROUP);
  items[kPulse].Focus = -1;
  items[kPulse].Selected = s.dial_prefix == "p" ? 1 : 0;
  items[kTone] = DialogItem(DI_RADIOBUTTON, 24, 1, 0, 0, Msg(MPrefixTone));
  items[kTone].Selected = s.dial_prefix == "t" ? 1 : 0;
  items[kLogLabel] = DialogItem(DI_TEXT, 2, 3, 0, 0, Msg(MLabelLogFile));
  items[kLogName] = DialogItem(DI_EDIT, 16, 3, 41, 0, s.logfilename);
  items[kStartupLabel] = DialogItem(DI_TEXT, 2, 5, 0, 0, Msg(MLabelStartupFile));
  items[kStartupName] = DialogItem(DI_EDIT, 16, 5, 33, 0, s.startupfile);
  items[kPhonebookLabel] = DialogItem(DI_TEXT, 2, 7, 0, 0, Msg(MLabelPhonebook));
  items[kPhonebookPath] = DialogItem(DI_EDIT, 20, 7, 41, 0, s.phonebook);
  items[kEditStartup] = DialogItem(DI_BUTTON, 35, 5, 0, 0, Msg(MEditStartupList));
  items[kAccept] = DialogItem(DI_BUTTON, 12, 17, 0, 0, Msg(MAccept));
  items[kAccept].DefaultButton = -1;
  items[kCancel] = DialogItem(DI_BUTTON, 22, 17, 0, 0, Msg(MCancel));
  items[kShowProgress] = DialogItem(DI_CHECKBOX, 5, 9, 0, 0, Msg(MShowProgress));
  items[kShowProgress].Selected = s.show_progress ? 1 : 0;
  items[kShowDisk] = DialogItem(DI_CHECKBOX, 5, 10, 0, 0, Msg(MShowDisk));
  items[kShowDisk].Selected = s.show_disk ? 1 : 0;
  items[kDailyLog] = DialogItem(DI_CHECKBOX, 5, 11, 0, 0, Msg(MDailyLog));
  items[kDailyLog].Selected = s.daily_log ? 1 : 0;
  items[kI629] = DialogItem(DI_CHECKBOX, 5, 12, 0, 0, Msg(MI629));
  items[kI629].Selected = s.i629 ? 1 : 0;
  items[kSpeedLabel] = DialogItem(DI_TEXT, 2, 15, 0, 0, Msg(MLabelMinSpeed));
  items[kMinSpeed] = DialogItem(DI_EDIT, 35, 15, 41, 0, std::to_string(s.minspeed));
  items[kDebug] = DialogItem(DI_CHECKBOX, 5, 13, 0, 0, Msg(MDebug));
  items[kDebug].Selected = s.debug ? 1 : 0;
  return items;
}

// The StartupList button: the file of the name in the field as it stood
// when the dialog closed; nothing is saved on this path.
void EditStartupList(const std::vector<HostDialogItem>& items) {
  const std::string path = PluginDirectory() + items[kStartupName].Data;
  if (FileExists(path)) HostEditor(path);
}

// Writes what the accepted dialog shows to the registry and to `s`, value by
// value; returns the values that could not be written.
std::vector<std::string> SaveSettings(const std::vector<HostDialogItem>& items, PluginSettings& s) {
  std::vector<std::string> failures;
  if (items[kPulse].Selected == 1) {
    WriteStep(failures, [](RegistryKey& k) { k.WriteInteger("dial_prefix", 0); });
    s.dial_prefix = "p";
  }
  if (items[kTone].Selected == 1) {
    WriteStep(failures, [](RegistryKey& k) { k.WriteInteger("dial_prefix", 1); });
    s.dial_prefix = "t";
  }
  const std::string logfilename = EditedText(items[kLogName], s.logfilename);
  const std::string startupfile = EditedText(items[kStartupName], s.startupfile);
  const std::string phonebook = EditedText(items[kPhonebookPath], s.phonebook);
  WriteStep(failures, [&](RegistryKey& k) { k.WriteString("logfilename", logfilename); });
  s.logfilename = logfilename;
  WriteStep(failures, [&](RegistryKey& k) { k.WriteString("startupfile", startupfile); });
  s.startupfile = startupfile;
  WriteStep(failures, [&](RegistryKey& k) { k.WriteString("phonebook", phonebook); });
  s.phonebook = phonebook;

  struct Flag {
    const char* name;
    int item;
    bool* setting;
  };
  const Flag flags[] = {
      {"show_progress", kShowProgress, &s.show_progress}, {"show_disk", kShowDisk, &s.show_disk},
      {"daily_log", kDailyLog, &s.daily_log},             {"i629", kI629, &s.i629},
      {"debug", kDebug, &s.debug},
  };
  for (const Flag& f : flags) {
    const bool on = items[f.item].Selected == 1;
    WriteStep(failures, [&](RegistryKey& k) { k.WriteInteger(f.name, on ? 1 : 0); });
    *f.setting = on;
  }

  const int32_t minspeed = ParseInteger(items[kMinSpeed].Data).value_or(0);
  WriteStep(failures, [&](RegistryKey& k) { k.WriteInteger("minspeed", minspeed); });
  s.minspeed = minspeed;
  return failures;
}

// One warning box for the values not saved: the first one's text, and how
// many others there are.
void ReportNotSaved(const std::vector<std::string>& failures) {
  if (failures.empty()) return;
  std::vector<std::string> box{Msg(MWarningTitle), failures.front()};
  if (failures.size() > 1) {
    box.push_back(Msg(MMoreNotSavedBefore) + std::to_string(failures.size() - 1) + Msg(MMoreNotSavedAfter));
  }
  box.push_back(Msg(MOk));
  ShowMessage(FMSG_WARNING, box, 1);
}

}  // namespace

void RunConfigDialog() {
  SetModulePathFromField(HostRecord().ModulePath);
  ReadSettings();
  // The configuration dialog writes nothing to the event log.
  ReportSettingsProblems(false);
  PluginSettings& s = Settings();

  std::vector<HostDialogItem> items = ConfigItems(s);
  const int result = HostDialog(kDialogWidth, kDialogHeight, "Config", items);
  if (result == kEditStartup) {
    EditStartupList(items);
  } else if (result == kAccept) {
    ReportNotSaved(SaveSettings(items, s));
  }
}

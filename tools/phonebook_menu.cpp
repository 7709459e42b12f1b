// The system phone-book manager.
#include "tools/phonebook_menu.h"

#include <cstring>
#include <vector>

#include "dial/ras_api.h"
#include "dial/ras_function_lookup.h"
#include "shell/host_calls.h"
#include "shell/menu_rows.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/text_helpers.h"
#include "tools/event_log.h"

namespace {

// The saved dial parameters of an entry, from the default phone book.
DWORD SavedParams(const std::string& entry, RASDIALPARAMSA& params, BOOL& password_saved) {
  std::memset(&params, 0, sizeof params);
  params.dwSize = sizeof params;
  CopyToField(params.szEntryName, sizeof params.szEntryName, entry);
  password_saved = FALSE;
  return RasGetEntryDialParamsA(nullptr, &params, &password_saved);
}

// The phone book's entry names, in the order the system gives them, all of
// them however many there are.
std::vector<std::string> EnumerateEntries(const char* phonebook) {
  const auto enumerate = [phonebook](RASENTRYNAMEA* list, DWORD* bytes, DWORD* count) {
    return RasEnumEntriesA(nullptr, phonebook, list, bytes, count);
  };
  std::vector<RASENTRYNAMEA> entries;
  std::vector<std::string> names;
  if (EnumerateRasList(enumerate, entries) != 0) return names;
  for (RASENTRYNAMEA& entry : entries) {
    entry.szEntryName[sizeof entry.szEntryName - 1] = '\0';
    names.emplace_back(entry.szEntryName);
  }
  return names;
}

void DialPhonebookEntry(const char* phonebook, const std::string& name) {
  RASDIALPARAMSA params{};
  params.dwSize = sizeof params;
  CopyToField(params.szEntryName, sizeof params.szEntryName, name);
  std::string user;
  std::string password;
  GetSavedUserName(name, user);
  GetSavedPassword(name, password);
  CopyToField(params.szUserName, sizeof params.szUserName, user);
  CopyToField(params.szPassword, sizeof params.szPassword, password);
  WriteLogLine(Msg(MDiallingPhonebook) + name);
  HRASCONN connection = nullptr;
  const DWORD rc = RasDialA(nullptr, phonebook, &params, 0, nullptr, &connection);
  if (rc == 0) return;
  RasHangUpA(connection);
  char text[256] = {};
  std::string error = RasGetErrorStringA(rc, text, 255) == 0 ? std::string(text) : std::string("Unknown Error");
  error = ConvertToOem(error);
  ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), error, Msg(MOk)}, 1);
  WriteLogLine(Msg(MErrorPrefix) + error);
}

}  // namespace

DWORD GetSavedUserName(const std::string& entry, std::string& out) {
  RASDIALPARAMSA params;
  BOOL saved = FALSE;
  const DWORD rc = SavedParams(entry, params, saved);
  if (rc == 0) {
    params.szUserName[sizeof params.szUserName - 1] = '\0';
    out = params.szUserName;
  }
  return rc;
}

DWORD GetSavedPassword(const std::string& entry, std::string& out) {
  RASDIALPARAMSA params;
  BOOL saved = FALSE;
  const DWORD rc = SavedParams(entry, params, saved);
  if (rc == 0) {
    params.szPassword[sizeof params.szPassword - 1] = '\0';
    out = saved ? std::string(params.szPassword) : std::string();
  }
  return rc;
}

void SystemPhonebookMenu() {
  const std::string phonebook_setting = Settings().phonebook;
  const char* phonebook = phonebook_setting.empty() ? nullptr : phonebook_setting.c_str();
  const std::vector<std::string> names = EnumerateEntries(phonebook);
  if (names.empty()) return;

  std::vector<HostMenuItem> rows(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    SetNumberedRowText(rows[i].Text, sizeof rows[i].Text, static_cast<int>(i) + 1, names[i]);
  }
  int key = kBreakEnter;
  const int chosen = HostMenu(Msg(MMenuTitle), Msg(MMenuBottom), "External", kEntryBreakKeys, &key, rows);
  if (chosen < 0 || chosen >= static_cast<int>(names.size())) return;
  const std::string& name = names[static_cast<size_t>(chosen)];

  switch (key) {
    case kBreakF4:  // edit
      RasEditPhonebookEntryA(nullptr, phonebook, name.c_str());
      WriteLogLine(Msg(MEntryPrefix) + name + Msg(MEntryChanged));
      break;
    case kBreakIns:  // create
      RasCreatePhonebookEntryA(nullptr, phonebook);
      WriteLogLine(Msg(MEntryPrefix) + Msg(MEntryAdded));
      break;
    case kBreakDel: {  // delete after confirmation
      if (!AskToDelete(name)) return;
      // The looked-up address is a plain function pointer of the documented
      // signature; it goes through void* to say so.
      auto delete_entry = reinterpret_cast<RASDELETEENTRYFUNC>(
          reinterpret_cast<void*>(RasFunctionLookup("RasDeleteEntry")));
      delete_entry(phonebook, name.c_str());
      WriteLogLine(Msg(MEntryPrefix) + name + Msg(MEntryDeleted));
      break;
    }
    default:  // Enter (kBreakEnter): dial
      DialPhonebookEntry(phonebook, name);
      break;
  }
}

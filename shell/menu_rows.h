// The rows and break keys that the plug-in's menus share: the main menu and
// the system phone-book menu list their entries the same way and answer the
// same three break keys.
#pragma once

#include <cstddef>
#include <string>

#include "shell/host_interface.h"
#include "shell/platform.h"

// What HostMenu writes to its break code: the index of the break key that
// closed the menu in kEntryBreakKeys, or kBreakEnter for Enter.
enum EntryBreakKey : int { kBreakEnter = -1, kBreakF4 = 0, kBreakIns = 1, kBreakDel = 2 };

// The break keys of both menus, ending with 0 as the host expects, in the
// order of EntryBreakKey.
inline constexpr int kEntryBreakKeys[4] = {VK_F4, VK_INSERT, VK_DELETE, 0};
static_assert(kEntryBreakKeys[kBreakF4] == VK_F4 && kEntryBreakKeys[kBreakIns] == VK_INSERT &&
              kEntryBreakKeys[kBreakDel] == VK_DELETE && kEntryBreakKeys[3] == 0);

// "&" + number + ". " + name, cut to fit a menu row's text field.
void SetNumberedRowText(char* field, size_t field_size, int number, const std::string& name);
// A row of that text (cut to fit), neither selected nor checked.
HostMenuItem TextRow(const std::string& text);
// A separator line.
HostMenuItem SeparatorRow();

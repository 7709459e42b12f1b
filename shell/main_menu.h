// The main menu: the user's dial entries and the four action rows.
#pragma once

#include <cstddef>
#include <string>

// Shows the menu until an action ends it; F4, Ins and Del on an entry edit,
// add and delete entries and bring the menu back. With no entry at all the
// new-entry dialog opens instead, and the menu is not shown.
void RunMainMenu();

// The break keys of the main menu and of the phone-book menu: F4, Ins, Del.
extern const int kEntryBreakKeys[4];

// "&" + number + ". " + name, cut to fit a menu row's text field.
void SetNumberedRowText(char* field, size_t field_size, int number, const std::string& name);

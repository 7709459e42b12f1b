// The main menu: the user's dial entries and the four action rows.
#pragma once

// Shows the menu until an action ends it; F4, Ins and Del on an entry edit,
// add and delete entries and bring the menu back. With no entry at all the
// new-entry dialog opens instead, and the menu is not shown.
void RunMainMenu();

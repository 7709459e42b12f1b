// Test hook of the stand-in's console input queue (Linux-only).
#pragma once

#include "winapi/windows.h"

// Appends one key event (virtual key `vk`, pressed or released, with its
// character when the key has one, e.g. VK_ESCAPE gives 0x1B) to the console
// input queue that PeekConsoleInputA and ReadConsoleInputA read. Any thread.
void StandinPushKey(WORD vk, bool down);

// Empties the console input queue (tests start from an empty queue).
void StandinClearConsoleInput();

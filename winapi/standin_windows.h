// The stand-in's table of top-level windows (windows.ini in the world),
// shared by its window calls (user32_windows.cpp) and its process calls
// (kernel32_process.cpp). Linux-only; the plug-in never includes this header.
#pragma once

#include "winapi/windows.h"

// Removes every window of the process from windows.ini (the process ended).
// Any thread.
void StandinRemoveWindowsOfProcess(DWORD process_id);
// Whether windows.ini lists a window of the process. Any thread.
bool StandinProcessHasWindow(DWORD process_id);

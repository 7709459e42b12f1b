// Run-time lookup of the remote access functions that the plug-in does not
// import (RasDeleteEntry): in rasapi32.dll under the ANSI name, or, where that
// library lacks it (the Windows 95 family), in rnaph.dll under the plain name.
#pragma once

#include <string>

#include "shell/platform.h"

// The address of the remote access function `name`, given without its "A"
// (e.g. "RasDeleteEntry"); the caller casts it to the function's type.
//
// The first lookup that finds a library remembers it and its naming rule;
// later lookups use them. A library stays loaded for the life of the
// plug-in. Raises PluginError "Error opening rasapi.dll" or
// "Error opening rnaph.dll" when the library to search cannot be loaded
// (nothing is remembered then), and "Function <name> not found!" when the
// remembered library lacks the function. Host's thread only.
FARPROC RasFunctionLookup(const std::string& name);

// Forgets the remembered library (and frees it), so that the next lookup
// starts over. For tests; host's thread only.
void ResetRasFunctionLookup();

// The one gateway to the platform: the real Windows headers on Windows, the
// stand-in's declarations of the same names everywhere else. Plug-in sources
// include this header and never a system header of their own.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#else
#include "winapi/windows.h"
#endif

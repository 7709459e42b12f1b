// Controls of the stand-in for tests and for the stand-in's own files.
// Linux-only; the plug-in never includes this header.
#pragma once

#include "winapi/windows.h"

// Forgets everything the stand-in has cached from the world (system.ini,
// the registry, services, fault counters and their settings), so that the
// next call reads the world directory named by WINAPI_WORLD afresh. Tests
// call it after pointing WINAPI_WORLD at a new directory or after changing
// world files. Open handles stay valid.
void StandinReloadWorld();

// Adds a function that StandinReloadWorld calls: each stand-in file with a
// cache of the world (system.ini, the registry, the write fault's count, the
// dials) adds its own reset at static initialisation, and the reload is
// nothing but these calls. Hooks run in the order they were added.
void StandinAddReloadHook(void (*hook)());

// Makes `fn` what GetProcAddress answers for `name` in the pseudo module
// `module` ("rasapi32.dll", "rnaph.dll"; compared without regard to case, with
// or without ".dll"). A later registration of the same name replaces the
// earlier one. May be called at static initialisation.
//
// A stand-in file that registers at static initialisation must also define
//   extern "C" int StandinAnchor_<file base name>;   e.g. StandinAnchor_rasapi32
// the build forces that symbol in, so the file is linked even when no other
// code calls into it.
void StandinRegisterProc(const char* module, const char* name, FARPROC fn);

// A stand-in function as the FARPROC that StandinRegisterProc takes.
template <class Function>
FARPROC StandinProc(Function* fn) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

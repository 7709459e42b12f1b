// The link between the stand-in's waits and its queues (Linux-only). The
// thread message queues (PostThreadMessageA, PeekMessageA) live in
// user32_windows.cpp, the console input queue in kernel32_console.cpp;
// MsgWaitForMultipleObjects lives in kernel32_sync.cpp and must wake when a
// message arrives for its thread, or input for the console.
#pragma once

#include "winapi/windows.h"

// Tells whether a thread's message queue holds a message. Called without
// any stand-in lock held, from the waiting thread.
using StandinMessageProbe = bool (*)(DWORD thread_id);

// Installs the probe and returns the one it replaces. Set once (e.g. at
// static initialisation of the file that owns the queues); without a probe
// every queue counts as empty.
StandinMessageProbe StandinSetMessageProbe(StandinMessageProbe has_messages);

// Call after a message has been added to any thread's queue (with or without
// the queue's own lock held; both are safe): wakes every
// MsgWaitForMultipleObjects so it rechecks its thread's queue.
void StandinWakeMessageWaiters();

// The console input, for the waits on its handle (kernel32_console.cpp).
// Whether a record waits in the console input queue; first turns the bytes
// waiting on a terminal into records. Called without any stand-in lock held.
bool StandinConsoleInputWaiting();
// The file descriptor that becomes readable when input arrives from outside
// the process (the terminal on standard input, while this process is its
// foreground job), or -1. With -1, *look_again tells whether that may change
// (a terminal whose foreground job is another); it is left alone otherwise.
int StandinConsoleInputFd(bool* look_again);
// Call after records were added to the console input queue (without the
// queue's lock held): wakes every wait on the console input handle.
void StandinWakeConsoleWaiters();

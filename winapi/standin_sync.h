// The link between the stand-in's waits and its thread message queues
// (Linux-only). The thread message queues (PostThreadMessageA, PeekMessageA)
// live in user32_windows.cpp; MsgWaitForMultipleObjects lives in
// kernel32_sync.cpp and must wake when a message arrives for its thread.
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

// The dial procedure: dials one of the user's entries through the remote
// access service, try by try, and carries out the after-connect actions.
#pragma once

#include <string>

#include "dial/dial_progress.h"
#include "shell/platform.h"

// Dials the entry of that name (host's thread; returns when the dial has
// ended, leaving a made connection up). A name that no entry has shows a
// warning box (message 94 followed by the name) and logs the same text;
// Tries below 1 returns at once with nothing shown or logged; an entry
// without any telephone number shows a warning box (and logs it) instead of
// dialling.
//
// Each try saves the whole screen and restores it before the next try or
// before returning. Exceptions: IoError (the event log, the StartupList) and
// PluginError end the dial and propagate to the caller, which shows them;
// the try's screen is restored on the way out, and a dial still in progress
// when the failure happened is hung up.
//
// Choices where the plain course of the dial has no sound answer:
// - values longer than their RASDIALPARAMS field are cut to fit;
// - Interval below 0 counts as 0 and above kMaxDialIntervalSeconds as that;
// - a RasDialA that refuses the dial at once is the outcome "failed" with
//   the code it returned;
// - a connection whose speed cannot be learnt (ConnectionSpeed 0) is never
//   too slow, and no speed line is logged for it;
// - an error code without a text shows "Remote access error " + the code;
// - a StartupList "#" line whose window is not open is passed over: no box,
//   no pause, nothing ended, nothing logged;
// - Esc while the StartupList runs (before an action or during its pause)
//   skips the actions not yet carried out, that one included, and logs
//   message 95; what was queued before the Esc goes with it.
void DialProcedure(const std::string& name);

// The longest pause after a failed or too-slow try, in seconds.
constexpr int kMaxDialIntervalSeconds = 3600;

// The warning shown (and logged) for an entry that holds no telephone number.
extern const char kNoNumberWarning[];

// Removes at most one window message of the calling thread (PeekMessageA
// with PM_REMOVE, no filters) into `msg` and dispatches it. Returns whether
// a message was dispatched.
bool PumpMessage(MSG& msg);

// The process behind a top-level window, opened with PROCESS_ALL_ACCESS and
// an inheritable handle; null when it cannot be opened. The caller closes it.
HANDLE ProcessOfWindow(HWND window);

// The wait of one try (host's thread), after ResetDialOutcome and RasDialA:
// sleeps, with no time limit, until the notifier's event, a window message or
// console input wakes it; each pass draws the states the notifier handed
// over, dispatches the waiting window messages and looks for Esc in the
// console input. Input other than an Esc key-down is set aside while the
// wait sleeps (LookForEscOrSetInputAside) and is back in the queue, in its
// order, when the wait returns, unless an Esc took it with it. Returns the
// outcome once there is one (Interrupted on Esc); never None.
DialOutcomeKind WaitForDialOutcome();

// The work behind the exports: start-up, the action dispatch, the service
// check, and the guard that keeps every failure inside the plug-in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "shell/host_interface.h"

// OpenPlugin's whole run: version, module path, settings, services (Windows
// NT family, where it has the service calls), the entry-file check, then one action chosen by origin and
// command text. Raises what the action raises; the export guards it.
void RunOpenPlugin(int origin, const char* command_text);

// Fills the host's PluginInfo after re-reading the settings.
void FillPluginInfo(PluginInfo* info);

// True when the system has all the Service Control Manager calls that the
// check and the start use (they are found at run time: shell/nt_functions.h).
bool ServiceCheckPossible();
// True when the service reports SERVICE_RUNNING; false also on any failure
// and where the system lacks the calls.
bool IsServiceRunning(const char* name);
// Starts the service and waits until it runs. Gives up (false) when a step
// fails, when the service reports stopped instead, or after 30 seconds.
bool StartServiceAndWait(const char* name);

// Shows the settings read's problems, if any, in one warning box, and logs
// them when `log` is set.
void ReportSettingsProblems(bool log = true);

// Runs an action so that nothing escapes it: a failure ends the action with
// a log line (when the log works) and the host's warning box with its text.
void RunGuarded(const std::function<void()>& action);

// The event log: one time-stamped line per event, to one file or one file
// per day in the plug-in directory, mirrored in the console title.
#pragma once

#include <string>

#include "shell/platform.h"

// The module path up to and including its last backslash ("" without one).
std::string PluginDirectory();
// "dd/mm  hh:mm:ss  " for the local time now, or for the given time.
std::string LogTimeStamp();
std::string LogTimeStamp(const SYSTEMTIME& t);
// "yyyymmdd.log" for the local date now, or for the given date.
std::string DailyLogFileName();
std::string DailyLogFileName(const SYSTEMTIME& t);
// The daily name with daily_log on, else the logfilename setting as it stands.
std::string CurrentLogFileName();
// Appends one line and sets the console title; does nothing while the
// logfilename setting is empty. Raises IoError when the file cannot be
// opened, created or written.
void WriteLogLine(const std::string& text);

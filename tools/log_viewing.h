// Reading the event log in the host's viewer.
#pragma once

// Opens the log file now in use in the host's viewer (missing or not).
void ViewCurrentLog();
// Lists every "*.log" entry of the plug-in directory, the current log
// checked, and opens the chosen one in the viewer. Shows nothing when there
// is none.
void LogFileMenu();

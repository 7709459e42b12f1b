// The configuration dialog behind the Configure export.
#pragma once

// Takes the module path from the host record, re-reads the settings, shows
// the dialog and, when the user accepts, writes all ten settings to the
// registry and to memory; its StartupList button opens that file in the
// host's editor instead. Shows a warning box when a value cannot be written.
void RunConfigDialog();

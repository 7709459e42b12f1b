// The simulated Remote Access Service (rasapi32.cpp), seen from the rest of
// the stand-in and from tests. The service's calls themselves are the
// Windows ones declared in dial/ras_api.h; this header adds what the
// plug-in's header leaves out and the service's own controls.
//
// The same source is meant to be built into a test rasapi32.dll for Windows
// as well; everything here is free of Linux calls.
#pragma once

#include "dial/ras_api.h"

extern "C" {
// Removes the entry from the phone book (the default one for a null path).
// 0, ERROR_CANNOT_OPEN_PHONEBOOK (621) for a named book that does not exist,
// ERROR_CANNOT_FIND_PHONEBOOK_ENTRY (623), or ERROR_CANNOT_WRITE_PHONEBOOK
// (624). Found through GetProcAddress: "RasDeleteEntryA" in rasapi32.dll and
// "RasDeleteEntry" in rnaph.dll.
DWORD WINAPI RasDeleteEntryA(LPCSTR lpszPhonebook, LPCSTR lpszEntry);
// The connection's statistics: zeros but dwBps, the connection's speed. 0,
// ERROR_INVALID_PARAMETER (87) for no record, ERROR_INVALID_SIZE (632) for
// a dwSize other than 60, ERROR_INVALID_HANDLE (6) for a handle that is no
// connection. Found through GetProcAddress in rasapi32.dll, as on Windows
// 2000 and later; [libraries] rasapi32_lacks takes it away.
DWORD WINAPI RasGetConnectionStatistics(HRASCONN hRasConn, RAS_STATS* lpStatistics);
}

// Ends every dial of this process that is still notifying: none of them
// calls its notifier again once this returns, and their handles are
// forgotten (connections already made stay in the world). It also runs when
// the process ends. Must not be called from a notifier.
//
// On Linux StandinReloadWorld does the same for the dials made in another
// world directory than the one WINAPI_WORLD now names, so a test that starts
// with a fresh world never hears from the dials of the test before.
void RasSimStopAll();

// Connection details and hang-up: the speed of the dial-up link, the two IP
// addresses of a connection, and ending every active connection.
#pragma once

#include <cstdint>
#include <string>

#include "dial/ras_api.h"

// The link speed in bit/s. First as the Windows 95 family publishes it
// under HKEY_DYN_DATA "PerfStats\StatData": of the value names that contain
// "ConnectSpeed" (case-sensitive), the last one listed is read as an unsigned
// little-endian number of at most 4 bytes (missing high bytes count as 0);
// a value of the wrong type or longer than 4 bytes gives no speed. Where
// that gives none (the NT family has no such key), the dwBps of the
// connection's RasGetConnectionStatistics, looked up in rasapi32.dll at run
// time (Windows 2000 and later). 0, a speed nobody can tell, where neither
// answers. Never raises.
int32_t ConnectionSpeed(HRASCONN connection);

// The PPP IP addresses of a connection: this computer's (LocalIpAddress) and
// the remote server's (RemoteIpAddress). Each call asks the service anew; the
// empty text when it cannot tell (no such connection, no IP projection).
std::string LocalIpAddress(HRASCONN connection);
std::string RemoteIpAddress(HRASCONN connection);

// Hangs up every active connection, however many there are, and writes log
// line message 25 once per connection ended. Nothing is logged when there is
// no connection or the service cannot list them. Raises IoError when the
// event log cannot be written (the hang-ups already made stay made).
void HangUpAll();

// The TCP port of the local management server's API, found among the URL reservations of HTTP.sys
// and kept for the rest of the process once found.
#pragma once

#include <string>

// The port for the scheme ("https"), 0 when none was found (nothing is kept then, so the next call
// looks again). A single candidate is taken as it is; of several, the first that answers the
// server-information call with 200 on "https://localhost:<port>" is taken.
int GetMmsPort(const std::u16string& scheme);

// Forgets the ports found (for the tests).
void ResetMmsPortCacheForTesting();

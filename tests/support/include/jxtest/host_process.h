// Host-side looks at a process that a test started on its machine root.
#pragma once

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <windows.h>

namespace jxtest {

// Whether the host process ignores SIGTERM yet (a service of "svcreg.exe /service /ignorestop"
// that has got that far).
inline bool IgnoresStopRequests(DWORD pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("SigIgn:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> 14) & 1; // SIGTERM is 15
    return false;
}

// Waits up to 10 s for IgnoresStopRequests.
inline bool AwaitIgnoresStopRequests(DWORD pid) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!IgnoresStopRequests(pid)) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace jxtest

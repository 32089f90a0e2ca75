// Helpers of the service tests: the test service program and small wrappers of the manager calls.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxtest/machine_root.h"

namespace svctest {

// The Windows path of svcreg.exe of the build tree.
inline std::u16string SvcRegProgram() {
    return jxplat::HostToWindowsPath(jxtest::BuildDir() + "/tests/programs/svcreg.exe");
}

// Creates a service whose image is the command line; the handle has every right.
inline SC_HANDLE CreateTestService(const std::u16string& name, const std::u16string& image,
                                   DWORD startType = SERVICE_DEMAND_START,
                                   const WCHAR* dependencies = nullptr) {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service =
        CreateServiceW(scm, name.c_str(), nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, startType,
                       SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr, dependencies, nullptr, nullptr);
    const DWORD error = GetLastError();
    CloseServiceHandle(scm);
    SetLastError(error);
    return service;
}

inline SERVICE_STATUS_PROCESS StatusOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status), sizeof(status),
                         &needed);
    return status;
}

// Polls until the condition holds (a process that ends on its own needs a moment); false after 10 s.
template <typename Condition> bool Eventually(Condition condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace svctest

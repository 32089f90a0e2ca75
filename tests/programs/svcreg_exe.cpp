// A test program that registers itself as a service, as the product's service programs do:
//   svcreg.exe /regserver NAME [STARTTYPE]  creates the service NAME whose image is this program
//                                           with "/service" (start type 2 unless given)
//   svcreg.exe /unregserver NAME            deletes the service NAME
//   svcreg.exe [/service]                   runs as the service until it is stopped (a service
//                                           program started without arguments is the service)
//   svcreg.exe /service /ignorestop         a service that does not stop when asked to
// The exit code is 0 or the Win32 error of the failed call. A service process also ends when its
// machine root goes away, so a test that fails half-way leaves no process behind.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"

namespace {

DWORD Register(const std::u16string& name, DWORD startType) {
    WCHAR self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::u16string image = u"\"" + std::u16string(self) + u"\" /service";
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!scm)
        return GetLastError();
    SC_HANDLE service = CreateServiceW(scm, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                       image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    const DWORD error = service ? 0 : GetLastError();
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(scm);
    return error;
}

DWORD Unregister(const std::u16string& name) {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!scm)
        return GetLastError();
    SC_HANDLE service = OpenServiceW(scm, name.c_str(), DELETE);
    DWORD error = service ? 0 : GetLastError();
    if (service && !DeleteService(service))
        error = GetLastError();
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(scm);
    return error;
}

void RunAsService() {
    const std::string root = jxplat::MachineRoot();
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (std::filesystem::exists(root) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

} // namespace

int main() {
    const std::vector<std::u16string> args = jxplat::SplitCommandLine(GetCommandLineW());
    const std::u16string verb = args.size() > 1 ? jxtext::ToLower(args[1]) : u"";
    DWORD code = ERROR_INVALID_PARAMETER;
    if (verb.empty() || verb == u"/service") {
        if (args.size() > 2 && jxtext::EqualsNoCase(args[2], u"/ignorestop"))
            std::signal(SIGTERM, SIG_IGN);
        RunAsService();
        code = 0;
    } else if (verb == u"/regserver" && args.size() > 2) {
        code = Register(args[2], args.size() > 3 ? jxtext::ParseUInt32(args[3]) : SERVICE_AUTO_START);
    } else if (verb == u"/unregserver" && args.size() > 2) {
        code = Unregister(args[2]);
    }
    jxplat::WriteExitCode(code);
    return static_cast<int>(code & 0xFF);
}

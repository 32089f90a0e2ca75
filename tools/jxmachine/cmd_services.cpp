// jxmachine services: the services of the machine, their configuration and their run state.
#include <cstdio>
#include <string>

#include <windows.h>

#include "jxmachine/commands.h"
#include "jxplat/text.h"

namespace {

const char* StateName(DWORD state) {
    switch (state) {
    case SERVICE_RUNNING:
        return "RUNNING";
    case SERVICE_STOPPED:
        return "STOPPED";
    default:
        return "PENDING";
    }
}

const char* StartName(DWORD start) {
    static const char* names[] = {"BOOT", "SYSTEM", "AUTO", "DEMAND", "DISABLED"};
    return start < 5 ? names[start] : "UNKNOWN";
}

// One line per service: name, state, start type, process id, then the details that are set.
int PrintServices(int, char**, int) {
    for (const jxplat::ServiceInfo& service : jxplat::EnumerateMachineServices()) {
        std::string line = jxtext::Utf16ToUtf8(service.name) + " " + StateName(service.currentState) +
                           " start=" + StartName(service.startType);
        if (service.delayedAutoStart)
            line += " delayed";
        if (service.currentState == SERVICE_RUNNING)
            line += " pid=" + std::to_string(service.processId);
        else
            line += " exit=" + std::to_string(service.win32ExitCode);
        if (service.markedForDelete)
            line += " marked-for-delete";
        line += " type=0x" + jxtext::Utf16ToUtf8(jxtext::Format(u"%x", service.type));
        line += " image=" + jxtext::Utf16ToUtf8(service.imagePath);
        if (!service.displayName.empty() && service.displayName != service.name)
            line += " display=\"" + jxtext::Utf16ToUtf8(service.displayName) + "\"";
        if (!service.dependencies.empty()) {
            line += " depends=";
            for (size_t i = 0; i < service.dependencies.size(); ++i)
                line += (i ? "," : "") + jxtext::Utf16ToUtf8(service.dependencies[i]);
        }
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

jxtools::JxMachineCommand
    g_Services("services",
               "services                 print the services: name, state, start type, process, "
               "image path",
               PrintServices);

} // namespace

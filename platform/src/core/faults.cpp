// Fault switches of the machine description that the file and registry calls consult.
#include "core/faults.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "jxplat/debugapi.h"
#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxplat/text.h"

namespace jxplat {
namespace {

// The host folder the full disk covers: its folder, or every drive of the machine.
bool _fault_DiskCovers(const MachineDescription& machine, const std::string& hostPath) {
    std::string folder = machine.faultDiskFullFolder.empty()
                             ? MachineRoot() + "/drive_"
                             : WindowsToHostPath(jxtext::Utf8ToUtf16(machine.faultDiskFullFolder));
    if (folder.empty())
        return false;
    if (!machine.faultDiskFullFolder.empty()) {
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        if (hostPath == folder)
            return true;
        folder += '/';
    }
    return hostPath.compare(0, folder.size(), folder) == 0;
}

bool _fault_EndsWithNoCase(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           jxtext::EqualsNoCase(jxtext::Utf8ToUtf16(text.substr(text.size() - suffix.size())),
                                jxtext::Utf8ToUtf16(suffix));
}

// Only the machine's Windows programs (the engine as "setup.exe" and its copies) meet the kill
// point; the tools and test programs that share the machine do not.
bool _fault_IsWindowsProgram() {
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    return length > 0 && _fault_EndsWithNoCase(std::string(buffer, static_cast<size_t>(length)), ".exe");
}

} // namespace

size_t ClaimDiskSpace(const std::string& hostPath, size_t wanted, bool allOrNothing) {
    const MachineDescription& machine = Machine();
    if (!machine.faultDiskFull || wanted == 0 || !_fault_DiskCovers(machine, hostPath))
        return wanted;
    // The bytes written so far, shared by every process of the machine.
    EnsureHostDirectory(MachinePath("faults"));
    const int fd = ::open(MachinePath("faults/disk.used").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return 0;
    ::flock(fd, LOCK_EX);
    char text[32] = {};
    const ssize_t got = ::pread(fd, text, sizeof(text) - 1, 0);
    const unsigned long long used = got > 0 ? std::strtoull(text, nullptr, 10) : 0;
    const unsigned long long room =
        used < machine.faultDiskFullAfterBytes ? machine.faultDiskFullAfterBytes - used : 0;
    size_t granted = static_cast<size_t>(std::min<unsigned long long>(room, wanted));
    if (allOrNothing && granted < wanted)
        granted = 0;
    const std::string updated = std::to_string(used + granted) + "\n";
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, updated.data(), updated.size(), 0) < 0)
        granted = 0;
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return granted;
}

bool ClaimRegistrySpace(size_t bytes) {
    const std::string hives = WindowsToHostPath(u"C:\\Windows\\System32\\config");
    return hives.empty() || ClaimDiskSpace(hives + "/SOFTWARE", bytes, true) == bytes;
}

void KillPointAtStart() {
    if (Machine().faultKillAt == "start" && _fault_IsWindowsProgram())
        EndAtKillPoint();
}

bool IsKillPointWrite(const std::string& hostPath) {
    const std::string& point = Machine().faultKillAt;
    if (point != "filecopy" && point != "maintenancecopy")
        return false;
    // The engine writes a maintenance file under "<name>.part.jxtmp" and the temporary copy of
    // an installed file as "<name>.jxtmp".
    const bool partial = _fault_EndsWithNoCase(hostPath, ".part.jxtmp");
    const bool temporary = _fault_EndsWithNoCase(hostPath, ".jxtmp");
    const bool at = point == "maintenancecopy" ? partial : temporary && !partial;
    return at && _fault_IsWindowsProgram();
}

void EndAtKillPoint() {
    // As TerminateProcess(process, 1): nothing of the program runs any more.
    OutputDebugStringW(
        jxtext::Utf8ToUtf16("jxplat: the process ends at the kill point \"" + Machine().faultKillAt + "\"\n")
            .c_str());
    WriteExitCode(1);
    ::kill(::getpid(), SIGKILL);
    std::_Exit(1);
}

} // namespace jxplat

// MiniDumpWriteDump: the minidump container of a process of this machine root (or of the calling
// process), with its system information, threads and modules as /proc shows them.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "jxplat/dbghelp.h"
#include "jxplat/errhandling.h"
#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/security.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "process/processobject.h"

namespace jxplat {
namespace {

constexpr DWORD kHeaderSize = 32;
constexpr DWORD kDirectoryEntrySize = 12;
constexpr DWORD kSystemInfoSize = 56;
constexpr DWORD kThreadSize = 48;
constexpr DWORD kModuleSize = 108;
constexpr DWORD kExceptionStreamSize = 168;
constexpr WORD kProcessorArchitectureIntel = 0;
constexpr WORD kProcessorArchitectureAmd64 = 9;

// The dump's bytes, little-endian as on Windows.
class CDumpBuffer {
public:
    DWORD Size() const { return static_cast<DWORD>(m_bytes.size()); }
    const std::vector<unsigned char>& Bytes() const { return m_bytes; }
    DWORD Reserve(DWORD size) {
        const DWORD at = Size();
        m_bytes.resize(m_bytes.size() + size, 0);
        return at;
    }
    void Put(DWORD at, unsigned long long value, int width) {
        for (int index = 0; index < width; ++index)
            m_bytes[at + index] = static_cast<unsigned char>(value >> (8 * index));
    }
    // A MINIDUMP_STRING (byte length, UTF-16 text, terminating zero); returns its offset.
    DWORD PutString(const std::u16string& text) {
        const DWORD at = Reserve(4 + 2 * static_cast<DWORD>(text.size()) + 2);
        Put(at, 2 * text.size(), 4);
        for (size_t index = 0; index < text.size(); ++index)
            Put(at + 4 + 2 * static_cast<DWORD>(index), text[index], 2);
        return at;
    }

private:
    std::vector<unsigned char> m_bytes;
};

struct CDumpModule {
    std::string path;
    unsigned long long base = 0;
    unsigned long long end = 0;
};

// The file-backed mappings of the process, one module per file, in address order.
std::vector<CDumpModule> _md_Modules(DWORD processId) {
    std::ifstream maps("/proc/" + std::to_string(processId) + "/maps");
    std::vector<CDumpModule> modules;
    std::map<std::string, size_t> byPath;
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, permissions, offset, device, inode;
        fields >> range >> permissions >> offset >> device >> inode;
        std::string path;
        std::getline(fields >> std::ws, path);
        if (path.empty() || path[0] != '/' || path.find(" (deleted)") != std::string::npos)
            continue;
        const size_t dash = range.find('-');
        if (dash == std::string::npos)
            continue;
        const unsigned long long start = std::stoull(range.substr(0, dash), nullptr, 16);
        const unsigned long long end = std::stoull(range.substr(dash + 1), nullptr, 16);
        auto found = byPath.find(path);
        if (found == byPath.end()) {
            byPath.emplace(path, modules.size());
            modules.push_back({path, start, end});
        } else {
            CDumpModule& module = modules[found->second];
            module.base = std::min(module.base, start);
            module.end = std::max(module.end, end);
        }
    }
    return modules;
}

std::vector<DWORD> _md_Threads(DWORD processId) {
    std::vector<DWORD> threads;
    DIR* tasks = ::opendir(("/proc/" + std::to_string(processId) + "/task").c_str());
    if (!tasks)
        return threads;
    while (const dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9')
            threads.push_back(static_cast<DWORD>(std::stoul(entry->d_name)));
    }
    ::closedir(tasks);
    std::sort(threads.begin(), threads.end());
    return threads;
}

void _md_SystemInfo(CDumpBuffer& dump, DWORD at) {
    const MachineDescription& machine = Machine();
    dump.Put(at, machine.is64Bit ? kProcessorArchitectureAmd64 : kProcessorArchitectureIntel, 2);
    dump.Put(at + 2, 6, 2); // processor level
    dump.Put(at + 6, std::min(255u, std::max(1u, std::thread::hardware_concurrency())), 1);
    dump.Put(at + 7, machine.productType, 1);
    dump.Put(at + 8, machine.windowsMajor, 4);
    dump.Put(at + 12, machine.windowsMinor, 4);
    dump.Put(at + 16, machine.windowsBuild, 4);
    dump.Put(at + 20, 2 /* VER_PLATFORM_WIN32_NT */, 4);
    std::u16string servicePack(machine.servicePack.begin(), machine.servicePack.end());
    const DWORD servicePackAt = dump.PutString(servicePack);
    dump.Put(at + 24, servicePackAt, 4);
}

void _md_ThreadList(CDumpBuffer& dump, DWORD at, const std::vector<DWORD>& threads) {
    dump.Put(at, threads.size(), 4);
    for (size_t index = 0; index < threads.size(); ++index) {
        const DWORD thread = at + 4 + kThreadSize * static_cast<DWORD>(index);
        dump.Put(thread, threads[index], 4);
        dump.Put(thread + 8, 0x20 /* NORMAL_PRIORITY_CLASS */, 4);
        // Teb, stack and context stay empty: the stand-in reads no memory of the process.
    }
}

void _md_ModuleList(CDumpBuffer& dump, DWORD at, const std::vector<CDumpModule>& modules) {
    dump.Put(at, modules.size(), 4);
    for (size_t index = 0; index < modules.size(); ++index) {
        const DWORD module = at + 4 + kModuleSize * static_cast<DWORD>(index);
        dump.Put(module, modules[index].base, 8);
        dump.Put(module + 8,
                 std::min<unsigned long long>(modules[index].end - modules[index].base, 0xFFFFFFFFull), 4);
        const DWORD nameAt = dump.PutString(HostToWindowsPath(modules[index].path));
        dump.Put(module + 20, nameAt, 4);
    }
}

void _md_Exception(CDumpBuffer& dump, DWORD at, const MINIDUMP_EXCEPTION_INFORMATION& information) {
    dump.Put(at, information.ThreadId, 4);
    const EXCEPTION_RECORD* record =
        information.ExceptionPointers ? information.ExceptionPointers->ExceptionRecord : nullptr;
    if (!record)
        return;
    const DWORD recordAt = at + 8;
    dump.Put(recordAt, record->ExceptionCode, 4);
    dump.Put(recordAt + 4, record->ExceptionFlags, 4);
    dump.Put(recordAt + 16, reinterpret_cast<ULONG_PTR>(record->ExceptionAddress), 8);
    const DWORD count = std::min<DWORD>(record->NumberParameters, EXCEPTION_MAXIMUM_PARAMETERS);
    dump.Put(recordAt + 24, count, 4);
    for (DWORD index = 0; index < count; ++index)
        dump.Put(recordAt + 32 + 8 * index, record->ExceptionInformation[index], 8);
}

// The process id behind the handle when it may be dumped; 0 with the last error otherwise.
DWORD _md_ProcessOf(HANDLE process, DWORD processId) {
    if (process == GetCurrentProcess()) {
        if (processId != GetCurrentProcessId()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        return processId;
    }
    auto object = ReferenceKernelHandleAs<CProcessObject>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    bool ended;
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        ended = object->m_ended;
    }
    if (static_cast<DWORD>(object->m_pid) != processId) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (ended || (!object->m_tableFile.empty() && !IsProcessRowRunning(object->m_tableFile))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return processId;
}

} // namespace
} // namespace jxplat

BOOL MiniDumpWriteDump(HANDLE process, DWORD processId, HANDLE file, MINIDUMP_TYPE dumpType,
                       PMINIDUMP_EXCEPTION_INFORMATION exceptionParam, PMINIDUMP_USER_STREAM_INFORMATION,
                       PMINIDUMP_CALLBACK_INFORMATION) {
    using namespace jxplat;
    if (_md_ProcessOf(process, processId) == 0)
        return FALSE;
    const std::vector<DWORD> threads = _md_Threads(processId);
    const std::vector<CDumpModule> modules = _md_Modules(processId);
    if (threads.empty()) {
        SetLastError(ERROR_ACCESS_DENIED); // the process went away while it was read
        return FALSE;
    }

    const DWORD streamCount = exceptionParam ? 4 : 3;
    CDumpBuffer dump;
    const DWORD header = dump.Reserve(kHeaderSize);
    const DWORD directory = dump.Reserve(kDirectoryEntrySize * streamCount);
    dump.Put(header, MINIDUMP_SIGNATURE, 4);
    dump.Put(header + 4, MINIDUMP_VERSION, 4);
    dump.Put(header + 8, streamCount, 4);
    dump.Put(header + 12, directory, 4);
    dump.Put(header + 20, static_cast<unsigned long long>(std::time(nullptr)), 4);
    dump.Put(header + 24, static_cast<DWORD>(dumpType), 8);

    DWORD entry = directory;
    auto addStream = [&](DWORD type, DWORD size) {
        const DWORD at = dump.Reserve(size);
        dump.Put(entry, type, 4);
        dump.Put(entry + 4, size, 4);
        dump.Put(entry + 8, at, 4);
        entry += kDirectoryEntrySize;
        return at;
    };
    _md_SystemInfo(dump, addStream(SystemInfoStream, kSystemInfoSize));
    _md_ThreadList(dump, addStream(ThreadListStream, 4 + kThreadSize * static_cast<DWORD>(threads.size())),
                   threads);
    _md_ModuleList(dump, addStream(ModuleListStream, 4 + kModuleSize * static_cast<DWORD>(modules.size())),
                   modules);
    if (exceptionParam)
        _md_Exception(dump, addStream(ExceptionStream, kExceptionStreamSize), *exceptionParam);

    DWORD written = 0;
    if (!WriteFile(file, dump.Bytes().data(), dump.Size(), &written, nullptr))
        return FALSE;
    if (written != dump.Size()) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

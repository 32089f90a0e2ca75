// The process table of the machine: every process that CreateProcessW starts on this machine root,
// whoever starts it, has a row "processes/table/<start stamp>-<pid>.json". A row says "running"
// until the starter's reaper marks it ended; a row whose host process is gone (or a different
// process now has its id) counts as ended, so a snapshot never lists a host process the machine
// did not start.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "process/processobject.h"

namespace jxplat {
namespace {

std::string _table_Folder() {
    return MachinePath("processes/table");
}

// The host's start time of a process (clock ticks since boot) and whether it is a zombie; false
// when there is no such process.
bool _table_HostStart(pid_t pid, unsigned long long& start, bool& zombie) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text))
        return false;
    // The command name in parentheses may hold blanks; the fields after it are plain.
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return false;
    std::istringstream fields(text.substr(close + 2));
    std::string state;
    fields >> state;
    std::string skip;
    for (int field = 4; field < 22; ++field)
        fields >> skip;
    fields >> start;
    zombie = state == "Z" || state == "X";
    return !fields.fail();
}

nlohmann::json _table_Read(const std::string& file) {
    std::ifstream in(file);
    nlohmann::json row = nlohmann::json::parse(in, nullptr, false);
    return row.is_object() ? row : nlohmann::json();
}

void _table_Write(const std::string& file, const nlohmann::json& row) {
    const std::string temporary = file + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    }
    std::rename(temporary.c_str(), file.c_str());
}

bool _table_RowRunning(const nlohmann::json& row) {
    if (row.value("state", "") != "running")
        return false;
    unsigned long long start = 0;
    bool zombie = false;
    const pid_t pid = row.value("pid", 0);
    return pid > 0 && _table_HostStart(pid, start, zombie) && !zombie &&
           start == row.value("hostStart", 0ull);
}

// The row files in start order.
std::vector<std::string> _table_Files() {
    std::vector<std::string> files;
    if (DIR* folder = ::opendir(_table_Folder().c_str())) {
        while (dirent* entry = ::readdir(folder)) {
            const std::string name = entry->d_name;
            if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0)
                files.push_back(_table_Folder() + "/" + name);
        }
        ::closedir(folder);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::mutex& _table_ChildrenLock() {
    static std::mutex lock;
    return lock;
}

std::map<DWORD, std::weak_ptr<CProcessObject>>& _table_Children() {
    static auto* children = new std::map<DWORD, std::weak_ptr<CProcessObject>>;
    return *children;
}

} // namespace

DWORD ReadProcessExitCode(const std::string& exitFile, int status) {
    std::string text;
    if (FILE* file = std::fopen(exitFile.c_str(), "rb")) {
        char buffer[64] = {};
        const size_t got = std::fread(buffer, 1, sizeof(buffer) - 1, file);
        std::fclose(file);
        text.assign(buffer, got);
    }
    ::unlink(exitFile.c_str());
    if (text.find_first_of("0123456789") != std::string::npos)
        return static_cast<DWORD>(std::strtoll(text.c_str(), nullptr, 10));
    if (WIFEXITED(status))
        return static_cast<DWORD>(WEXITSTATUS(status));
    return 1; // ended by a host signal
}

std::string AddProcessTableRow(pid_t pid, const std::u16string& path, const std::u16string& commandLine,
                               const std::string& exitFile, bool elevated) {
    unsigned long long start = 0;
    bool zombie = false;
    if (!_table_HostStart(pid, start, zombie))
        return "";
    EnsureHostDirectory(_table_Folder());
    const auto stamp = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    char name[64];
    std::snprintf(name, sizeof(name), "/%020lld-%d.json", static_cast<long long>(stamp),
                  static_cast<int>(pid));
    const std::string file = _table_Folder() + name;
    const size_t slash = path.find_last_of(u"\\/");
    unsigned long long parentStart = 0;
    _table_HostStart(::getpid(), parentStart, zombie);
    nlohmann::json row = {
        {"pid", static_cast<int>(pid)},
        {"parent", static_cast<int>(::getpid())},
        {"parentStart", parentStart},
        {"hostStart", start},
        {"name", jxtext::Utf16ToUtf8(slash == std::u16string::npos ? path : path.substr(slash + 1))},
        {"path", jxtext::Utf16ToUtf8(path)},
        {"commandLine", jxtext::Utf16ToUtf8(commandLine)},
        {"exitFile", exitFile},
        {"elevated", elevated},
        {"state", "running"}};
    _table_Write(file, row);
    return file;
}

void EndProcessTableRow(const std::string& tableFile, DWORD exitCode) {
    if (tableFile.empty())
        return;
    nlohmann::json row = _table_Read(tableFile);
    if (row.is_null())
        return;
    row["state"] = "ended";
    row["exitCode"] = exitCode;
    _table_Write(tableFile, row);
}

bool FindRunningProcessRow(DWORD processId, std::string& tableFile, std::string& exitFile) {
    const std::vector<std::string> files = _table_Files();
    for (auto file = files.rbegin(); file != files.rend(); ++file) {
        const nlohmann::json row = _table_Read(*file);
        if (!row.is_null() && static_cast<DWORD>(row.value("pid", 0)) == processId &&
            _table_RowRunning(row)) {
            tableFile = *file;
            exitFile = row.value("exitFile", "");
            return true;
        }
    }
    return false;
}

bool ProcessRowEndCode(const std::string& tableFile, DWORD& exitCode) {
    const nlohmann::json row = _table_Read(tableFile);
    if (row.contains("exitCode")) {
        exitCode = row.value("exitCode", 0u);
        return true;
    }
    unsigned long long start = 0;
    bool zombie = false;
    const pid_t parent = row.value("parent", 0);
    if (parent > 0 && _table_HostStart(parent, start, zombie) && !zombie &&
        start == row.value("parentStart", 0ull))
        return false; // its starter reaps it and records the code
    exitCode = ReadProcessExitCode(row.value("exitFile", ""), 0);
    return true;
}

bool IsProcessRowRunning(const std::string& tableFile) {
    return _table_RowRunning(_table_Read(tableFile));
}

void RememberChildProcess(const std::shared_ptr<CProcessObject>& process) {
    std::lock_guard<std::mutex> guard(_table_ChildrenLock());
    auto& children = _table_Children();
    for (auto it = children.begin(); it != children.end();)
        it = it->second.expired() ? children.erase(it) : std::next(it);
    children[static_cast<DWORD>(process->m_pid)] = process;
}

std::shared_ptr<CProcessObject> FindChildProcess(DWORD processId) {
    std::lock_guard<std::mutex> guard(_table_ChildrenLock());
    auto found = _table_Children().find(processId);
    return found == _table_Children().end() ? nullptr : found->second.lock();
}

std::vector<ProcessTableEntry> ReadProcessTable() {
    std::vector<ProcessTableEntry> table;
    for (const std::string& file : _table_Files()) {
        const nlohmann::json row = _table_Read(file);
        if (row.is_null())
            continue;
        ProcessTableEntry entry;
        entry.processId = static_cast<DWORD>(row.value("pid", 0));
        entry.name = jxtext::Utf8ToUtf16(row.value("name", ""));
        entry.path = jxtext::Utf8ToUtf16(row.value("path", ""));
        entry.commandLine = jxtext::Utf8ToUtf16(row.value("commandLine", ""));
        entry.running = _table_RowRunning(row);
        entry.exitCodeKnown = row.contains("exitCode");
        entry.exitCode = entry.exitCodeKnown ? row.value("exitCode", 0u) : STILL_ACTIVE;
        entry.elevated = row.value("elevated", false);
        table.push_back(entry);
    }
    return table;
}

} // namespace jxplat

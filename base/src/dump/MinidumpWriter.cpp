// The settings text of the process minidumps and the dumps themselves.
#include "jxbase/MinidumpWriter.h"

#include <iterator>

#include "jxbase/CJxTools.h"
#include "jxbase/guards.h"
#include "jxbase/trace.h"
#include "jxplat/text.h"

namespace {

#define JX_DUMP_CONTEXT u"MinidumpWriter::WriteDump"

struct CDumpLevel {
    const char16_t* name;
    MINIDUMP_TYPE type;
};

constexpr CDumpLevel kDumpLevels[] = {
    {u"MiniDumpNormal", MiniDumpNormal},
    {u"MiniDumpWithDataSegs", MiniDumpWithDataSegs},
    {u"MiniDumpWithFullMemory", MiniDumpWithFullMemory},
    {u"MiniDumpWithHandleData", MiniDumpWithHandleData},
    {u"MiniDumpFilterMemory", MiniDumpFilterMemory},
    {u"MiniDumpScanMemory", MiniDumpScanMemory},
    {u"MiniDumpWithUnloadedModules", MiniDumpWithUnloadedModules},
    {u"MiniDumpWithIndirectlyReferencedMemory", MiniDumpWithIndirectlyReferencedMemory},
    {u"MiniDumpFilterModulePaths", MiniDumpFilterModulePaths},
    {u"MiniDumpWithProcessThreadData", MiniDumpWithProcessThreadData},
    {u"MiniDumpWithPrivateReadWriteMemory", MiniDumpWithPrivateReadWriteMemory},
    {u"MiniDumpWithoutOptionalData", MiniDumpWithoutOptionalData},
    {u"MiniDumpWithFullMemoryInfo", MiniDumpWithFullMemoryInfo},
    {u"MiniDumpWithThreadInfo", MiniDumpWithThreadInfo},
    {u"MiniDumpWithCodeSegs", MiniDumpWithCodeSegs},
    {u"MiniDumpWithoutAuxiliaryState", MiniDumpWithoutAuxiliaryState},
    {u"MiniDumpWithFullAuxiliaryState", MiniDumpWithFullAuxiliaryState},
    {u"MiniDumpWithPrivateWriteCopyMemory", MiniDumpWithPrivateWriteCopyMemory},
    {u"MiniDumpIgnoreInaccessibleMemory", MiniDumpIgnoreInaccessibleMemory},
    {u"MiniDumpWithTokenInformation", MiniDumpWithTokenInformation},
    {u"MiniDumpValidTypeFlags", MiniDumpValidTypeFlags},
};

void _dump_ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
    for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

void MinidumpWriter::ReadDumpSettings(const std::u16string& settings) {
    std::u16string text = settings;
    _dump_ReplaceAll(text, u" /", u"\t");
    _dump_ReplaceAll(text, u"/", u"");
    for (const std::u16string& part : jxtext::Split(text, u'\t'))
        ParseSetting(part);
}

void MinidumpWriter::ParseSetting(const std::u16string& setting) {
    const std::vector<std::u16string> pieces = jxtext::Split(setting, u'=');
    if (pieces.size() < 2)
        return;
    const std::u16string& name = pieces[0];
    std::u16string value = pieces[1]; // a value with "=" keeps only its text before the first one
    _dump_ReplaceAll(value, u"\"", u"");
    if (jxtext::EqualsNoCase(name, u"processname"))
        AddProcessNames(value);
    else if (jxtext::EqualsNoCase(name, u"destination"))
        destination = value;
    else if (jxtext::EqualsNoCase(name, u"fileprefix"))
        filePrefix = value;
    else if (jxtext::EqualsNoCase(name, u"dumplevel"))
        dumpType = ParseDumpLevel(value);
}

void MinidumpWriter::AddProcessNames(const std::u16string& names) {
    for (const std::u16string& name : jxtext::Split(names, u','))
        processNames.insert(name);
}

MINIDUMP_TYPE MinidumpWriter::ParseDumpLevel(const std::u16string& name) {
    for (const CDumpLevel& level : kDumpLevels)
        if (jxtext::EqualsNoCase(name, level.name))
            return level.type;
    return MiniDumpNormal;
}

void MinidumpWriter::WriteProcessDump() {
    if (destination.empty() || processNames.empty())
        return;
    EnablePrivilege(u"SeDebugPrivilege"); // without it only the own user's processes open
    for (const std::u16string& name : processNames)
        WriteDump(name);
}

void MinidumpWriter::WriteDump(const std::u16string& processName) {
    try {
        const DWORD processId = FindProcessIdByName(processName);
        if (processId == 0)
            return;
        // The names come from the setup's definition: the dump file must stay inside the folder.
        const std::u16string fileName = filePrefix + processName + u"_MiniDump.dmp";
        if (!IsResolvedFolder(destination) || !IsSinglePathSegment(fileName)) {
            JX_ENGINE_TRACE(1, JX_DUMP_CONTEXT, u"Refused dump file \"%s\" in \"%s\"", fileName.c_str(),
                            destination.c_str());
            return;
        }
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
        if (!process)
            return;
        SHCreateDirectoryExW(nullptr, destination.c_str(), nullptr);
        std::u16string path = destination;
        if (path.back() != u'\\' && path.back() != u'/')
            path += u'\\';
        path += fileName;
        DeleteFileW(path.c_str());
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            CloseHandle(process);
            return;
        }
        const BOOL written = MiniDumpWriteDump(process, processId, file, dumpType, nullptr, nullptr, nullptr);
        CloseHandle(file);
        CloseHandle(process);
        if (!written) {
            JX_ENGINE_TRACE(2, JX_DUMP_CONTEXT, u"No dump of %s. Error %lu", processName.c_str(),
                            GetLastError());
            DeleteFileW(path.c_str());
        }
    } catch (...) {
        // A dump is a diagnosis aid: nothing stops the shutdown that follows.
    }
}

DWORD FindProcessIdByName(const std::u16string& name) {
    return JxSetup::Data::CJxTools::GetProcessIdByName(name);
}

bool EnablePrivilege(const WCHAR* privilegeName) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool adjusted = LookupPrivilegeValueW(nullptr, privilegeName, &privileges.Privileges[0].Luid) &&
                          AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
    return adjusted;
}

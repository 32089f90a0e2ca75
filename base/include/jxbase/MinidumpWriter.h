// Saves a minidump of each named running process before the product's services and processes are
// shut down. The settings come as command-line text (the same text the setup's 64-bit companion
// program takes):
//   /destination="C:\dumps" /fileprefix="pre_" /dumplevel="MiniDumpWithFullMemory"
//   /processname="svc.exe,tray.exe"
// Each process gets "<destination>\<fileprefix><process name>_MiniDump.dmp". Failures are silent:
// a process that does not run or cannot be dumped leaves no file, and the next one is tried.
#pragma once

#include <set>
#include <string>

#include <dbghelp.h>
#include <windows.h>

class MinidumpWriter {
public:
    MinidumpWriter() = default;
    ~MinidumpWriter() = default;
    MinidumpWriter(const MinidumpWriter&) = delete;
    MinidumpWriter& operator=(const MinidumpWriter&) = delete;

    // Fills the settings from the text; names compare ignoring case, unknown names are ignored. A
    // "/" inside a value is removed, and a value is cut at its first "=".
    void ReadDumpSettings(const std::u16string& settings);
    // Writes the dumps of all named processes; nothing without a destination or a process name.
    void WriteProcessDump();

    const std::set<std::u16string>& ProcessNames() const { return processNames; }
    const std::u16string& Destination() const { return destination; }
    const std::u16string& FilePrefix() const { return filePrefix; }
    MINIDUMP_TYPE DumpType() const { return dumpType; }

private:
    void ParseSetting(const std::u16string& setting);
    void AddProcessNames(const std::u16string& names);
    static MINIDUMP_TYPE ParseDumpLevel(const std::u16string& name);
    void WriteDump(const std::u16string& processName);

    std::set<std::u16string> processNames;
    std::u16string destination;
    std::u16string filePrefix;
    MINIDUMP_TYPE dumpType = MiniDumpNormal;
};

// The id of the first running process whose executable name equals the name ignoring case; 0 when
// none does.
DWORD FindProcessIdByName(const std::u16string& name);
// Enables the privilege in the token of this process; true when the token took the change.
bool EnablePrivilege(const WCHAR* privilegeName);

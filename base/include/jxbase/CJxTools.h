// Static tools of the engine that hold no state: removal of the Windows Installer traces of an
// older product, the computer name, finding and ending processes by executable name, the packed
// form of a product code, lower-casing, and the run's event-log entry.
#pragma once

#include <string>

#include <windows.h>

namespace JxSetup::Data {

class CJxTools {
public:
    // Removes the Windows Installer registration of the braced product code in the process's own
    // registry view: its feature and product keys, the installer folders, components and shared
    // DLL counters of the product, and its per-machine product and uninstall keys. Nothing is
    // reported; a code that has no packed form changes nothing.
    static void DeleteMSIConfig(const std::u16string& productCode);
    // The same in the 64-bit registry view.
    static void DeleteMSIConfig64(const std::u16string& productCode);
    // The packed form under which Windows Installer registers a product (32 characters); empty
    // unless the code is a braced GUID of 38 characters.
    static std::u16string GetPackedProductCode(const std::u16string& productCode);
    // The computer's name in the format (a COMPUTER_NAME_FORMAT value); empty when there is none.
    static std::u16string GetComputerName(COMPUTER_NAME_FORMAT nameFormat);
    // The id of the first process of a process snapshot whose executable file name equals the name,
    // ignoring case; 0 when there is none.
    static DWORD GetProcessIdByName(const std::u16string& executableName);
    // Opens the process for termination and ends it with the exit code; false when it cannot be
    // opened or ended.
    static bool TerminateProcessById(DWORD processId, UINT exitCode);
    // Every character lower-cased.
    static std::u16string ToLower(std::u16string text);
    // Formats printf-style (at most 4095 characters) and reports the text as one information entry
    // of the event source "Brellwick Client"; writes nothing when the source cannot be registered.
    static void WriteToEventLog(const WCHAR* format, ...);
};

} // namespace JxSetup::Data

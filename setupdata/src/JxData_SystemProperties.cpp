// The machine's facts as properties: memory, disk space of the system drive, Windows version,
// administrator, the standard folders and the computer's names. They overwrite values of the same
// name from earlier sources, except locked ones.
#include "jxsetupdata/JxData.h"

#include <limits>
#include <memory>
#include <vector>

#include "jxplat/text.h"
#include "jxsetupdata/KnownFolderPathHelper.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kContext = u"JxSetup::Data::JxData::InitProperties";

// The folder of a special-folder number without a trailing "\"; empty when the lookup fails.
std::u16string _sysprop_Folder(int csidl) {
    WCHAR path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return u"";
    std::u16string folder(path);
    while (!folder.empty() && folder.back() == u'\\')
        folder.pop_back();
    return folder;
}

// The path of the all-users program menu through its item-id list; empty on failure.
std::u16string _sysprop_StartMenuPath() {
    PIDLIST_ABSOLUTE idList = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_PROGRAMS, &idList)) || !idList)
        return u"";
    WCHAR path[MAX_PATH] = {};
    const bool found = SHGetPathFromIDListW(idList, path) != FALSE;
    ILFree(idList);
    return found ? std::u16string(path) : u"";
}

// One of the computer's names: the length first, then the name; empty when either call fails.
std::u16string _sysprop_ComputerName(COMPUTER_NAME_FORMAT format) {
    DWORD size = 0;
    GetComputerNameExW(format, nullptr, &size);
    if (size == 0)
        return u"";
    std::vector<WCHAR> buffer(size + 1, 0);
    if (!GetComputerNameExW(format, buffer.data(), &size))
        return u"";
    return std::u16string(buffer.data(), std::min<size_t>(size, buffer.size() - 1));
}

std::u16string _sysprop_Kibibytes(ULONGLONG bytes) {
    return jxtext::ToText(static_cast<unsigned long long>(bytes / 1024));
}

} // namespace

int GetGenerationFromVersion(const std::u16string& version) {
    const size_t dot = version.find(u'.');
    if (dot == std::u16string::npos)
        return 0;
    long long generation = 0;
    bool valid = dot > 0;
    for (size_t at = 0; valid && at < dot; ++at) {
        if (version[at] < u'0' || version[at] > u'9') {
            valid = false;
            break;
        }
        generation = generation * 10 + (version[at] - u'0');
        valid = generation <= std::numeric_limits<int>::max();
    }
    if (!valid) {
        Instance()->Log(LP_INFO, kModule, u"JxSetup::Data::GetGenerationFromVersion",
                        u"Version \"%s\" does not begin with a number: generation 0 is used.",
                        version.c_str());
        return 0;
    }
    return static_cast<int>(generation);
}

void JxData::InitProperties() {
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kContext, u"");
    CJxDataLock lock(*this);

    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    const bool is64Bit = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    // The system folder comes first: the disk values are those of its drive.
    const std::u16string systemFolder = _sysprop_Folder(is64Bit ? CSIDL_SYSTEMX86 : CSIDL_SYSTEM);
    const std::u16string systemDrive = systemFolder.substr(0, 2);

    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    if (GlobalMemoryStatusEx(&memory))
        SetProperty(u"_TotalRAM", _sysprop_Kibibytes(memory.ullTotalPhys), 1);
    else
        log->Log(LP_WARNING, kModule, kContext, u"GlobalMemoryStatusEx failed (%lu).", GetLastError());

    ULARGE_INTEGER freeToCaller = {}, totalBytes = {}, totalFree = {};
    const std::u16string driveRoot = systemDrive + u"\\";
    if (GetDiskFreeSpaceExW(driveRoot.c_str(), &freeToCaller, &totalBytes, &totalFree)) {
        SetProperty(u"_FreeSpace", _sysprop_Kibibytes(freeToCaller.QuadPart), 1);
        SetProperty(u"_TotalSpace", _sysprop_Kibibytes(totalBytes.QuadPart), 1);
        SetProperty(u"_TotalFreeSpace", _sysprop_Kibibytes(totalFree.QuadPart), 1);
    } else {
        log->Log(LP_WARNING, kModule, kContext, u"GetDiskFreeSpaceExW of \"%s\" failed (%lu).",
                 driveRoot.c_str(), GetLastError());
    }

    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&version)))
        log->Log(LP_WARNING, kModule, kContext, u"GetVersionExW failed (%lu).", GetLastError());
    const std::u16string versionNT =
        jxtext::ToText(static_cast<unsigned>(version.dwMajorVersion * 100 + version.dwMinorVersion));
    SetProperty(u"VersionNT", versionNT, 1);
    SetProperty(u"VersionNT64", is64Bit ? versionNT : u"", 1);
    SetProperty(u"ServicePackLevel", jxtext::ToText(static_cast<unsigned>(version.wServicePackMajor)), 1);
    if (version.wProductType == VER_NT_WORKSTATION)
        SetProperty(u"WinProductLevel", u"Desktop", 1);
    else if (version.wProductType >= VER_NT_DOMAIN_CONTROLLER)
        SetProperty(u"WinProductLevel", u"Server", 1);
    // From Windows 6 on the elevation checks decide; this property only speaks for older systems.
    const bool isAdmin = version.dwMajorVersion != 5 || IsUserAnAdmin();
    SetProperty(u"_IsAdmin", isAdmin ? u"true" : u"false", 1);

    SetProperty(u"ProgramFilesFolder",
                _sysprop_Folder(is64Bit ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES), 1);
    // The engine is a 32-bit program: on a 64-bit machine this is the folder the system reports
    // to it, which is the x86 one.
    SetProperty(u"ProgramFiles64Folder", is64Bit ? _sysprop_Folder(CSIDL_PROGRAM_FILES) : u"", 1);
    SetProperty(u"CommonFilesFolder",
                _sysprop_Folder(is64Bit ? CSIDL_PROGRAM_FILES_COMMONX86 : CSIDL_PROGRAM_FILES_COMMON), 1);
    std::u16string commonFiles64;
    if (is64Bit) {
        auto helper = std::make_unique<KnownFolderPathHelper>();
        commonFiles64 = helper->GetCommonFilesX64Folder();
    }
    SetProperty(u"CommonFiles64Folder", commonFiles64, 1);
    SetProperty(u"SetupFolder", m_appDir, 1);
    SetProperty(u"SystemFolder", systemFolder, 1);
    SetProperty(u"System64Folder", is64Bit ? _sysprop_Folder(CSIDL_SYSTEM) : u"", 1);
    SetProperty(u"WindowsFolder", _sysprop_Folder(CSIDL_WINDOWS), 1);
    SetProperty(u"CommonAppDataFolder", _sysprop_Folder(CSIDL_COMMON_APPDATA), 1);
    SetProperty(u"SystemDrive", systemDrive, 1);
    SetProperty(u"AppDataFolder", _sysprop_Folder(CSIDL_APPDATA), 1);
    SetProperty(u"LocalAppDataFolder", _sysprop_Folder(CSIDL_LOCAL_APPDATA), 1);

    if (GetInstallMode() == u"Uninstall") {
        // The names first: a feature action is stored per name, not in the rows walked here.
        std::vector<std::u16string> names;
        for (const JxFeature& feature : m_Features)
            names.push_back(feature.name);
        for (const std::u16string& name : names)
            if (GetFeatureState(name) == u"FeatureStateInstalled")
                SetFeatureAction(name, u"FeatureActionRemove");
    }

    const std::u16string productVersion = GetProductVersion();
    if (!productVersion.empty())
        SetProperty(u"_Generation", IntToWString(GetGenerationFromVersion(productVersion)), 1);
    SetProperty(u"_StartMenuPath", _sysprop_StartMenuPath(), 1);

    struct NameProperty {
        COMPUTER_NAME_FORMAT format;
        const WCHAR* property;
    };
    static const NameProperty kNames[] = {
        {ComputerNameNetBIOS, u"_ComputerNameNetBIOS"},
        {ComputerNameDnsHostname, u"_ComputerNameDnsHostname"},
        {ComputerNameDnsDomain, u"_ComputerNameDnsDomain"},
        {ComputerNameDnsFullyQualified, u"_ComputerNameDnsFullyQualified"},
        {ComputerNamePhysicalNetBIOS, u"_ComputerNamePhysicalNetBIOS"},
        {ComputerNamePhysicalDnsHostname, u"_ComputerNamePhysicalDnsHostname"},
        {ComputerNamePhysicalDnsDomain, u"_ComputerNamePhysicalDnsDomain"},
        {ComputerNamePhysicalDnsFullyQualified, u"_ComputerNamePhysicalDnsFullyQualified"},
    };
    for (const NameProperty& name : kNames)
        SetProperty(name.property, _sysprop_ComputerName(name.format), 1);

    log->Log(LOG_END, kModule, kContext, u"");
}

} // namespace JxSetup::Data

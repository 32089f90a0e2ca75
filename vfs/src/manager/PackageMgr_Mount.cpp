// Mounting carriers: the program file or a package file, its check marker, and the walk over its
// packages.
#include <algorithm>

#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/container/CQuickCRC.h"
#include "jxvfs/container/PackageTrace.h"

namespace {

bool IsExistingFile(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

int PackageMgr::MountExecutable(const WCHAR* commandLine, DWORD verbosity, DWORD options,
                                HWND progressWindow) {
    m_mountFailures.clear();
    const std::u16string line = commandLine ? commandLine : GetCommandLineW();
    std::u16string path;
    if (!line.empty() && line[0] == u'"') {
        const size_t close = line.find(u'"', 1);
        if (close == std::u16string::npos)
            return 0;
        path = line.substr(1, close - 1);
    } else {
        path = line.substr(0, line.find_first_of(u" \t"));
    }
    if (!IsExistingFile(path)) {
        // Started without its path (through a shortcut, say): the program's own file.
        WCHAR module[MAX_PATH + 1] = {};
        GetModuleFileNameW(nullptr, module, MAX_PATH + 1);
        path = module;
    }
    if (!IsExistingFile(path)) {
        m_mountFailures.push_back(path + u": the program file is not found");
        return 0;
    }
    m_selfcheck.Configure(verbosity, options, progressWindow);
    return MountPackageFile(path.c_str());
}

int PackageMgr::MountPackageFileInMode(const WCHAR* path, int scanMode) {
    const int previous = m_scanMode;
    m_scanMode = scanMode;
    const int result = MountPackageFile(path);
    m_scanMode = previous;
    return result;
}

int PackageMgr::MountPackageFile(const WCHAR* path) {
    if (!path)
        return 0;
    auto carrier = std::make_shared<CFilePkgAccessor>(path);
    _mount_ReadMarker(path);
    m_mounting = carrier;
    m_mountFailures.clear();
    m_selfcheck.Attach(carrier.get());
    const size_t firstEntry = m_selfcheck.GetCarrierFirstEntry();
    bool scanned = false;
    if (!m_selfcheck.OpenCarrier())
        m_selfcheck.AddError(jxpkg::kErrCarrierOpen, jxpkg::kDetailCarrierOpen, carrier->GetOpenError(), 0);
    else
        scanned = ScanPackages();
    m_mounting.reset();
    const bool carries = std::any_of(m_packages.begin(), m_packages.end(), [&](const auto& package) {
        return package->GetCarrier() == carrier.get();
    });
    if (scanned || carries)
        m_carriers.push_back(carrier); // stays open while the manager or a package of it lives
    if (!scanned) {
        _mount_KeepFailures(path, firstEntry);
        m_selfcheck.Detach();
        return 0;
    }
    if (m_selfcheck.FinalizeCheck())
        return 1;
    _mount_KeepFailures(path, firstEntry);
    return 0;
}

void PackageMgr::_mount_KeepFailures(const std::u16string& path, size_t firstEntry) {
    for (const std::u16string& line : m_selfcheck.DescribeErrors(firstEntry)) {
        m_mountFailures.push_back(path + u": " + line);
        JX_PKG_TRACE(1, u"PackageMgr::MountPackageFile", u"%s\n", m_mountFailures.back().c_str());
    }
    if (m_mountFailures.empty())
        m_mountFailures.push_back(path + u": the packages were not mounted");
}

void PackageMgr::_mount_ReadMarker(const std::u16string& path) {
    // The marker's name: CRC-32 of the path in the ANSI code page, one byte per character.
    const std::string ansi = jxtext::Utf16ToAnsi(path, ' ');
    m_markerName = jxtext::Format(u"%X", CQuickCRC::Compute(ansi.data(), std::min(ansi.size(), path.size())));
    const std::u16string stored = CReg::GetProductStringFromRegistry(HKEY_LOCAL_MACHINE, u"JxSetupEngine",
                                                                     m_markerName.c_str(), u"", 0);
    WIN32_FIND_DATAW data{};
    HANDLE search = FindFirstFileW(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        m_fileTimes.clear();
        m_bChanged = true;
        return;
    }
    FindClose(search);
    m_fileTimes = jxtext::Format(u"%i%i%i%i%i%i", static_cast<int>(data.ftLastAccessTime.dwHighDateTime),
                                 static_cast<int>(data.ftLastAccessTime.dwLowDateTime),
                                 static_cast<int>(data.nFileSizeHigh), static_cast<int>(data.nFileSizeLow),
                                 static_cast<int>(data.ftLastWriteTime.dwHighDateTime),
                                 static_cast<int>(data.ftLastWriteTime.dwLowDateTime));
    m_bChanged = m_fileTimes != stored;
}

bool PackageMgr::ScanPackages() {
    CPkgAccessor* carrier = m_selfcheck.GetCarrier();
    const std::u16string name = carrier ? carrier->GetName() : std::u16string();
    JX_PKG_TRACE(10, u"PackageMgr::ScanPackages",
                 u"-> ScanPackages (%s).. looking up, what's in the backpack.\n", name.c_str());
    if (!carrier || !carrier->IsOpen()) {
        m_selfcheck.AddNote(5, u"File %s could not be opened.", name.c_str());
        m_selfcheck.AddError(jxpkg::kErrCarrierOpen, jxpkg::kDetailCarrierOpen,
                             carrier ? carrier->GetOpenError() : ERROR_INVALID_HANDLE, 0);
        return false;
    }
    m_selfcheck.BeginWalk();
    while (m_selfcheck.NextPackage()) {
        if (!m_selfcheck.CanContinue())
            return false;
        const std::u16string packageName = m_selfcheck.GetPackageName();
        if (m_scanMode == kScanModeKeep && FindPackage(packageName))
            continue;
        if (m_scanMode == kScanModeReplace)
            RemovePackage(packageName);
        const int added = BuildRoot();
        m_selfcheck.AddNote(10, u"    Building root: Success. Added %i Element(s) to VFS.", added);
    }
    JX_PKG_TRACE(10, u"PackageMgr::ScanPackages", u"<-- ScanPackages (). Carrying %i packages.\n",
                 static_cast<int>(m_packages.size()));
    return m_selfcheck.IsResultOk();
}

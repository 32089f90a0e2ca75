// Maintenance copies, the package store's part: which packages belong in the maintenance folder,
// writing one mounted package as its own ".wpk" file, and the engine's runtime files beside them.
#include "jxplat/shlobj.h"

#include "JxData_Packages.h"
#include "jxbase/win32errortext.h"
#include "jxplat/text.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/VirtualFS.h"
#include "jxvfs/InternalPackage.h"
#include "jxvfs/repack/CPackageRepacker.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// Tells whether every package of a repack was written whole: Repack itself answers only whether
// its target could be opened.
class CMaintRepackOutcome : public RepackCallbackDelegate {
public:
    int OnRepackProgress(DWORD phase, DWORD first, DWORD, DWORD_PTR third) override {
        if (phase == 0)
            m_found = static_cast<DWORD>(third);
        else if (phase == 3 && first == 0)
            m_complete = false;
        return 1;
    }
    bool IsComplete() const { return m_complete && m_found > 0; }

private:
    DWORD m_found = 0;
    bool m_complete = true;
};

// The carrier file that holds the package alone from its start: its bytes are what a repack of the
// package writes, but for the padding to 4 bytes that the repack adds when the file lacks it. Empty
// when the package shares its carrier or lies in memory.
std::u16string _maint_PlainCarrierOf(const InternalPackage& package, ULONGLONG& padding) {
    auto* carrier = dynamic_cast<CFilePkgAccessor*>(package.GetCarrier());
    if (!carrier || package.GetPackageStart() != 0 || !carrier->Open())
        return {};
    const ULONGLONG size = carrier->GetSize();
    carrier->Close();
    const ULONGLONG length = CPackageRepacker::GetRepackLength(&package);
    if ((size != length && size != package.GetPackageLength()) || size > length || length - size > 3)
        return {};
    padding = length - size;
    return carrier->GetName();
}

// Makes the copy what a repack writes: a plain file (a copy carries the source's read-only, hidden
// and system attributes, which would keep later runs from replacing it), padded with zeros.
bool _maint_FinishCopy(const std::u16string& path, ULONGLONG padding) {
    constexpr DWORD kCarried = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        ((attributes & kCarried) && !SetFileAttributesW(path.c_str(), attributes & ~kCarried)))
        return false;
    if (padding == 0)
        return true;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const BYTE zeros[4] = {};
    DWORD written = 0;
    LARGE_INTEGER zero{};
    const bool ok = SetFilePointerEx(file, zero, nullptr, FILE_END) &&
                    WriteFile(file, zeros, static_cast<DWORD>(padding), &written, nullptr) &&
                    written == padding;
    CloseHandle(file);
    return ok;
}

// Writes the package alone into the file; false (with the partial file removed) when it could not
// be written whole. A package that is a file of its own is copied as a file (in the kernel where
// the file system can), the others are repacked from their carriers.
bool _maint_WritePackage(const std::u16string& name, const std::u16string& path) {
    if (const auto package = PackageMgr::Instance()->FindPackage(name)) {
        ULONGLONG padding = 0;
        const std::u16string carrier = _maint_PlainCarrierOf(*package, padding);
        if (!carrier.empty()) {
            if (!CopyFileW(carrier.c_str(), path.c_str(), TRUE))
                return false; // a failed copy leaves no file
            if (_maint_FinishCopy(path, padding))
                return true;
            DeleteFileW(path.c_str());
            return false;
        }
    }
    CMaintRepackOutcome outcome;
    if (PackageMgr::Instance()->Repack({REPACK_ENTRY(name)}, path, 0, &outcome) != 1)
        return false;
    if (outcome.IsComplete())
        return true;
    DeleteFileW(path.c_str());
    return false;
}

// Removes what an earlier run left under a name about to be written; false when it stays.
bool _maint_RemoveLeftover(const std::u16string& path) {
    return !_pkg_FileExists(path) || DeleteFileW(path.c_str());
}

} // namespace

bool JxData::IsComponentExtractable(const std::u16string& name) {
    const WCHAR* context = u"JxSetup::Data::JxData::IsComponentExtractable";
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", name.c_str());
    bool result = false;
    if (!name.empty() && name[0] == u'$') {
        result = true;
    } else if (!name.empty() && name[0] == u'{') {
        const JxComponent component = GetComponent(name);
        if (jxtext::EqualsNoCase(component.id, u"Invalid") ||
            jxtext::EqualsNoCase(component.dontstoreindatawpk, u"true"))
            result = false;
        else if (jxtext::EqualsNoCase(component.excludefromupdate, u"true"))
            result = jxtext::EqualsNoCase(component.installifexist, u"true");
        else
            result = true;
    }
    GetLog()->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

bool JxData::ExtractWPK(const std::u16string& name, const std::u16string& folder) {
    const WCHAR* context = u"JxSetup::Data::JxData::ExtractWPK";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"Component: %s - DstPath: %s", name.c_str(), folder.c_str());
    const std::u16string destination = ExpandProperties(folder);
    const std::u16string target = _pkg_Join(destination, name + u".wpk");
    const std::u16string waiting = _pkg_Join(destination, name + kWaitingPackageSuffix);
    const std::u16string partial = _pkg_Join(destination, name + kPartialPackageSuffix);
    bool written = true;
    if (m_MountedPackageFiles.count(jxtext::ToLower(target))) {
        // The file this run reads the package from is never overwritten.
        log->Log(LP_INFO, kModule, context, u"WPK %s already mounted. Do not extract.", target.c_str());
    } else if (name.empty() || !PackageMgr::Instance()->FindPackage(name)) {
        log->Log(LP_WARNING, kModule, context, u"Package %s is not mounted.", name.c_str());
    } else {
        SHCreateDirectoryExW(nullptr, destination.c_str(), nullptr);
        // The package is written whole under its partial name before it takes the name a later
        // run trusts: a run ended during the write leaves only a partial file, never a cut package
        // that looks newer than the good one. What an earlier run left goes first (the repack would
        // keep it and write beside it).
        written = _maint_RemoveLeftover(partial) && _maint_RemoveLeftover(waiting) &&
                  _maint_WritePackage(name, partial);
        if (!written) {
            const DWORD error = GetLastError();
            DeleteFileW(partial.c_str());
            log->Log(LP_ERROR, kModule, context, u"Failed to write file %s: %s", partial.c_str(),
                     CWin32ErrorText(error, CWin32ErrorText::PrefixCode).c_str());
        } else if (log->Log(LP_INFO, kModule, context, u"File %s successfully written.", partial.c_str()),
                   MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            log->Log(LP_INFO, kModule, context, u"File %s moved to %s", partial.c_str(), target.c_str());
        } else if (MoveFileExW(partial.c_str(), waiting.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            // The target is in use: the whole copy waits beside it until the end of the run or the
            // next run that mounts packages from this folder.
            log->Log(LP_WARNING, kModule, context, u"Failed to move file %s to %s", partial.c_str(),
                     target.c_str());
            AddTmpWPKDir(waiting);
        } else {
            const DWORD error = GetLastError();
            DeleteFileW(partial.c_str());
            log->Log(LP_ERROR, kModule, context, u"Failed to move file %s to %s: %s", partial.c_str(),
                     waiting.c_str(), CWin32ErrorText(error, CWin32ErrorText::PrefixCode).c_str());
            written = false;
        }
    }
    log->Log(LOG_END, kModule, context, u"");
    return written;
}

bool JxData::ExtractRuntimeFiles(const std::u16string& folder) {
    const WCHAR* context = u"JxSetup::Data::JxData::ExtractRuntimeFiles";
    CJxDataLock lock(*this);
    if (!m_Vfs)
        return false;
    const std::u16string destination = ExpandProperties(folder);
    SHCreateDirectoryExW(nullptr, destination.c_str(), nullptr);
    std::vector<std::pair<std::u16string, std::u16string>> copies = {
        {u"\\$SETUP\\JxSetup.exe", u"setup.exe"},
        {u"\\$SETUP\\JxSetupRT.dll", u"JxSetupRT.dll"},
    };
    if (jxtext::EqualsNoCase(GetInstallMode(), u"Install"))
        copies.emplace_back(u"\\$CONFIG\\setup.reconfig", u"setup.reconfig");
    bool written = true;
    for (const auto& [source, file] : copies) {
        const std::u16string target = _pkg_Join(destination, file);
        const std::u16string partial = target + kPartialSuffix;
        if (!m_Vfs->GetFile(source)) {
            // Not every setup packs every runtime file.
            GetLog()->Log(LP_WARNING, kModule, context, u"Failed to copy %s", target.c_str());
            continue;
        }
        // Written whole under a partial name, then moved into place: the program the uninstall entry
        // starts is either the old one or the new one, never a cut one.
        if (!_maint_RemoveLeftover(partial) || m_Vfs->CopyFile(source, partial, 0) != 0 ||
            !MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            const DWORD error = GetLastError();
            DeleteFileW(partial.c_str());
            GetLog()->Log(LP_ERROR, kModule, context, u"Failed to copy %s: %s", target.c_str(),
                          CWin32ErrorText(error, CWin32ErrorText::PrefixCode).c_str());
            written = false;
        }
    }
    return written;
}

} // namespace JxSetup::Data

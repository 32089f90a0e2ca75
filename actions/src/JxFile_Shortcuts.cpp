// Shortcuts of the file record's helpers: creating, resolving and deleting shell links.
#include <windows.h>

#include "JxFile_ShortcutGroups.h"

#include "jxplat/propkey.h"
#include "jxplat/propvarutil.h"
#include "jxplat/shobjidl.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr const char16_t* kModule = u"lib";
constexpr const char16_t* kCreateContext = u"JxSetup::Data::JxFile::CreateShortcut";
constexpr const char16_t* kResolveContext = u"JxSetup::Data::JxFile::ResolveShortcut";
constexpr const char16_t* kDeleteContext = u"JxSetup::Data::JxFile::DeleteShortcuts";
// No user interface, no update, no search, no tracking, no link info.
constexpr DWORD kResolveFlags = SLR_NO_UI | SLR_NOUPDATE | SLR_NOSEARCH | SLR_NOTRACK | SLR_NOLINKINFO;
constexpr DWORD kWindows8 = 602;

// Holds one interface pointer and releases it.
template <class T> class CComHolder {
public:
    CComHolder() = default;
    ~CComHolder() {
        if (m_p)
            m_p->Release();
    }
    CComHolder(const CComHolder&) = delete;
    CComHolder& operator=(const CComHolder&) = delete;

    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    void** Out() { return reinterpret_cast<void**>(&m_p); }

private:
    T* m_p = nullptr;
};

// The system version as major * 100 + minor; 0 when it cannot be read.
DWORD _lnk_SystemVersion() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(&version)) {
        Instance()->Log(LP_WARNING, kModule, kCreateContext, u"GetVersionExW failed (%lu).", GetLastError());
        return 0;
    }
    return version.dwMajorVersion * 100 + version.dwMinorVersion;
}

// The file-system path of a shell special folder; empty when the index does not resolve.
std::u16string _lnk_FolderPath(int folderIndex, const char16_t* context) {
    PIDLIST_ABSOLUTE idList = nullptr;
    const HRESULT result = SHGetSpecialFolderLocation(nullptr, folderIndex, &idList);
    if (FAILED(result) || !idList) {
        Instance()->Log(LP_WARNING, kModule, context, u"FolderIndex %i can't be resolved (0x%08lx).",
                        folderIndex, static_cast<DWORD>(result));
        return {};
    }
    Instance()->Log(LP_INFO, kModule, context, u"FolderIndex is valid.");
    WCHAR path[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListW(idList, path);
    ILFree(idList);
    if (!found || !path[0]) {
        Instance()->Log(LP_WARNING, kModule, context, u"FolderIndex %i has no file-system path.",
                        folderIndex);
        return {};
    }
    Instance()->Log(LP_INFO, kModule, context, u"Resolved path %s", path);
    return path;
}

bool _lnk_Failed(HRESULT result, const char16_t* step) {
    if (SUCCEEDED(result))
        return false;
    Instance()->Log(LP_WARNING, kModule, kCreateContext, u"%s failed (0x%08lx).", step,
                    static_cast<DWORD>(result));
    return true;
}

// Saves the link to its path, replacing an existing file.
bool _lnk_Save(IShellLinkW* link, const std::u16string& linkPath) {
    CComHolder<IPersistFile> file;
    if (_lnk_Failed(link->QueryInterface(IID_IPersistFile, file.Out()), u"QueryInterface(IPersistFile)"))
        return false;
    Instance()->Log(LP_INFO, kModule, kCreateContext, u"Got pointer to PersistFile interface.");
    if (_lnk_Failed(file->Save(linkPath.c_str(), TRUE), u"IPersistFile::Save"))
        return false;
    Instance()->Log(LP_INFO, kModule, kCreateContext, u"Shortcut %s created.", linkPath.c_str());
    return true;
}

// Sets System.AppUserModel.ID and saves the link; a property value once made is always released.
bool _lnk_SaveWithAppId(IShellLinkW* link, const std::u16string& appId, const std::u16string& linkPath) {
    CComHolder<IPropertyStore> store;
    if (_lnk_Failed(link->QueryInterface(IID_IPropertyStore, store.Out()), u"QueryInterface(IPropertyStore)"))
        return false;
    Instance()->Log(LP_INFO, kModule, kCreateContext, u"Got pointer to property store");
    PROPVARIANT value;
    if (_lnk_Failed(InitPropVariantFromString(appId.c_str(), &value), u"InitPropVariantFromString"))
        return false;
    Instance()->Log(LP_INFO, kModule, kCreateContext, u"Init AppID property variant %s succeeded",
                    appId.c_str());
    bool saved = false;
    if (!_lnk_Failed(store->SetValue(PKEY_AppUserModel_ID, value), u"IPropertyStore::SetValue")) {
        Instance()->Log(LP_INFO, kModule, kCreateContext,
                        u"Property variant AppID is ready to add in property store");
        if (!_lnk_Failed(store->Commit(), u"IPropertyStore::Commit")) {
            Instance()->Log(LP_INFO, kModule, kCreateContext,
                            u"Property variant AppID added to property store");
            saved = _lnk_Save(link, linkPath);
        }
    }
    PropVariantClear(&value);
    Instance()->Log(LP_INFO, kModule, kCreateContext, u"Property varian AppID cleared.");
    return saved;
}

bool _lnk_CreateEnd(bool result) {
    Instance()->Log(LOG_END, kModule, kCreateContext, u"%s", result ? u"true" : u"false");
    return result;
}

bool _lnk_IsDots(const WCHAR* name) {
    return (name[0] == u'.' && name[1] == 0) || (name[0] == u'.' && name[1] == u'.' && name[2] == 0);
}

// The paths of the "*.lnk" files in the folder.
std::vector<std::u16string> _lnk_LinksIn(const std::u16string& folder) {
    std::vector<std::u16string> links;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(JxFile::CombinePath(folder, u"*.lnk").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return links;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            links.push_back(JxFile::CombinePath(folder, found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return links;
}

// The program groups of the product below a programs folder: subfolders named "Tolvane*".
std::vector<std::u16string> _lnk_ProgramGroupsIn(const std::u16string& folder) {
    std::vector<std::u16string> groups;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(JxFile::CombinePath(folder, kProductGroupPattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return groups;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !_lnk_IsDots(found.cFileName))
            groups.push_back(JxFile::CombinePath(folder, found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return groups;
}

// Resolves the link and tells whether it points to the file (ignoring case).
bool _lnk_PointsTo(const std::u16string& link, const std::u16string& targetFile) {
    std::u16string target;
    JxFile::ResolveShortcut(link, target);
    Instance()->Log(LP_INFO, kModule, kDeleteContext, u"Shortcut %s points to file %s.", link.c_str(),
                    target.c_str());
    return !target.empty() && jxtext::EqualsNoCase(target, targetFile);
}

bool _lnk_DeleteLink(const std::u16string& link) {
    if (DeleteFileW(link.c_str()))
        return true;
    Instance()->Log(LP_WARNING, kModule, kDeleteContext, u"Can't delete shortcut %s (%lu).", link.c_str(),
                    GetLastError());
    return false;
}

} // namespace

bool JxFile::CreateShortcut(JxShortcutDescription description) {
    Instance()->Log(LOG_BEGIN, kModule, kCreateContext,
                    u"FolderIndex: %i LinkName: %s File: %s IconPath: %s IconIndex: %i AppID: %s",
                    description.m_nFolderIndex, description.m_strLinkName.c_str(),
                    description.m_strFile.c_str(), description.m_strIconPath.c_str(),
                    description.m_nIconIndex, description.m_strAppID.c_str());
    if (description.m_strLinkName.empty() || description.m_strFile.empty()) {
        Instance()->Log(LOG_END, kModule, kCreateContext, u"LinkName or File empty.");
        return false;
    }
    if (!FileExists(description.m_strFile)) {
        Instance()->Log(LOG_END, kModule, kCreateContext, u"File doesn't exist");
        return false;
    }
    const DWORD version = _lnk_SystemVersion();

    const std::u16string folder = _lnk_FolderPath(description.m_nFolderIndex, kCreateContext);
    if (folder.empty())
        return _lnk_CreateEnd(false);
    const std::u16string linkPath = CombinePath(folder, description.m_strLinkName + u".lnk");
    Instance()->Log(LP_INFO, kModule, kCreateContext, u"LinkPath %s", linkPath.c_str());
    if (description.m_strLinkName.find(u'\\') != std::u16string::npos)
        PrepareDestinationDirectory(GetPathPart(linkPath));

    CComHolder<IShellLinkW> link;
    if (_lnk_Failed(
            CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out()),
            u"CoCreateInstance(ShellLink)"))
        return _lnk_CreateEnd(false);
    Instance()->Log(LP_INFO, kModule, kCreateContext, u"Got pointer to IShellLink interface");
    if (_lnk_Failed(link->SetPath(description.m_strFile.c_str()), u"IShellLink::SetPath"))
        return _lnk_CreateEnd(false);
    Instance()->Log(LP_INFO, kModule, kCreateContext, u"IShellLink path setted %s",
                    description.m_strFile.c_str());
    if (_lnk_Failed(link->SetIconLocation(description.m_strIconPath.c_str(), description.m_nIconIndex),
                    u"IShellLink::SetIconLocation"))
        return _lnk_CreateEnd(false);
    Instance()->Log(LP_INFO, kModule, kCreateContext, u"IShellLink icon location setted %s %i)",
                    description.m_strIconPath.c_str(), description.m_nIconIndex);
    if (_lnk_Failed(link->SetDescription(description.m_strDescription.c_str()),
                    u"IShellLink::SetDescription"))
        return _lnk_CreateEnd(false);
    Instance()->Log(LP_INFO, kModule, kCreateContext, u"ISHellLink description setted %s",
                    description.m_strDescription.c_str());

    bool saved = false;
    if (!description.m_strAppID.empty() && version >= kWindows8) {
        Instance()->Log(LP_INFO, kModule, kCreateContext, u"AppID is not empty. OS is win8 or newer");
        saved = _lnk_SaveWithAppId(link.Get(), description.m_strAppID, linkPath);
    }
    saved = _lnk_Save(link.Get(), linkPath) || saved;
    return _lnk_CreateEnd(saved);
}

HRESULT JxFile::ResolveShortcut(const std::u16string& shortcutPath, std::u16string& target) {
    target.clear();
    Instance()->Log(LOG_BEGIN, kModule, kResolveContext, u"ShortcutPath: %s", shortcutPath.c_str());
    auto end = [](HRESULT result) {
        Instance()->Log(LOG_END, kModule, kResolveContext, u"0x%08lx", static_cast<DWORD>(result));
        return result;
    };
    auto failed = [](HRESULT result, const char16_t* step) {
        if (FAILED(result))
            Instance()->Log(LP_WARNING, kModule, kResolveContext, u"%s failed (0x%08lx).", step,
                            static_cast<DWORD>(result));
        return FAILED(result);
    };
    // The path is used as a MAX_PATH buffer holds it; a longer one is refused rather than cut to
    // another file's name.
    if (shortcutPath.size() >= MAX_PATH) {
        Instance()->Log(LP_WARNING, kModule, kResolveContext,
                        u"Shortcut path is longer than %d characters: %s", MAX_PATH - 1,
                        shortcutPath.c_str());
        return end(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
    }
    CComHolder<IShellLinkW> link;
    HRESULT result =
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out());
    if (failed(result, u"CoCreateInstance(ShellLink)"))
        return end(result);
    Instance()->Log(LP_INFO, kModule, kResolveContext, u"Got pointer to IShellLink interface");
    CComHolder<IPersistFile> file;
    result = link->QueryInterface(IID_IPersistFile, file.Out());
    if (failed(result, u"QueryInterface(IPersistFile)"))
        return end(result);
    Instance()->Log(LP_INFO, kModule, kResolveContext, u"Got pointer to IPersistFile interface");
    result = file->Load(shortcutPath.c_str(), STGM_READ);
    if (failed(result, u"IPersistFile::Load"))
        return end(result);
    Instance()->Log(LP_INFO, kModule, kResolveContext, u"Loading persistent file succeeded.");
    result = link->Resolve(nullptr, kResolveFlags);
    if (failed(result, u"IShellLink::Resolve"))
        return end(result);
    Instance()->Log(LP_INFO, kModule, kResolveContext, u"ShellLink resolved");
    WCHAR path[MAX_PATH] = {};
    WIN32_FIND_DATAW findData{};
    result = link->GetPath(path, MAX_PATH, &findData, SLGP_RAWPATH);
    if (FAILED(result)) {
        Instance()->Log(LOG_END, kModule, kResolveContext, u"Failed to get path.");
        return end(result);
    }
    Instance()->Log(LP_INFO, kModule, kResolveContext, u"Got path.");
    WCHAR description[MAX_PATH] = {};
    result = link->GetDescription(description, MAX_PATH);
    if (FAILED(result)) {
        Instance()->Log(LOG_END, kModule, kResolveContext, u"Failed to get description.");
        return end(result);
    }
    Instance()->Log(LP_INFO, kModule, kResolveContext, u"Got description.");
    target = path;
    return end(result);
}

bool JxFile::DeleteShortcuts(int folderIndex, const std::u16string& targetFile) {
    Instance()->Log(LOG_BEGIN, kModule, kDeleteContext, u"FolderIndex: %i, Destination file: %s", folderIndex,
                    targetFile.c_str());
    const std::u16string folder = _lnk_FolderPath(folderIndex, kDeleteContext);
    if (!folder.empty() && folderIndex == CSIDL_COMMON_DESKTOPDIRECTORY) {
        for (const std::u16string& link : _lnk_LinksIn(folder)) {
            if (!_lnk_PointsTo(link, targetFile))
                continue;
            Instance()->Log(LP_INFO, kModule, kDeleteContext, u"Shortcut found. Deleting file %s.",
                            link.c_str());
            _lnk_DeleteLink(link);
            break;
        }
    } else if (!folder.empty()) {
        for (const std::u16string& group : _lnk_ProgramGroupsIn(folder)) {
            for (const std::u16string& link : _lnk_LinksIn(group)) {
                if (!_lnk_PointsTo(link, targetFile))
                    continue;
                Instance()->Log(LP_INFO, kModule, kDeleteContext, u"Shortcut found. Deleting it...\n");
                if (_lnk_DeleteLink(link) && _lnk_FolderIsEmpty(group)) {
                    Instance()->Log(LP_INFO, kModule, kDeleteContext,
                                    u"Program goup is empty, deleting it...\n");
                    bool rebootNeeded = false;
                    DeleteFiles(group, u"*.*", true, rebootNeeded);
                }
                Instance()->Log(LOG_END, kModule, kDeleteContext, u"true");
                return true;
            }
        }
    }
    Instance()->Log(LOG_END, kModule, kDeleteContext, u"true");
    return true;
}

} // namespace JxSetup::Data

// Mounting packages: those beside the program in their order, single package files, and the
// packages of outsourced components from their configured locations.
#include "JxData_Packages.h"
#include "jxplat/text.h"
#include "jxvfs/InternalPackageObjBase.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

void DeleteVfs(VirtualFS* vfs) {
    delete vfs;
}

// The folder of the running program, ending in "\".
std::u16string ModuleFolder(const std::u16string& appDir) {
    if (!appDir.empty())
        return appDir;
    WCHAR path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    std::u16string folder(path, length);
    return folder.substr(0, folder.find_last_of(u"\\/") + 1);
}

// The virtual file system sees the manager's tree as it is after a mount.
void Rebind(VirtualFS& vfs) {
    if (!vfs.GetPackageMgr())
        vfs.Mount(PackageMgr::Instance());
    else
        vfs.Refresh();
}

} // namespace

void _pkg_Attach(JxData& data, VirtualFS* vfs, bool owned) {
    if (owned)
        data.m_OwnedVfs = std::unique_ptr<VirtualFS, JxData::JxVfsDeleter>(vfs, &DeleteVfs);
    else if (data.m_OwnedVfs.get() != vfs)
        data.m_OwnedVfs.reset();
    data.m_Vfs = vfs;
    data.m_ReadPackagedFile = vfs ? &_pkg_ReadPackagedFile : nullptr;
    data.m_FindPackagedFile = vfs ? &_pkg_FindPackagedFile : nullptr;
}

void JxData::MountInternalPackages(VirtualFS* vfs) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::MountInternalPackages";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    _pkg_Attach(*this, vfs, false);
    const std::u16string folder = ModuleFolder(m_appDir);
    // Named packages replace what an earlier package brought; any other package file only adds.
    MountExternalPackages(folder, u"merge.wpk", kScanModeReplace);
    MountExternalPackages(folder, u"$*.wpk", kScanModeReplace);
    MountExternalPackages(folder, u"{*}.wpk", kScanModeReplace);
    MountExternalPackages(folder, u"*.wpk", kScanModeKeep);
    GetLog()->Log(LOG_END, kModule, context, u"");
}

void JxData::MountExternalPackages(const std::u16string& folder, const std::u16string& pattern, int mode) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::MountExternalPackages";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s => %s", folder.c_str(), pattern.c_str());
    MovePreviouslyLockedWPKs(folder);
    for (const CPkgDiskFile& file : _pkg_ListFiles(ExpandProperties(folder), pattern))
        MountExternalPackage(file.path, mode);
    GetLog()->Log(LOG_END, kModule, context, u"");
}

bool JxData::MountExternalPackage(const std::u16string& path, int mode) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::MountExternalPackage";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", path.c_str());
    bool mounted = false;
    if (_pkg_FileExists(path)) {
        if (!m_Vfs)
            _pkg_Attach(*this, PackageMgr::Instance()->CreateVirtualFS(), true);
        mounted = PackageMgr::Instance()->MountPackageFileInMode(path.c_str(), mode) != 0;
        if (mounted) {
            GetLog()->Log(LP_INFO, kModule, context, u"File mounted: %s", path.c_str());
            m_MountedPackageFiles.insert(jxtext::ToLower(path));
        } else {
            if (mode == kScanModeReplace)
                GetLog()->Log(LP_WARNING, kModule, context, u"Failed to mount file : %s", path.c_str());
            else
                GetLog()->Log(LP_WARNING, kModule, context, u"File %s not mounted.", path.c_str());
            for (const std::u16string& reason : PackageMgr::Instance()->GetMountFailures())
                GetLog()->Log(LP_WARNING, kModule, context, u"%s", reason.c_str());
        }
        if (m_Vfs)
            Rebind(*m_Vfs);
    }
    GetLog()->Log(LOG_END, kModule, context, u"%s", mounted ? u"true" : u"false");
    return mounted;
}

void JxData::MountOutsourcedComponents() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::MountOutsourcedComponents";
    if (!m_Vfs) {
        GetLog()->Log(LP_WARNING, kModule, context, u"VFS is not initialized.");
        return;
    }
    for (const JxFeature& feature : m_Features) {
        for (const JxComponent& component : feature.components) {
            if (!jxtext::EqualsNoCase(component.allowcomponentoutsourcing, u"true"))
                continue;
            const std::u16string& id = component.id;
            GetLog()->Log(LP_INFO, kModule, context, u"Outsourcable compont %s", id.c_str());
            InternalPackageObjBase* entry = nullptr;
            HANDLE search = m_Vfs->FindFirstFile(u"\\" + id + u"\\*", &entry);
            if (search != INVALID_HANDLE_VALUE) {
                m_Vfs->FindClose(search);
                GetLog()->Log(LP_INFO, kModule, context, u"Component %s is already mounted.", id.c_str());
                continue;
            }
            if (component.componentoutsourcinglocation.empty()) {
                GetLog()->Log(LP_WARNING, kModule, context,
                              u"Outsource location is not defined for component %s.", id.c_str());
                continue;
            }
            const std::u16string locations = ExpandProperties(component.componentoutsourcinglocation);
            for (const std::u16string& location : jxtext::Split(locations, u',')) {
                GetLog()->Log(
                    LP_INFO, kModule, context,
                    u"Component %s is not mounted yet. Searching wpk file in configured location: %s",
                    id.c_str(), location.c_str());
                const std::u16string path = _pkg_Join(location, id + u".wpk");
                if (!_pkg_FileExists(path)) {
                    GetLog()->Log(LP_WARNING, kModule, context, u"File %s not found", path.c_str());
                    continue;
                }
                if (PackageMgr::Instance()->MountPackageFile(path.c_str()) != 0) {
                    GetLog()->Log(LP_INFO, kModule, context, u"%s mounted.", path.c_str());
                    Rebind(*m_Vfs);
                    break;
                }
                GetLog()->Log(LP_WARNING, kModule, context, u"Failed to mount file %s", path.c_str());
                for (const std::u16string& reason : PackageMgr::Instance()->GetMountFailures())
                    GetLog()->Log(LP_WARNING, kModule, context, u"%s", reason.c_str());
            }
        }
    }
}

} // namespace JxSetup::Data

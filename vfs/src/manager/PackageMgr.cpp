#include "jxvfs/PackageMgr.h"

#include <algorithm>
#include <new>

#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxvfs/BlockCache.h"
#include "jxvfs/DecompressionLock.h"
#include "jxvfs/VirtualFS.h"
#include "jxvfs/container/PackageTrace.h"

PackageMgr* PackageMgr::Instance() {
    // Files free their cached blocks under the cache's lock when the manager goes: the cache and
    // the decompression lock must be made first so that they are destroyed last.
    CBlockCache::Instance();
    CDecompressionLock::Instance();
    static PackageMgr manager;
    return &manager;
}

PackageMgr::PackageMgr()
    : m_root(std::make_shared<InternalPackageDir>(std::u16string())), m_treeOwner(*this),
      m_selfcheck(&m_treeOwner) {
    m_selfcheck.SetVerbosity(static_cast<DWORD>(g_VirtualFSDebugLevel));
}

PackageMgr::~PackageMgr() {
    Cleanup();
    // The carriers are closed now: pending repack targets can replace their files.
    CPackageRepacker::FinishRepack();
}

int PackageMgr::Repack(const std::vector<REPACK_ENTRY>& list, const std::u16string& target, DWORD flags,
                       RepackCallbackDelegate* receiver) {
    return CPackageRepacker(*this).Repack(list, target, flags, receiver);
}

void PackageMgr::Cleanup() {
    JX_PKG_TRACE(5, u"PackageMgr::Cleanup", u"--> Cleanup ()\n");
    m_packages.clear();
    m_root = std::make_shared<InternalPackageDir>(std::u16string());
    m_selfcheck.EndCheck();
    m_mounting.reset();
    m_carriers.clear();
    m_markerName.clear();
    m_fileTimes.clear();
    m_scanMode = kScanModeNewer;
    m_bChanged = true;
    JX_PKG_TRACE(10, u"PackageMgr::Cleanup", u"<-- Cleanup()\n");
}

std::shared_ptr<InternalPackage> PackageMgr::FindPackage(std::u16string_view name) const {
    for (const auto& package : m_packages)
        if (jxtext::EqualsNoCase(package->GetName(), name))
            return package;
    return nullptr;
}

bool PackageMgr::IsPackageFileChanged() {
    return m_bChanged;
}

void PackageMgr::DeleteCheckMarker() {
    if (m_markerName.empty())
        return;
    CReg::DeleteProductValueFromRegistry(HKEY_LOCAL_MACHINE, u"JxSetupEngine", m_markerName.c_str(), 0);
    CReg::DeleteProductValueFromRegistry(HKEY_LOCAL_MACHINE, u"JxSetupEngine", (m_markerName + u"Rs").c_str(),
                                         0);
}

bool PackageMgr::GetSelfcheckResult() {
    if (m_selfcheck.IsCheckActive())
        m_selfcheck.FinalizeCheck();
    return m_selfcheck.EndCheck();
}

bool PackageMgr::IsSelfcheckErrorFree() {
    const std::vector<ERROR_ENTRY> errors = m_selfcheck.GetErrors();
    return std::none_of(errors.begin(), errors.end(),
                        [](const ERROR_ENTRY& error) { return (error.detail & 0x0FFFFFFFu) == 1; });
}

VirtualFS* PackageMgr::CreateVirtualFS() {
    VirtualFS* vfs = new (std::nothrow) VirtualFS();
    if (!vfs)
        return nullptr;
    if (vfs->Mount(this) <= 0) {
        delete vfs;
        return nullptr;
    }
    return vfs;
}

void PackageMgr::GetPackageFileNames(std::vector<std::u16string>& names) {
    for (const auto& carrier : m_carriers)
        names.push_back(carrier->GetName());
}

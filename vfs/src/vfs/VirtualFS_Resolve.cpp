// Path resolution over the merged tree and the packages' own trees, and the lookups built on it.
#include "jxplat/text.h"
#include "jxvfs/IPackedFileStream.h"
#include "jxvfs/InternalPackageFile.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/VirtualFS.h"

namespace {

// Where a walk stands: an entry, or the packages level (no entry). `package` is set while the walk
// is inside a package's own tree.
struct WalkState {
    std::shared_ptr<InternalPackageObjBase> entry;
    std::shared_ptr<InternalPackage> package;
    bool packagesLevel = false;
};

bool WalkComponent(const PackageMgr& manager, WalkState& state, std::u16string_view name) {
    if (name.empty())
        return !state.packagesLevel && state.entry->IsRoot();
    if (name == u".")
        return true;
    if (name == u"..") {
        if (state.packagesLevel)
            return false;
        if (state.entry->IsRoot()) {
            state = WalkState{nullptr, nullptr, true};
            return true;
        }
        auto parent = state.entry->GetParentShared(); // the merged tree
        if (!parent)
            return false;
        state = WalkState{parent, nullptr, false};
        return true;
    }
    if (jxtext::EqualsNoCase(name, u"$ROOT")) {
        state = WalkState{manager.GetRoot(), nullptr, false};
        return true;
    }
    if (jxtext::EqualsNoCase(name, u"$PACKAGES")) {
        state = WalkState{nullptr, nullptr, true};
        return true;
    }
    if (state.packagesLevel) {
        auto package = manager.FindPackage(name);
        if (!package)
            return false;
        state = WalkState{package, package, false};
        return true;
    }
    if (!state.entry->IsDirectory())
        return false;
    auto child = static_cast<const InternalPackageDir&>(*state.entry).FindChild(name);
    if (!child)
        return false;
    state.entry = std::move(child);
    return true;
}

bool Walk(const PackageMgr& manager, WalkState& state, std::u16string_view path) {
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(u'\\', start);
        if (!WalkComponent(manager, state,
                           path.substr(start, end == std::u16string_view::npos ? end : end - start)))
            return false;
        if (end == std::u16string_view::npos)
            return !state.packagesLevel;
        start = end + 1;
    }
}

// The path that leads back to the entry the walk reached.
std::u16string CanonicalPath(const WalkState& state) {
    if (!state.package)
        return state.entry->GetFullPath(false);
    if (state.entry == state.package)
        return state.package->GetFullPath(false);
    return u"\\..\\" + state.package->GetName() + state.entry->GetFullPath(false);
}

} // namespace

std::shared_ptr<InternalPackageObjBase> VirtualFS::_vfs_Resolve(const std::u16string& path,
                                                                std::u16string* canonical) {
    if (!m_pPackageMgr) {
        m_nLastError = -8;
        return nullptr;
    }
    WalkState state;
    std::u16string_view rest = path;
    bool resolved = false;
    if (!rest.empty() && rest[0] == u'\\') {
        state.entry = m_pPackageMgr->GetRoot();
        rest.remove_prefix(1);
        resolved = Walk(*m_pPackageMgr, state, rest);
    } else {
        // Relative to the current directory, which is itself an absolute path.
        state.entry = m_pPackageMgr->GetRoot();
        const std::u16string current = m_currentPath.empty() ? std::u16string(u"\\") : m_currentPath;
        resolved = Walk(*m_pPackageMgr, state, std::u16string_view(current).substr(1)) &&
                   Walk(*m_pPackageMgr, state, rest);
    }
    if (!resolved) {
        m_nLastError = -1;
        return nullptr;
    }
    if (canonical)
        *canonical = CanonicalPath(state);
    return state.entry;
}

std::shared_ptr<InternalPackageDir> VirtualFS::_vfs_CurrentDirectory() {
    if (!m_pPackageMgr)
        return nullptr;
    if (m_currentPath.empty())
        Refresh();
    auto entry = _vfs_Resolve(m_currentPath, nullptr);
    return entry && entry->IsDirectory() ? std::static_pointer_cast<InternalPackageDir>(entry) : nullptr;
}

InternalPackageObjBase* VirtualFS::ResolvePath(const std::u16string& path) {
    return _vfs_Resolve(path, nullptr).get();
}

InternalPackageFile* VirtualFS::GetFile(const std::u16string& path) {
    return AsFile(ResolvePath(path));
}

InternalPackageFile* VirtualFS::AsFile(InternalPackageObjBase* entry) {
    return entry && entry->IsFile() ? static_cast<InternalPackageFile*>(entry) : nullptr;
}

IPackedFileStream* VirtualFS::OpenStream(InternalPackageObjBase* entry, DWORD mode) {
    return entry ? entry->OpenStream(mode) : nullptr;
}

IPackedFileStream* VirtualFS::OpenStreamByPath(const std::u16string& path, DWORD mode) {
    return OpenStream(ResolvePath(path), mode);
}

int VirtualFS::GetEntryCount() {
    auto current = _vfs_CurrentDirectory();
    return current ? static_cast<int>(current->GetChildren().size()) : 0;
}

void VirtualFS::GetEntries(std::vector<InternalPackageObjBase*>& entries, int kind, const WCHAR* path) {
    entries.clear();
    if (!m_pPackageMgr) {
        m_nLastError = -8;
        return;
    }
    if (kind == 0) {
        for (const auto& package : m_pPackageMgr->GetPackages())
            entries.push_back(package.get());
        return;
    }
    std::shared_ptr<InternalPackageObjBase> entry;
    if (path)
        entry = _vfs_Resolve(path, nullptr);
    else
        entry = _vfs_CurrentDirectory();
    if (!entry)
        return;
    const bool files = kind == 1 || kind == 3;
    const bool directories = kind == 2 || kind == 3;
    if (entry->IsFile()) {
        if (files)
            entries.push_back(entry.get());
        return;
    }
    for (const auto& [name, child] : static_cast<const InternalPackageDir&>(*entry).GetChildren())
        if ((child->IsFile() && files) || (child->IsDirectory() && directories))
            entries.push_back(child.get());
}

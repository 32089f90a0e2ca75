// Removing a package: its files leave the merged tree, directories left empty go too, and
// directories that another package still fills are linked to that package.
#include <algorithm>

#include "jxplat/text.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/container/PackageTrace.h"

void PackageMgr::RemovePackage(const std::u16string& name) {
    auto found = std::find_if(m_packages.begin(), m_packages.end(), [&](const auto& package) {
        return jxtext::EqualsNoCase(package->GetName(), name);
    });
    if (found == m_packages.end())
        return;
    JX_PKG_TRACE(10, u"PackageMgr::RemovePackage", u"Removing package %s\n", name.c_str());
    const std::shared_ptr<InternalPackage> package = *found;
    _remove_FromDirectory(*m_root, *package);
    m_packages.erase(found);
}

void PackageMgr::_remove_FromDirectory(InternalPackageDir& directory, const InternalPackage& package) {
    std::vector<std::shared_ptr<InternalPackageObjBase>> children;
    for (const auto& [childName, child] : directory.GetChildren())
        children.push_back(child);
    for (const auto& child : children) {
        if (child->IsFile()) {
            if (child->GetOwningPackage().get() == &package)
                directory.RemoveChild(child->GetName());
            continue;
        }
        if (!child->IsDirectory())
            continue;
        auto& subdirectory = static_cast<InternalPackageDir&>(*child);
        _remove_FromDirectory(subdirectory, package);
        if (subdirectory.GetChildren().empty()) {
            directory.RemoveChild(child->GetName());
        } else if (subdirectory.GetOwningPackage().get() == &package) {
            // The directory came with the removed package but holds another package's entries: its
            // package link becomes that package's directory at the same place (the parent of a
            // remaining child's package-side parent).
            auto counterpart = subdirectory.GetChildren().begin()->second->GetPackageLinkShared();
            subdirectory.SetPackageLink(counterpart ? counterpart->GetPackageLinkShared() : nullptr);
        }
    }
}

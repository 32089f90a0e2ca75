// Making a package of the one the self-check just read, and merging its tree into the package's own
// tree and into the merged root.
#include "jxbase/guards.h"
#include "jxvfs/InternalPackageFile.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/container/CMetaTree.h"

namespace {

struct MergeContext {
    const CMetaTree& tree;
    int scanMode;
    DWORD packageWord;
    ULONGLONG dataStart;
    std::shared_ptr<CPkgAccessor> carrier;
    CSelfcheck& notes;
    const std::u16string& packageName;
};

// Merges the children of a directory node into two parents at a time: the package-side directory
// and the merged-side directory. Returns the count of files added.
int MergeChildren(const MergeContext& context, const META_NODE& node,
                  const std::shared_ptr<InternalPackageDir>& packageSide,
                  const std::shared_ptr<InternalPackageDir>& mergedSide) {
    int added = 0;
    for (size_t index : node.children) {
        const META_NODE& child = context.tree.Node(index);
        // Names become paths on the disk when the tree is extracted: one that is not a single name
        // (empty, ".", "..", a separator, a drive) would reach outside the folder extracted into.
        if (!IsSinglePathSegment(child.name)) {
            context.notes.AddNote(1, u"Package %s: entry \"%s\" has no valid name and is skipped.",
                                  context.packageName.c_str(), child.name.c_str());
            continue;
        }
        if (child.isDirectory) {
            // A present directory of that name is used; a present file of that name skips the subtree.
            auto ownDirectory = std::make_shared<InternalPackageDir>(child.name);
            ownDirectory->SetLinks(packageSide, mergedSide);
            auto own = packageSide->AddDirectory(ownDirectory);
            if (!own)
                continue;
            auto mergedDirectory = std::make_shared<InternalPackageDir>(child.name);
            mergedDirectory->SetLinks(packageSide, mergedSide);
            auto merged = mergedSide->AddDirectory(mergedDirectory);
            if (!merged)
                continue;
            added += MergeChildren(context, child, own, merged);
        } else {
            // One entry serves both trees; it is counted when its own package takes it.
            auto file =
                InternalPackageFile::Create(child, context.packageWord, context.dataStart, context.carrier);
            file->SetLinks(packageSide, mergedSide);
            if (!packageSide->AddFile(file, context.scanMode))
                continue;
            mergedSide->AddFile(file, context.scanMode);
            ++added;
        }
    }
    return added;
}

} // namespace

int PackageMgr::BuildRoot() {
    const BYTE* meta = m_selfcheck.GetMetaData();
    const DWORD metaSize = m_selfcheck.GetMetaSize();
    const jxpkg::PACKAGE_HEADER& header = m_selfcheck.GetHeader();
    if (!meta || metaSize == 0 || header.rootOffset > metaSize)
        return 0;
    // The packages keep their carrier; a carrier that is not being mounted here is borrowed.
    std::shared_ptr<CPkgAccessor> carrier = m_mounting;
    if (!carrier || carrier.get() != m_selfcheck.GetCarrier()) {
        carrier.reset();
        for (const auto& open : m_carriers)
            if (open.get() == m_selfcheck.GetCarrier())
                carrier = open;
        if (!carrier)
            carrier = std::shared_ptr<CPkgAccessor>(m_selfcheck.GetCarrier(), [](CPkgAccessor*) {});
    }
    auto package =
        std::make_shared<InternalPackage>(m_selfcheck.GetPackageName(), header, m_selfcheck.GetPackageStart(),
                                          m_selfcheck.GetMetaStart(), m_selfcheck.GetDataStart(), carrier);
    m_packages.push_back(package);
    CMetaTree tree;
    if (!tree.Build(meta, metaSize, header.rootOffset, &m_selfcheck)) {
        m_selfcheck.AddNote(2, u"Package %s contains no elements.", package->GetName().c_str());
        return 0;
    }
    // A package whose data ends before its tree says adds nothing: its files would be read from
    // whatever follows it.
    if (!m_selfcheck.CheckTreeAgainstData(tree))
        return 0;
    return _build_Merge(tree, package);
}

int PackageMgr::_build_Merge(const CMetaTree& tree, const std::shared_ptr<InternalPackage>& package) {
    const std::u16string name = package->GetName();
    const MergeContext context{tree,
                               m_scanMode,
                               package->GetPackageWord(),
                               package->GetDataStart(),
                               package->GetCarrierShared(),
                               m_selfcheck,
                               name};
    return MergeChildren(context, tree.Root(), package, m_root);
}

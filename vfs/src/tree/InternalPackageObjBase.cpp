#include "jxvfs/InternalPackageObjBase.h"

#include "jxvfs/InternalPackage.h"

InternalPackageObjBase::~InternalPackageObjBase() = default;

bool InternalPackageObjBase::SetEnabled(bool enabled) {
    const bool wasDisabled = IsDisabled();
    if (enabled)
        m_flags &= ~kDisabledFlag;
    else
        m_flags |= kDisabledFlag;
    return wasDisabled;
}

std::u16string InternalPackageObjBase::GetFullPath(bool inPackage) const {
    if (IsPackage())
        return u"\\..\\" + m_name;
    // Names from the top down along the tree links; the merged root's empty name gives the leading "\".
    std::vector<std::shared_ptr<const InternalPackageObjBase>> chain;
    chain.push_back(shared_from_this());
    while (auto parent = chain.back()->GetParentShared())
        chain.push_back(parent);
    std::u16string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin())
            path += u'\\';
        path += (*it)->GetName();
    }
    if (path.empty())
        path = u"\\";
    if (inPackage) {
        if (auto package = GetOwningPackage())
            return u"\\..\\" + package->GetName() + path;
    }
    return path;
}

DWORD InternalPackageObjBase::GetSize(DWORD* high) const {
    const ULONGLONG size = GetSize64();
    if (high)
        *high = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size);
}

void InternalPackageObjBase::GetFileTime(FILETIME* time) const {
    if (time)
        *time = FILETIME{};
}

InternalPackageDir* InternalPackageObjBase::GetParent() const {
    return m_treeLink.lock().get();
}

InternalPackageDir* InternalPackageObjBase::GetPackage() const {
    return m_packageLink.lock().get();
}

void InternalPackageObjBase::AddTaggedValues(const META_NODE& node) {
    m_tags = node.tags;
    ApplyMetaData(node);
}

ULONG_PTR InternalPackageObjBase::GetTaggedValue(BYTE key, DWORD* length) const {
    for (const META_TAG& tag : m_tags) {
        if (tag.key != key)
            continue;
        if (length)
            *length = tag.length;
        return tag.IsInteger() ? tag.value : reinterpret_cast<ULONG_PTR>(tag.bytes.data());
    }
    if (length)
        *length = 0;
    return 0;
}

void InternalPackageObjBase::SetLinks(const std::shared_ptr<InternalPackageDir>& packageLink,
                                      const std::shared_ptr<InternalPackageDir>& treeLink) {
    m_packageLink = packageLink;
    m_treeLink = treeLink;
}

std::shared_ptr<InternalPackage> InternalPackageObjBase::GetOwningPackage() const {
    std::shared_ptr<const InternalPackageObjBase> top = shared_from_this();
    while (auto up = top->GetPackageLinkShared())
        top = up;
    if (!top->IsPackage())
        return nullptr;
    return std::const_pointer_cast<InternalPackage>(std::dynamic_pointer_cast<const InternalPackage>(top));
}

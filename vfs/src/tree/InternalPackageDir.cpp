#include "jxvfs/InternalPackageDir.h"

#include "jxplat/text.h"
#include "jxvfs/InternalPackageFile.h"

namespace {

// Lower case as _wcsicmp compares; ASCII without a call, since every lookup compares names.
inline char16_t LowerForOrder(char16_t c) {
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    return jxtext::ToLowerChar(c);
}

} // namespace

bool PackageNameLess::operator()(std::u16string_view a, std::u16string_view b) const {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const char16_t x = LowerForOrder(a[i]);
        const char16_t y = LowerForOrder(b[i]);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

InternalPackageDir::~InternalPackageDir() = default;

bool InternalPackageDir::IsRoot() const {
    return !m_treeLink.lock() && !m_packageLink.lock();
}

bool InternalPackageDir::IsPackage() const {
    return !m_treeLink.lock() && m_packageLink.lock();
}

bool InternalPackageDir::SetEnabled(bool enabled) {
    for (auto& [name, child] : m_children)
        child->SetEnabled(enabled);
    return IsDisabled();
}

std::shared_ptr<InternalPackageDir>
InternalPackageDir::AddDirectory(const std::shared_ptr<InternalPackageDir>& directory) {
    auto [where, inserted] = m_children.emplace(directory->GetName(), directory);
    if (inserted)
        return directory;
    return where->second->IsDirectory() ? std::static_pointer_cast<InternalPackageDir>(where->second)
                                        : nullptr;
}

bool InternalPackageDir::AddFile(const std::shared_ptr<InternalPackageFile>& file, int scanMode) {
    auto [where, inserted] = m_children.emplace(file->GetName(), file);
    if (inserted)
        return true;
    const auto& present = where->second;
    if (!present->IsFile())
        return false;
    const bool replace =
        scanMode == 2 ||
        (scanMode == 0 && static_cast<const InternalPackageFile&>(*present).IsOlderThanFile(file.get()));
    if (!replace)
        return false;
    where->second = file;
    return true;
}

std::shared_ptr<InternalPackageObjBase> InternalPackageDir::FindChild(std::u16string_view name) const {
    auto found = m_children.find(name);
    return found == m_children.end() ? nullptr : found->second;
}

bool InternalPackageDir::RemoveChild(std::u16string_view name) {
    auto found = m_children.find(name);
    if (found == m_children.end())
        return false;
    m_children.erase(found);
    return true;
}

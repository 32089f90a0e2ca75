// Searches over the package tree with wildcards.
#include <algorithm>

#include "jxplat/text.h"
#include "jxvfs/InternalPackageDir.h"
#include "jxvfs/VirtualFS.h"

namespace {

bool HasWildcard(std::u16string_view text) {
    return text.find_first_of(u"*?") != std::u16string_view::npos;
}

bool MatchesName(std::u16string_view name, std::u16string_view pattern) {
    if (pattern.empty() || pattern == u"*")
        return true;
    return HasWildcard(pattern) ? jxtext::MatchesWildcard(name, pattern)
                                : jxtext::EqualsNoCase(name, pattern);
}

} // namespace

bool VirtualFS::_find_Parse(const std::u16string& pattern, std::shared_ptr<InternalPackageObjBase>& target,
                            std::u16string& namePattern) {
    target.reset();
    namePattern.clear();
    if (!m_pPackageMgr || !_vfs_CurrentDirectory() || pattern.empty())
        return false;
    const bool wildcard = HasWildcard(pattern);
    if (pattern.back() == u'\\') {
        if (wildcard)
            return false;
        target = _vfs_Resolve(pattern, nullptr);
        return target && target->IsDirectory();
    }
    if (!wildcard) {
        target = _vfs_Resolve(pattern, nullptr);
        return target != nullptr;
    }
    const size_t cut = pattern.rfind(u'\\');
    if (cut == std::u16string::npos)
        return false;
    namePattern = pattern.substr(cut + 1);
    if (namePattern.empty())
        return false;
    // "\*.png" searches the merged root, as the leading "\" says.
    target = cut == 0 ? _vfs_Resolve(u"\\", nullptr) : _vfs_Resolve(pattern.substr(0, cut), nullptr);
    return target && target->IsDirectory();
}

VFS_SEARCH* VirtualFS::_find_Lookup(HANDLE search) {
    if (!search || search == INVALID_HANDLE_VALUE)
        return nullptr;
    auto found = std::find_if(m_Searches.begin(), m_Searches.end(), [&](const auto& open) {
        return open.get() == static_cast<VFS_SEARCH*>(search);
    });
    return found == m_Searches.end() ? nullptr : found->get();
}

HANDLE VirtualFS::FindFirstFile(const std::u16string& pattern, InternalPackageObjBase** entry) {
    if (entry)
        *entry = nullptr;
    std::shared_ptr<InternalPackageObjBase> target;
    std::u16string namePattern;
    if (!_find_Parse(pattern, target, namePattern))
        return INVALID_HANDLE_VALUE;
    auto search = std::make_unique<VFS_SEARCH>();
    HANDLE handle = search.get();
    if (target->IsDirectory()) {
        search->directory = std::static_pointer_cast<InternalPackageDir>(target);
        search->namePattern = namePattern;
        m_Searches.push_back(std::move(search));
        if (!FindNextFile(handle, entry)) {
            FindClose(handle);
            return INVALID_HANDLE_VALUE;
        }
        return handle;
    }
    // A file is the first result; the search then ranges over the current directory, every name.
    search->directory = _vfs_CurrentDirectory();
    m_Searches.push_back(std::move(search));
    if (entry)
        *entry = target.get();
    return handle;
}

bool VirtualFS::FindNextFile(HANDLE search, InternalPackageObjBase** entry) {
    if (entry)
        *entry = nullptr;
    VFS_SEARCH* open = _find_Lookup(search);
    if (!open) {
        m_nLastError = -2;
        return false;
    }
    if (open->directory) {
        const PackageChildMap& children = open->directory->GetChildren();
        // From the name after the last one returned: the directory may have changed in between.
        auto it = open->started ? children.upper_bound(open->lastName) : children.begin();
        for (; it != children.end(); ++it) {
            if (!MatchesName(it->first, open->namePattern))
                continue;
            open->started = true;
            open->lastName = it->first;
            if (entry)
                *entry = it->second.get();
            return true;
        }
    }
    open->started = true;
    m_nLastError = -4;
    return false;
}

bool VirtualFS::FindClose(HANDLE search) {
    VFS_SEARCH* open = _find_Lookup(search);
    if (!open)
        return false;
    m_Searches.erase(std::find_if(m_Searches.begin(), m_Searches.end(),
                                  [&](const auto& candidate) { return candidate.get() == open; }));
    return true;
}

int VirtualFS::CountMatches(const std::u16string& pattern) {
    std::shared_ptr<InternalPackageObjBase> target;
    std::u16string namePattern;
    if (!_find_Parse(pattern, target, namePattern))
        return 0;
    if (!target->IsDirectory())
        return 1;
    const PackageChildMap& children = static_cast<const InternalPackageDir&>(*target).GetChildren();
    return static_cast<int>(std::count_if(children.begin(), children.end(), [&](const auto& child) {
        return MatchesName(child.first, namePattern);
    }));
}

// The property table: storing, locking, clearing and copying properties.
#include "jxsetupdata/PropertyCache.h"

#include "jxbase/secretmask.h"

#include <mutex>

#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

// Lock prefixes in the order in which lookups try them.
constexpr char16_t kLockPrefixes[] = {u'\u00A7', u'@'}; // "§", "@"

} // namespace

std::u16string PropertyCache::StripLockPrefix(const std::u16string& name) {
    return HasLockPrefix(name) ? name.substr(1) : name;
}

bool PropertyCache::HasLockPrefix(const std::u16string& name) {
    if (name.empty())
        return false;
    for (char16_t prefix : kLockPrefixes)
        if (name[0] == prefix)
            return true;
    return false;
}

bool PropertyCache::ContainsName(const std::u16string& name) const {
    if (name.empty())
        return false;
    std::shared_lock<std::shared_mutex> guard(m_Lock);
    return m_Properties.count(name) != 0;
}

bool PropertyCache::IsLocked(const std::u16string& name) const {
    std::shared_lock<std::shared_mutex> guard(m_Lock);
    return _props_IsLocked(name);
}

bool PropertyCache::_props_IsLocked(const std::u16string& name) const {
    if (name.empty())
        return false;
    const std::u16string plain = StripLockPrefix(name);
    for (char16_t prefix : kLockPrefixes)
        if (m_Properties.count(prefix + plain) != 0)
            return true;
    return false;
}

std::u16string PropertyCache::_expand_LookupValue(const std::u16string& name) const {
    if (name.empty())
        return {};
    const std::u16string plain = StripLockPrefix(name);
    auto it = m_Properties.find(plain);
    if (it != m_Properties.end())
        return it->second;
    for (char16_t prefix : kLockPrefixes) {
        it = m_Properties.find(prefix + plain);
        if (it != m_Properties.end())
            return it->second;
    }
    return {};
}

bool PropertyCache::SetProperty(const std::u16string& name, const std::u16string& value, int flag) {
    if (name.empty())
        return false;
    const std::u16string plain = StripLockPrefix(name);
    // The stored form depends on name and value only: made before the table is locked. Both steps
    // look at the name without its lock prefix.
    std::u16string stored;
    NormalizeValue(stored, name, ScrambleProtectedValue(name, value, flag));
    // The plain value is masked wherever a command line or an argument text carries it.
    if (IsProtectedPropertyName(name))
        RememberSecret(DescrambleValue(name, stored));
    {
        std::unique_lock<std::shared_mutex> guard(m_Lock);
        if (_props_IsLocked(name))
            return false;
        // Setting "§NAME" replaces a plain "NAME" and locks it.
        if (plain != name)
            m_Properties.erase(plain);
        m_Properties[name] = stored;
    }
    // The log writer masks the values of protected names (IsProtectedPropertyName), so they never
    // show in clear, also when a caller breaks the promise of the clear flag.
    Instance()->LogProperty(name.c_str(), stored.c_str(), u"", u"", u"");
    return true;
}

void PropertyCache::Clear() {
    std::unique_lock<std::shared_mutex> guard(m_Lock);
    m_Properties.clear();
}

void PropertyCache::GetAllProperties(JxPropertyMap& out) const {
    out.clear();
    std::shared_lock<std::shared_mutex> guard(m_Lock);
    for (const auto& [name, value] : m_Properties)
        out[StripLockPrefix(name)] = value;
}

void PropertyCache::SetLanguage(const std::u16string& language) {
    std::unique_lock<std::shared_mutex> guard(m_Lock);
    m_Language = language;
}

std::u16string PropertyCache::GetLanguage() const {
    std::shared_lock<std::shared_mutex> guard(m_Lock);
    return m_Language;
}

} // namespace JxSetup::Data

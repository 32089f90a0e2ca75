#include "jxsetupdata/TextListCache.h"

#include <mutex>

#include "jxplat/text.h"

namespace JxSetup::Data {

void TextListCache::AddText(const std::u16string& name, const std::u16string& text,
                            const std::u16string& language) {
    std::unique_lock<std::shared_mutex> guard(m_Lock);
    // A multimap inserts behind the entries of an equal name, so each name keeps its order.
    m_TextList.emplace(name, std::make_pair(language, text));
}

std::vector<std::pair<std::u16string, std::u16string>>
TextListCache::RemoveTexts(const std::vector<std::pair<std::u16string, std::u16string>>& keys) {
    std::vector<std::pair<std::u16string, std::u16string>> removed;
    std::unique_lock<std::shared_mutex> guard(m_Lock);
    for (auto it = m_TextList.begin(); it != m_TextList.end();) {
        bool match = false;
        for (const auto& [name, language] : keys)
            match = match || (jxtext::EqualsNoCase(it->first, name) &&
                              jxtext::EqualsNoCase(it->second.first, language));
        if (!match) {
            ++it;
            continue;
        }
        removed.emplace_back(it->first, it->second.first);
        it = m_TextList.erase(it);
    }
    return removed;
}

bool TextListCache::GetText(const std::u16string& name, const std::u16string& language,
                            std::u16string& out) const {
    std::shared_lock<std::shared_mutex> guard(m_Lock);
    return _text_Find(name, language, out);
}

void TextListCache::ReplaceOrAddText(const std::u16string& name, const std::u16string& text,
                                     const std::u16string& language) {
    std::unique_lock<std::shared_mutex> guard(m_Lock);
    auto it = m_TextList.lower_bound(name);
    if (it != m_TextList.end() && it->first == name) {
        for (; it != m_TextList.end() && jxtext::EqualsNoCase(it->first, name); ++it) {
            if (jxtext::EqualsNoCase(it->second.first, language)) {
                it->second.second = text;
                return;
            }
        }
    }
    m_TextList.emplace(name, std::make_pair(language, text));
}

bool TextListCache::_text_Find(const std::u16string& name, const std::u16string& language,
                               std::u16string& out) const {
    // The first entry of the exact name (find() of a multimap may give any of them); the walk goes
    // on over the neighbours whose names differ only in case.
    auto it = m_TextList.lower_bound(name);
    if (it == m_TextList.end() || it->first != name)
        return false;
    for (; it != m_TextList.end() && jxtext::EqualsNoCase(it->first, name); ++it) {
        if (jxtext::EqualsNoCase(it->second.first, language)) {
            out = it->second.second;
            return true;
        }
    }
    return false;
}

} // namespace JxSetup::Data

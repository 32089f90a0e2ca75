// The localised texts of the setup definition: several texts may share a name, one per language.
#pragma once

#include <map>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

namespace JxSetup::Data {

class TextListCache {
public:
    TextListCache() = default;
    virtual ~TextListCache() = default;
    TextListCache(const TextListCache&) = delete;
    TextListCache& operator=(const TextListCache&) = delete;

    // Appends one text; texts of one name keep the order in which they were added.
    virtual void AddText(const std::u16string& name, const std::u16string& text,
                         const std::u16string& language);

    // The text named exactly name whose language equals language ignoring case; false when there is none.
    bool GetText(const std::u16string& name, const std::u16string& language, std::u16string& out) const;

    // Replaces the text of the entry GetText would find (same walk); adds a new entry when there
    // is none.
    void ReplaceOrAddText(const std::u16string& name, const std::u16string& text,
                          const std::u16string& language);

    // Removes every entry whose name and language equal (ignoring case) one of the pairs; returns
    // the (name, language) of the removed entries in table order.
    std::vector<std::pair<std::u16string, std::u16string>>
    RemoveTexts(const std::vector<std::pair<std::u16string, std::u16string>>& keys);

protected:
    // The lock of the whole store: texts here and, in derived stores, their other tables.
    // Shared for readers, exclusive for writers; never held while logging.
    mutable std::shared_mutex m_Lock;

    // GetText for a caller that already holds m_Lock.
    bool _text_Find(const std::u16string& name, const std::u16string& language, std::u16string& out) const;

private:
    // name -> (language, text), ordered by the exact name.
    std::multimap<std::u16string, std::pair<std::u16string, std::u16string>> m_TextList;
};

} // namespace JxSetup::Data

// Expansion of property references in square brackets, the way every component reads properties.
#include "jxsetupdata/PropertyCache.h"

#include <mutex>
#include <vector>

#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {

std::u16string PropertyCache::ExpandProperties(const std::u16string& text) const {
    std::u16string out;
    Expand(out, text);
    return out;
}

std::u16string PropertyCache::ExpandPropertiesForLanguage(const std::u16string& text,
                                                          const std::u16string& language) const {
    std::u16string out;
    ExpandForLanguage(out, text, language);
    return out;
}

bool PropertyCache::Expand(std::u16string& out, const std::u16string& text) const {
    return ExpandForLanguage(out, text, GetLanguage());
}

bool PropertyCache::ExpandForLanguage(std::u16string& out, const std::u16string& text,
                                      const std::u16string& language) const {
    std::u16string work = text; // out may be text itself
    CExpandStop stop;
    bool complete;
    {
        std::shared_lock<std::shared_mutex> guard(m_Lock);
        complete = _expand_Run(work, language, stop);
    }
    out = std::move(work);
    if (!complete)
        Instance()->Log(
            LP_ERROR, u"lib", u"JxSetup::Data::PropertyCache::ExpandForLanguage",
            u"Expansion stopped after %u replacements at %u characters: a property refers to itself",
            static_cast<unsigned>(stop.replacements), static_cast<unsigned>(stop.length));
    return complete;
}

// One left-to-right scan. The first "]" that has a "[" before it closes the innermost reference;
// the reference is replaced by its value and scanning goes on with the value, so references in the
// value expand in turn and an outer reference whose name it completes comes next. This is the same
// as starting over after every replacement, since nothing before the reference has changed, but
// each character is scanned once and the text behind the reference is never moved. A "]" with no
// "[" before it is kept as text.
bool PropertyCache::_expand_Run(std::u16string& text, const std::u16string& language,
                                CExpandStop& stop) const {
    if (text.find(u'[') == std::u16string::npos || text.find(u']') == std::u16string::npos)
        return true;
    std::u16string done;       // the scanned part of the result
    std::vector<size_t> opens; // positions of the "[" in done, innermost last
    // Texts still to scan with the position reached in each; the next one is last.
    std::vector<std::pair<std::u16string, size_t>> pending;
    pending.emplace_back(text, 0); // not empty: it holds brackets
    size_t length = text.size();   // of the whole text as it stands
    size_t replacements = 0;
    while (!pending.empty()) {
        auto& [segment, pos] = pending.back();
        const size_t bracket = segment.find_first_of(u"[]", pos);
        if (bracket == std::u16string::npos) {
            done.append(segment, pos);
            pending.pop_back();
            continue;
        }
        done.append(segment, pos, bracket - pos);
        const char16_t c = segment[bracket];
        pos = bracket + 1;
        if (pos == segment.size())
            pending.pop_back();
        if (c == u'[')
            opens.push_back(done.size());
        if (c != u']' || opens.empty()) {
            done += c;
            continue;
        }
        const size_t open = opens.back();
        opens.pop_back();
        const std::u16string name = done.substr(open + 1);
        if (replacements >= kMaxReplacements || length * sizeof(char16_t) > kMaxExpandedBytes) {
            done += c;
            for (auto it = pending.rbegin(); it != pending.rend(); ++it)
                done.append(it->first, it->second);
            text = std::move(done);
            // The reference is not logged: its name may be made of protected values.
            stop = {replacements, length};
            return false;
        }
        std::u16string value =
            _expand_ResolveLocalizedText(DescrambleValue(name, _expand_LookupValue(name)), language);
        length = length - (name.size() + 2) + value.size();
        done.resize(open);
        if (!value.empty())
            pending.emplace_back(std::move(value), 0);
        ++replacements;
    }
    text = std::move(done);
    return true;
}

std::u16string PropertyCache::_expand_ResolveLocalizedText(const std::u16string& value,
                                                           const std::u16string& language) const {
    if (value.empty() || value[0] != u'@')
        return value;
    std::u16string name;
    for (char16_t c : value)
        if (c != u'@')
            name += c;
    std::u16string text;
    return _text_Find(name, language, text) ? text : value;
}

} // namespace JxSetup::Data

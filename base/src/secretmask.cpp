#include "jxbase/secretmask.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "jxplat/text.h"

namespace {

std::mutex& _mask_Lock() {
    static auto* lock = new std::mutex;
    return *lock;
}

// Longest first, so that a secret that contains another is masked whole.
std::vector<std::u16string>& _mask_Secrets() {
    static auto* secrets = new std::vector<std::u16string>;
    return *secrets;
}

bool _mask_IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// The name of a NAME=VALUE pair whose "=" stands at `equals`: the word before it, blanks between
// name and "=" skipped, up to a blank, a quote or the "/" of the switch.
std::u16string_view _mask_NameBefore(std::u16string_view text, size_t equals) {
    size_t end = equals;
    while (end > 0 && _mask_IsBlank(text[end - 1]))
        --end;
    size_t begin = end;
    while (begin > 0 && !_mask_IsBlank(text[begin - 1]) && text[begin - 1] != u'"' && text[begin - 1] != u'/')
        --begin;
    return text.substr(begin, end - begin);
}

// The end of the value that starts at `begin`: the next blank or tab followed by "/" outside
// quotes, else the end of the text. `quoted` says whether `begin` lies inside quotes.
size_t _mask_ValueEnd(std::u16string_view text, size_t begin, bool quoted) {
    for (size_t at = begin; at < text.size(); ++at) {
        if (text[at] == u'"')
            quoted = !quoted;
        else if (!quoted && _mask_IsBlank(text[at]) && at + 1 < text.size() && text[at + 1] == u'/')
            return at;
    }
    return text.size();
}

std::u16string _mask_Values(std::u16string_view text) {
    std::vector<std::u16string> secrets;
    {
        std::lock_guard<std::mutex> guard(_mask_Lock());
        secrets = _mask_Secrets();
    }
    std::u16string out(text);
    for (const std::u16string& secret : secrets) {
        for (size_t at = out.find(secret); at != std::u16string::npos;
             at = out.find(secret, at + std::char_traits<char16_t>::length(kMaskedSecret)))
            out.replace(at, secret.size(), kMaskedSecret);
    }
    return out;
}

std::u16string _mask_Pairs(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t copied = 0;
    bool quoted = false; // whether the scan stands inside quotes
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == u'"') {
            quoted = !quoted;
            continue;
        }
        if (text[at] != u'=' || !IsProtectedName(_mask_NameBefore(text, at)))
            continue;
        const size_t end = _mask_ValueEnd(text, at + 1, quoted);
        out.append(text.substr(copied, at + 1 - copied));
        out += kMaskedSecret;
        // A value that ran to its closing quote leaves the scan outside quotes; one that ran to the
        // end of the text ends the scan.
        quoted = false;
        copied = end;
        at = end == text.size() ? end : end - 1;
    }
    if (copied < text.size())
        out.append(text.substr(copied));
    return out;
}

} // namespace

bool IsProtectedName(std::u16string_view name) {
    if (!name.empty() && (name.front() == u'\u00A7' || name.front() == u'@')) // "§", "@"
        name.remove_prefix(1);
    // "_AccessKey" hands an access key of the management server to the setup: a secret too.
    return name.starts_with(u"__") || jxtext::EqualsNoCase(name, u"_AccessKey");
}

void RememberSecret(std::u16string_view value) {
    if (value.empty())
        return;
    std::lock_guard<std::mutex> guard(_mask_Lock());
    std::vector<std::u16string>& secrets = _mask_Secrets();
    if (std::find(secrets.begin(), secrets.end(), value) != secrets.end())
        return;
    secrets.emplace_back(value);
    std::stable_sort(secrets.begin(), secrets.end(),
                     [](const std::u16string& a, const std::u16string& b) { return a.size() > b.size(); });
}

std::u16string MaskProtectedArguments(std::u16string_view text) {
    return _mask_Pairs(_mask_Values(text));
}

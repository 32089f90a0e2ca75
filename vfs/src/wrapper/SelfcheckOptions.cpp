// Reading the self-check options of the command line.
#include <vector>

#include "jxplat/text.h"
#include "jxvfs/wrapper/SelfcheckOptions.h"

namespace {

std::vector<std::u16string_view> _wrap_Words(std::u16string_view text) {
    std::vector<std::u16string_view> words;
    size_t at = 0;
    while (at < text.size()) {
        const size_t start = text.find_first_not_of(u' ', at);
        if (start == std::u16string_view::npos)
            break;
        size_t end = text.find(u' ', start);
        if (end == std::u16string_view::npos)
            end = text.size();
        words.push_back(text.substr(start, end - start));
        at = end;
    }
    return words;
}

// The leading decimal digits of the text (0 when there are none).
DWORD _wrap_Number(std::u16string_view text) {
    size_t used = 0;
    const int32_t value = jxtext::ParseInt32(text, 10, &used);
    return used == 0 || value < 0 ? 0 : static_cast<DWORD>(value);
}

} // namespace

SELFCHECK_OPTIONS ParseSelfcheckOptions(std::u16string_view commandLine) {
    SELFCHECK_OPTIONS result;
    const size_t match = commandLine.find(u".exe");
    const size_t start = match == std::u16string_view::npos ? 4 : match + 5;
    if (start >= commandLine.size())
        return result;

    const auto words = _wrap_Words(commandLine.substr(start));
    for (size_t i = 0; i < words.size(); ++i) {
        const std::u16string_view word = words[i];
        if (word.empty() || (word[0] != u'/' && word[0] != u'-'))
            continue;
        const std::u16string_view name = word.substr(1);
        if (jxtext::EqualsNoCase(name, u"full")) {
            result.options = kSelfcheckFull;
        } else if (jxtext::EqualsNoCase(name, u"quick")) {
            result.options = kSelfcheckQuick;
        } else if (jxtext::EqualsNoCase(name, u"check_cert")) {
            result.options |= kSelfcheckCertificate;
        } else if (jxtext::EqualsNoCase(name, u"check_files")) {
            result.options |= kSelfcheckFileTest;
        } else if (jxtext::EqualsNoCase(name, u"check_payload")) {
            result.options |= kSelfcheckDataCrc;
        } else if (jxtext::EqualsNoCase(name, u"md5")) {
            result.options |= kSelfcheckMd5;
        } else if (jxtext::EqualsNoCase(name, u"sha1")) {
            result.options |= kSelfcheckSha1;
        } else if (jxtext::StartsWithNoCase(name, u"dig")) {
            const DWORD window = _wrap_Number(name.substr(3));
            if (window != 0) {
                result.options |= kSelfcheckProgress;
                result.window = window;
            }
        } else if (jxtext::EqualsNoCase(name, u"v")) {
            DWORD verbosity = 0;
            if (i + 1 < words.size())
                verbosity = _wrap_Number(words[++i]);
            result.verbosity = verbosity == 0 ? 1 : verbosity;
        }
    }
    return result;
}

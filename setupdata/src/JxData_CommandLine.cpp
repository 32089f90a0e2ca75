// Properties from the process command line, and the update mode set from its keyword.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kCmdContext = u"JxSetup::Data::JxData::LoadPropertiesFromCMD";

// Whole command lines of an older installer front end that only ask for a quiet run.
const WCHAR* const kQuietForms[] = {
    u"/nogui /params=[/s /v\\\"/qn REBOOT=R\\\"]",
    u"/nogui /params=[/s /v\\\"/qb REBOOT=R\\\"]",
    u"/nogui /params=[/s /v\\\"/qn\\\"]",
    u"/nogui /params=[/s /v\\\"/qb\\\"]",
};

// The pieces of a command line: every " /" separates (also inside quotes), as do tabs.
std::vector<std::u16string> _cmd_SplitPieces(const std::u16string& text) {
    std::u16string separated;
    separated.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == u' ' && at + 1 < text.size() && text[at + 1] == u'/') {
            separated.push_back(u'\t');
            ++at;
            continue;
        }
        separated.push_back(text[at]);
    }
    return jxtext::Split(separated, u'\t');
}

// Name and value of one "NAME=VALUE" piece; false when the piece sets nothing.
bool _cmd_ParsePair(const std::u16string& piece, std::u16string& name, std::u16string& value) {
    const size_t equals = piece.find(u'=');
    if (equals == std::u16string::npos)
        return false;
    std::u16string_view head(piece.data(), equals);
    if (!head.empty() && head.front() == u'/')
        head.remove_prefix(1);
    name = jxtext::Trim(head, u" ");

    std::u16string_view raw(piece.data() + equals + 1, piece.size() - equals - 1);
    const size_t firstNonBlank = raw.find_first_not_of(u' ');
    raw = firstNonBlank == std::u16string_view::npos ? std::u16string_view() : raw.substr(firstNonBlank);
    const size_t firstQuote = raw.find(u'"');
    if (firstQuote == std::u16string_view::npos) {
        value = jxtext::Trim(raw, u" ");
        return true;
    }
    const size_t lastQuote = raw.rfind(u'"');
    if (lastQuote == firstQuote)
        return false; // a single double quote: the piece is broken
    value.assign(raw.substr(firstQuote + 1, lastQuote - firstQuote - 1));
    return true;
}

} // namespace

void JxData::LoadPropertiesFromCMD(const std::u16string& commandLine) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kCmdContext, u"");

    bool quietOnly = commandLine.find(u"/nogui") != std::u16string::npos;
    for (const WCHAR* form : kQuietForms)
        quietOnly = quietOnly || jxtext::EqualsNoCase(commandLine, form);
    if (quietOnly) {
        // A quiet request ends the reading: no other pair of this command line is taken.
        SetProperty(u"_QuietInstallation", u"true", 1);
        log->Log(LOG_END, kModule, kCmdContext, u"");
        return;
    }

    for (const std::u16string& piece : _cmd_SplitPieces(commandLine)) {
        std::u16string name;
        std::u16string value;
        if (_cmd_ParsePair(piece, name, value))
            SetProperty(name, value, 1); // an empty or locked name is refused by the store
    }
    log->Log(LOG_END, kModule, kCmdContext, u"");
}

void JxData::SetUpdateMode(const std::u16string& keyword) {
    CJxDataLock lock(*this);
    static const struct {
        const WCHAR* keyword;
        int mode;
    } kModes[] = {{u"EXITSETUP", 3}, {u"NOUPDATE", 0}, {u"RELOADCONFIG", 4}, {u"UPDATE", 1}, {u"UPGRADE", 2}};
    for (const auto& entry : kModes) {
        if (jxtext::EqualsNoCase(keyword, entry.keyword)) {
            m_UpdateMode = entry.mode;
            SetProperty(u"_UPUpdateMode", keyword, 1);
            return;
        }
    }
}

} // namespace JxSetup::Data

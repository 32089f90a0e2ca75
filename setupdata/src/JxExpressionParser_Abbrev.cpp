// Abbreviations of a condition: _[NAME] is [NAME] != '' (the property is set and not empty),
// ![NAME] is [NAME] == '' (the property is empty). No other use of "_" or "!" exists in the language.
#include "jxsetupdata/JxExpressionParser.h"

namespace JxSetup::Data {

std::u16string JxExpressionParser::_abbr_Rewrite(const std::u16string& text) {
    const size_t n = text.size();
    std::u16string out;
    out.reserve(n + 16);
    // An abbreviation starts where at least four characters remain. "_[]" and "![]" in the last
    // three characters are replaced only when the same text was an abbreviation earlier on.
    bool emptySeen[2] = {false, false};
    // The first "]" after the current position, found once and kept while it lies ahead.
    size_t nextClose = 0;
    bool noMoreClose = false;
    size_t i = 0;
    while (i < n) {
        const char16_t c = text[i];
        if ((c == u'_' || c == u'!') && i + 1 < n && text[i + 1] == u'[' && !noMoreClose) {
            if (nextClose < i + 2) {
                nextClose = text.find(u']', i + 2);
                noMoreClose = nextClose == std::u16string::npos;
            }
            const int kind = c == u'_' ? 0 : 1;
            const bool emptyName = !noMoreClose && nextClose == i + 2;
            if (!noMoreClose && (i + 4 <= n || (emptyName && emptySeen[kind]))) {
                if (emptyName)
                    emptySeen[kind] = true;
                out.append(text, i + 1, nextClose - i); // "[NAME]"
                out += kind == 0 ? u" != ''" : u" == ''";
                i = nextClose + 1;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace JxSetup::Data

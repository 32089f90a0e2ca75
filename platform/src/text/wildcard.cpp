#include "jxplat/text.h"

namespace jxtext {

bool MatchesWildcard(std::u16string_view name, std::u16string_view pattern) {
    size_t n = 0, p = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || FoldChar(pattern[p]) == FoldChar(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            // Let the last "*" take one more character and try again.
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace jxtext

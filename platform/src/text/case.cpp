// Case folding as Windows does it for "ignoring case" compares: a simple per-code-unit upper-case
// mapping, independent of any locale. The ranges follow the up-case table that Windows uses for
// file names (the exFAT up-case table): among others, ß, ı (U+0131), ſ (U+017F) and
// µ (U+00B5) stay as they are, ÿ becomes Ÿ (U+0178), final sigma ς becomes Σ.
#include "jxplat/text.h"

namespace jxtext {

namespace {

// Code units first..last map to c + delta; with step 2 only every other unit from first does.
struct CaseRule {
    char16_t first;
    char16_t last;
    int delta;
    int step;
};

// Listed so that, where two lower-case units share one upper-case unit, the one that the
// lower-case mapping should answer comes last (σ after ς).
// clang-format off
constexpr CaseRule kUpperRules[] = {
    {0x0061, 0x007A, -32, 1},   // ASCII a-z
    {0x00E0, 0x00F6, -32, 1},   // Latin-1 à-ö
    {0x00F8, 0x00FE, -32, 1},   // Latin-1 ø-þ
    {0x00FF, 0x00FF, 0x79, 1},  // ÿ -> Ÿ (U+0178)
    {0x0101, 0x012F, -1, 2},    // Latin Extended-A pairs; ı (U+0131) stays
    {0x0133, 0x0137, -1, 2},
    {0x013A, 0x0148, -1, 2},
    {0x014B, 0x0177, -1, 2},
    {0x017A, 0x017E, -1, 2},    // ſ (U+017F) stays
    {0x01C6, 0x01C6, -2, 1},    // Latin Extended-B: the dž, lj, nj, dz digraphs and pairs
    {0x01C9, 0x01C9, -2, 1},
    {0x01CC, 0x01CC, -2, 1},
    {0x01CE, 0x01DC, -1, 2},
    {0x01DF, 0x01EF, -1, 2},
    {0x01F3, 0x01F3, -2, 1},
    {0x01F5, 0x01F5, -1, 1},
    {0x01F9, 0x021F, -1, 2},
    {0x0223, 0x0233, -1, 2},
    {0x037B, 0x037D, 130, 1},   // Greek
    {0x03AC, 0x03AC, -38, 1},   // ά
    {0x03AD, 0x03AF, -37, 1},   // έ ή ί
    {0x03B1, 0x03C1, -32, 1},   // α-ρ
    {0x03C2, 0x03C2, -31, 1},   // ς -> Σ
    {0x03C3, 0x03CB, -32, 1},   // σ-ϋ
    {0x03CC, 0x03CC, -64, 1},   // ό
    {0x03CD, 0x03CE, -63, 1},   // ύ ώ
    {0x03D9, 0x03EF, -1, 2},
    {0x03F2, 0x03F2, 7, 1},
    {0x03F8, 0x03F8, -1, 1},
    {0x03FB, 0x03FB, -1, 1},
    {0x0430, 0x044F, -32, 1},   // Cyrillic а-я
    {0x0450, 0x045F, -80, 1},   // ѐ-џ
    {0x0461, 0x0481, -1, 2},
    {0x048B, 0x04BF, -1, 2},
    {0x04C2, 0x04CE, -1, 2},
    {0x04CF, 0x04CF, -15, 1},
    {0x04D1, 0x04FF, -1, 2},
    {0x0501, 0x0513, -1, 2},
    {0x0561, 0x0586, -48, 1},   // Armenian
    {0x1E01, 0x1E95, -1, 2},    // Latin Extended Additional
    {0x1EA1, 0x1EF9, -1, 2},
    {0x2170, 0x217F, -16, 1},   // small Roman numerals
    {0x24D0, 0x24E9, -26, 1},   // circled small letters
    {0xFF41, 0xFF5A, -32, 1},   // fullwidth a-z
};
// clang-format on

struct CaseTables {
    char16_t upper[0x10000];
    char16_t lower[0x10000];

    CaseTables() {
        for (unsigned c = 0; c < 0x10000; ++c) {
            upper[c] = lower[c] = static_cast<char16_t>(c);
        }
        for (const CaseRule& rule : kUpperRules) {
            for (unsigned c = rule.first; c <= rule.last; c += rule.step) {
                const auto u = static_cast<char16_t>(static_cast<int>(c) + rule.delta);
                upper[c] = u;
                lower[u] = static_cast<char16_t>(c);
            }
        }
    }
};

const CaseTables& Tables() {
    static const CaseTables tables;
    return tables;
}

inline char16_t Upper(char16_t c) {
    if (c < 0x80) {
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    }
    return Tables().upper[c];
}

inline char16_t Lower(char16_t c) {
    if (c < 0x80) {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    }
    return Tables().lower[c];
}

} // namespace

char16_t ToUpperChar(char16_t c) {
    return Upper(c);
}
char16_t ToLowerChar(char16_t c) {
    return Lower(c);
}
char16_t FoldChar(char16_t c) {
    return Upper(c);
}

std::u16string ToUpper(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        c = Upper(c);
    }
    return out;
}

std::u16string ToLower(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        c = Lower(c);
    }
    return out;
}

std::u16string Fold(std::u16string_view text) {
    return ToUpper(text);
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const char16_t x = Upper(a[i]);
        const char16_t y = Upper(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

size_t FindNoCase(std::u16string_view text, std::u16string_view needle, size_t from) {
    if (from > text.size() || needle.size() > text.size() - from) {
        return std::u16string_view::npos;
    }
    if (needle.empty()) {
        return from;
    }
    const char16_t first = Upper(needle[0]);
    const size_t lastStart = text.size() - needle.size();
    for (size_t i = from; i <= lastStart; ++i) {
        if (Upper(text[i]) == first &&
            EqualsNoCase(text.substr(i + 1, needle.size() - 1), needle.substr(1))) {
            return i;
        }
    }
    return std::u16string_view::npos;
}

} // namespace jxtext

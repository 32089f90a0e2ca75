// UTF-8 <-> UTF-16. Ill-formed input becomes U+FFFD, one per maximal ill-formed subpart (the
// practice Unicode recommends and Windows' MultiByteToWideChar follows), never an exception.
#include "jxplat/text.h"

namespace jxtext {

namespace {
constexpr char16_t kReplacement = 0xFFFD;

inline bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}
} // namespace

void AppendUtf8ToUtf16(std::u16string& out, std::string_view utf8) {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    out.reserve(out.size() + n);
    size_t i = 0;
    while (i < n) {
        const unsigned char b0 = s[i];
        if (b0 < 0x80) {
            // Runs of ASCII are the common case.
            size_t j = i + 1;
            while (j < n && s[j] < 0x80) {
                ++j;
            }
            out.append(s + i, s + j);
            i = j;
            continue;
        }
        if (b0 < 0xC2) { // continuation byte as lead, or the overlong leads C0 C1
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        if (b0 < 0xE0) {
            if (i + 1 < n && IsContinuation(s[i + 1])) {
                out.push_back(static_cast<char16_t>(((b0 & 0x1F) << 6) | (s[i + 1] & 0x3F)));
                i += 2;
            } else {
                out.push_back(kReplacement);
                ++i;
            }
            continue;
        }
        if (b0 < 0xF0) {
            // The second byte's range excludes overlong forms (E0) and encoded surrogates (ED).
            const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
            const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
            if (i + 1 >= n || s[i + 1] < lo || s[i + 1] > hi) {
                out.push_back(kReplacement);
                ++i;
            } else if (i + 2 >= n || !IsContinuation(s[i + 2])) {
                out.push_back(kReplacement);
                i += 2;
            } else {
                out.push_back(static_cast<char16_t>(((b0 & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) |
                                                    (s[i + 2] & 0x3F)));
                i += 3;
            }
            continue;
        }
        if (b0 < 0xF5) {
            // The second byte's range excludes overlong forms (F0) and values above U+10FFFF (F4).
            const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
            const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
            if (i + 1 >= n || s[i + 1] < lo || s[i + 1] > hi) {
                out.push_back(kReplacement);
                ++i;
            } else if (i + 2 >= n || !IsContinuation(s[i + 2])) {
                out.push_back(kReplacement);
                i += 2;
            } else if (i + 3 >= n || !IsContinuation(s[i + 3])) {
                out.push_back(kReplacement);
                i += 3;
            } else {
                const char32_t cp = (static_cast<char32_t>(b0 & 0x07) << 18) |
                                    (static_cast<char32_t>(s[i + 1] & 0x3F) << 12) |
                                    (static_cast<char32_t>(s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
                const char32_t v = cp - 0x10000;
                out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
                out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
                i += 4;
            }
            continue;
        }
        out.push_back(kReplacement); // F5..FF never appear in UTF-8
        ++i;
    }
}

void AppendUtf16ToUtf8(std::string& out, std::u16string_view text) {
    const size_t n = text.size();
    out.reserve(out.size() + n);
    for (size_t i = 0; i < n; ++i) {
        char32_t c = text[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
                out.push_back(static_cast<char>(0xF0 | (c >> 18)));
                out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
                out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
                out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
                continue;
            }
            c = kReplacement; // lone surrogate
        }
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    AppendUtf8ToUtf16(out, utf8);
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    AppendUtf16ToUtf8(out, text);
    return out;
}

size_t Length(const char16_t* text) {
    if (text == nullptr) {
        return 0;
    }
    return std::char_traits<char16_t>::length(text);
}

} // namespace jxtext

// The ANSI code page (Windows-1252) and WideCharToMultiByte: UTF-16 to UTF-8 or to that code page.
#include <string>

#include "jxplat/errhandling.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winnls.h"

namespace {

// Windows-1252 at 0x80 to 0x9F; the unassigned bytes stand for the control character of their number.
constexpr char16_t kAnsiHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The byte of a character in the ANSI code page, or false when it has none.
bool ToAnsi(char16_t c, char& out) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        out = static_cast<char>(c);
        return true;
    }
    for (int i = 0; i < 32; ++i)
        if (kAnsiHigh[i] == c) {
            out = static_cast<char>(0x80 + i);
            return true;
        }
    return false;
}

} // namespace

namespace jxtext {

std::u16string AnsiToUtf16(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (unsigned char b : bytes)
        text.push_back(b >= 0x80 && b < 0xA0 ? kAnsiHigh[b - 0x80] : static_cast<char16_t>(b));
    return text;
}

std::string Utf16ToAnsi(std::u16string_view text, char fallback, bool* usedFallback) {
    std::string bytes;
    bytes.reserve(text.size());
    bool used = false;
    for (char16_t c : text) {
        char byte = 0;
        if (!ToAnsi(c, byte)) {
            byte = fallback;
            used = true;
        }
        bytes.push_back(byte);
    }
    if (usedFallback)
        *usedFallback = used;
    return bytes;
}

} // namespace jxtext

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wideText, int wideLength, LPSTR multiByteText,
                        int multiByteSize, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    if (!wideText || wideLength == 0 || multiByteSize < 0 ||
        (codePage != CP_ACP && codePage != CP_THREAD_ACP && codePage != CP_UTF8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string_view text =
        wideLength < 0 ? std::u16string_view(wideText, std::char_traits<char16_t>::length(wideText) + 1)
                       : std::u16string_view(wideText, static_cast<size_t>(wideLength));
    std::string out;
    bool usedDefault = false;
    if (codePage == CP_UTF8) {
        out = jxtext::Utf16ToUtf8(text);
    } else {
        out = jxtext::Utf16ToAnsi(text, defaultChar ? *defaultChar : '?', &usedDefault);
    }
    if (usedDefaultChar)
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    if (multiByteSize == 0)
        return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(multiByteSize)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(multiByteText, out.size());
    return static_cast<int>(out.size());
}

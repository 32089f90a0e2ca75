#include "jxvfs/container/AnsiText.h"

namespace jxpkg {

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned bytes (mapped to themselves, as
// MultiByteToWideChar does).
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

std::u16string AnsiToWide(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c >= 0x80 && c < 0xA0 && kHigh[c - 0x80] != 0)
            text.push_back(kHigh[c - 0x80]);
        else
            text.push_back(c);
    }
    return text;
}

std::string WideToAnsi(std::u16string_view text, char fallback) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            bytes.push_back(static_cast<char>(c));
            continue;
        }
        char mapped = fallback;
        for (int i = 0; i < 32; ++i) {
            if (kHigh[i] == c || (kHigh[i] == 0 && c == 0x80 + i)) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        bytes.push_back(mapped);
    }
    return bytes;
}

} // namespace jxpkg

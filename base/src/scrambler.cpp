#include "jxbase/scrambler.h"

#include <array>
#include <string>
#include <utility>

#include "jxbase/textconv.h"
#include "jxplat/text.h"

namespace {

constexpr std::array<BYTE, 16> kKey = {0x3d, 0x9f, 0x0b, 0x62, 0xc4, 0xe1, 0x8a, 0x57,
                                       0xf2, 0x0c, 0x6b, 0x9e, 0x14, 0xa7, 0xd5, 0x38};
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// RC4 over the first `count` bytes, with a fresh state for every call.
void _ScrRc4(std::string& data, size_t count, DWORD keyHead) {
    std::array<BYTE, 16> key = kKey;
    for (int i = 0; i < 4; ++i)
        key[i] = static_cast<BYTE>(keyHead >> (8 * i));
    std::array<BYTE, 256> s;
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<BYTE>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % key.size()]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    int i = 0, j = 0;
    for (size_t at = 0; at < count; ++at) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[at] = static_cast<char>(static_cast<BYTE>(data[at]) ^ s[(s[i] + s[j]) & 0xFF]);
    }
}

std::u16string _ScrBase64(const std::string& data) {
    std::u16string out;
    unsigned bits = 0, held = 0;
    for (unsigned char byte : data) {
        bits = (bits << 8) | byte;
        held += 8;
        while (held >= 6) {
            held -= 6;
            out += static_cast<char16_t>(kAlphabet[(bits >> held) & 0x3F]);
        }
    }
    if (held > 0)
        out += static_cast<char16_t>(kAlphabet[(bits << (6 - held)) & 0x3F]);
    while (out.size() % 4 != 0)
        out += u'=';
    return out;
}

int _ScrValueOf(char16_t c) {
    if (c >= u'A' && c <= u'Z')
        return c - u'A';
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 26;
    if (c >= u'0' && c <= u'9')
        return c - u'0' + 52;
    if (c == u'+')
        return 62;
    if (c == u'/')
        return 63;
    return -1;
}

std::string _ScrUnbase64(std::u16string_view text) {
    std::string out;
    unsigned bits = 0, held = 0;
    for (char16_t c : text) {
        int value = _ScrValueOf(c);
        if (value < 0)
            continue;
        bits = (bits << 6) | static_cast<unsigned>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>((bits >> held) & 0xFF);
        }
    }
    return out;
}

} // namespace

std::u16string ScrambleValue(std::u16string_view text, DWORD keyHead) {
    std::string data = MmsCmdWideToUtf8(text);
    const size_t n = data.size();
    _ScrRc4(data, n, keyHead);
    data += '\0';
    return _ScrBase64(data);
}

std::u16string UnscrambleValue(std::u16string_view scrambled, DWORD keyHead) {
    std::string data = _ScrUnbase64(scrambled);
    if (data.empty())
        return std::u16string();
    // The last byte is the plain zero that closes the value.
    data.pop_back();
    _ScrRc4(data, data.size(), keyHead);
    return jxtext::Utf8ToUtf16(std::string_view(data).substr(0, data.find('\0')));
}

#include "jxbase/textconv.h"

#include "jxplat/text.h"

std::u16string Utf8ToWide(std::string_view bytes) {
    return jxtext::Utf8ToUtf16(bytes);
}

std::u16string Utf8ToWide(const char* bytes, size_t length) {
    if (!bytes)
        return std::u16string();
    return jxtext::Utf8ToUtf16(std::string_view(bytes, length));
}

std::string WideToUtf8(std::u16string_view text) {
    return jxtext::Utf16ToUtf8(text);
}

std::string MmsCmdWideToUtf8(std::u16string_view text) {
    return jxtext::Utf16ToUtf8(text.substr(0, text.find(u'\0')));
}

std::u16string& TrimString(std::u16string& text, std::u16string_view set) {
    size_t first = text.find_first_not_of(set);
    if (first == std::u16string::npos) {
        text.clear();
        return text;
    }
    size_t last = text.find_last_not_of(set);
    text = text.substr(first, last - first + 1);
    return text;
}

// FormatMessageW over the stand-in's English message tables.
#include <algorithm>
#include <cstring>
#include <string>

#include "jxplat/errhandling.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "kernel/messages.h"
#include "kernel/modules.h"

namespace jxplat {
namespace {

// English (United States) and every neutral id (0, user default, system default) find the texts.
bool _FmtLanguageFound(DWORD languageId) {
    return languageId == 1033 || (languageId <= 0xFFFF && PRIMARYLANGID(languageId) == LANG_NEUTRAL);
}

// The message text for the flags, or null with the last error set.
const char16_t* _FmtLookUp(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId) {
    if (!_FmtLanguageFound(languageId)) {
        SetLastError(ERROR_MUI_FILE_NOT_FOUND);
        return nullptr;
    }
    const char16_t* text = nullptr;
    bool moduleHasTable = false;
    if (flags & FORMAT_MESSAGE_FROM_HMODULE) {
        HMODULE module = source ? static_cast<HMODULE>(const_cast<void*>(source)) : kMainModule;
        moduleHasTable = module == kWinInetModule;
        if (moduleHasTable)
            text = FindWinInetMessage(messageId);
    }
    if (!text && (flags & FORMAT_MESSAGE_FROM_SYSTEM))
        text = FindSystemMessage(messageId);
    if (!text) {
        bool moduleOnly = !(flags & FORMAT_MESSAGE_FROM_SYSTEM);
        SetLastError(moduleOnly && !moduleHasTable ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_MR_MID_NOT_FOUND);
    }
    return text;
}

// One insert "%N" or "%N!format!" from the argument array; `at` is past the digits.
bool _FmtInsert(std::u16string_view text, size_t& at, unsigned number, const DWORD_PTR* arguments,
                std::u16string& out) {
    std::u16string format = u"%s";
    if (at < text.size() && text[at] == u'!') {
        size_t close = text.find(u'!', at + 1);
        if (close == std::u16string_view::npos)
            return false;
        format = u"%" + std::u16string(text.substr(at + 1, close - at - 1));
        at = close + 1;
    }
    DWORD_PTR value = arguments[number - 1];
    char16_t kind = format.back();
    if (kind == u's')
        out += jxtext::Format(format.c_str(), reinterpret_cast<const char16_t*>(value));
    else if (kind == u'S')
        out += jxtext::Format(format.c_str(), reinterpret_cast<const char*>(value));
    else
        out += jxtext::Format(format.c_str(), value);
    return true;
}

// Expands the escapes (%n %r %t %b %0 %% %. %! and "% ") and the inserts. Inserts need an
// argument array; a va_list of inserts is not supported.
bool _FmtExpand(std::u16string_view text, DWORD flags, va_list* arguments, std::u16string& out) {
    const DWORD_PTR* array =
        (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) ? reinterpret_cast<const DWORD_PTR*>(arguments) : nullptr;
    for (size_t at = 0; at < text.size();) {
        char16_t c = text[at++];
        if (c != u'%' || at == text.size()) {
            out += c;
            continue;
        }
        char16_t escape = text[at++];
        switch (escape) {
        case u'0':
            return true;
        case u'n':
            out += u"\r\n";
            break;
        case u'r':
            out += u'\r';
            break;
        case u't':
            out += u'\t';
            break;
        case u'b':
            out += u' ';
            break;
        default:
            if (escape >= u'1' && escape <= u'9') {
                unsigned number = escape - u'0';
                if (at < text.size() && text[at] >= u'0' && text[at] <= u'9')
                    number = number * 10 + (text[at++] - u'0');
                if (!array || !_FmtInsert(text, at, number, array, out))
                    return false;
            } else {
                out += escape; // "%%", "%.", "%!", "% " and the like give the character itself
            }
        }
    }
    return true;
}

} // namespace
} // namespace jxplat

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments) {
    using namespace jxplat;
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char16_t* text = nullptr;
    if (flags & FORMAT_MESSAGE_FROM_STRING) {
        text = static_cast<const char16_t*>(source);
        if (!text) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    } else if (!(flags & (FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    } else if (!(text = _FmtLookUp(flags, source, messageId, languageId))) {
        return 0;
    }

    std::u16string message;
    if (flags & FORMAT_MESSAGE_IGNORE_INSERTS) {
        message = text;
    } else if (!_FmtExpand(text, flags, arguments, message)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }

    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        // `size` is the least number of characters to allocate.
        size_t units = std::max<size_t>(message.size() + 1, size);
        auto* allocated = static_cast<char16_t*>(LocalAlloc(LPTR, units * sizeof(char16_t)));
        if (!allocated)
            return 0;
        std::memcpy(allocated, message.c_str(), (message.size() + 1) * sizeof(char16_t));
        *reinterpret_cast<LPWSTR*>(buffer) = allocated;
    } else {
        if (message.size() + 1 > size) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(buffer, message.c_str(), (message.size() + 1) * sizeof(char16_t));
    }
    return static_cast<DWORD>(message.size());
}

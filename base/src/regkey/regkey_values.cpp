// CRegKeyEx: reading values (enumeration, strings, multi-strings).
#include <cstdlib>
#include <cstring>

#include "jxbase/regkey.h"

namespace {

constexpr DWORD kRegEnumNameChars = 0x4000;
constexpr DWORD kRegEnumFirstCapacity = 1024;
constexpr DWORD kRegEnumLargestData = 0x100000;

} // namespace

LONG CRegKeyEx::EnumValue(DWORD index, std::u16string& name, CRegValueBuffer* buffer) {
    if (buffer != nullptr) {
        std::free(buffer->m_Data);
        buffer->m_Size = kRegEnumFirstCapacity;
        buffer->m_Data = static_cast<BYTE*>(std::malloc(kRegEnumFirstCapacity));
        if (buffer->m_Data == nullptr) {
            buffer->m_Size = 0;
            return ERROR_OUTOFMEMORY;
        }
    }
    for (;;) {
        name.assign(kRegEnumNameChars, u'\0');
        DWORD nameLength = kRegEnumNameChars;
        LONG status = buffer != nullptr ? RegEnumValueW(m_Key, index, name.data(), &nameLength, nullptr,
                                                        &buffer->m_Type, buffer->m_Data, &buffer->m_Size)
                                        : RegEnumValueW(m_Key, index, name.data(), &nameLength, nullptr,
                                                        nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            if (nameLength == static_cast<DWORD>(-1))
                name.resize(std::char_traits<char16_t>::length(name.c_str()));
            else
                name.resize(nameLength);
            return ERROR_SUCCESS;
        }
        if (status != ERROR_MORE_DATA || buffer == nullptr)
            return status;
        // The needed size is in m_Size now.
        if (buffer->m_Size >= kRegEnumLargestData)
            return ERROR_OUTOFMEMORY;
        DWORD capacity = buffer->m_Size * 2;
        auto* grown = static_cast<BYTE*>(std::realloc(buffer->m_Data, capacity));
        if (grown == nullptr)
            return ERROR_OUTOFMEMORY;
        buffer->m_Data = grown;
        buffer->m_Size = capacity;
    }
}

LONG CRegKeyEx::QueryStringValue(const WCHAR* name, std::u16string& text, int expandMode) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExW(m_Key, name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return ERROR_INVALID_DATA;
    if (size < 2) {
        text.clear();
        return ERROR_SUCCESS;
    }
    // Room for every byte also when the stored size is odd.
    text.assign((size + 1) / 2, u'\0');
    DWORD readSize = static_cast<DWORD>(text.size() * sizeof(WCHAR));
    status = RegQueryValueExW(m_Key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &readSize);
    if (status != ERROR_SUCCESS) {
        text.clear();
        return status;
    }
    size_t length = (readSize & ~DWORD{1}) / 2;
    if (length > text.size())
        length = text.size();
    if (length > 0 && text[length - 1] == 0)
        --length;
    text.resize(length);

    bool expand =
        (type == REG_SZ && (expandMode == kRegExpandSz || expandMode == kRegExpandBoth)) ||
        (type == REG_EXPAND_SZ && (expandMode == kRegExpandExpandSz || expandMode == kRegExpandBoth));
    if (expand && !ExpandEnvironmentInPlace(text))
        return ERROR_INVALID_DATA;
    return ERROR_SUCCESS;
}

std::u16string CRegKeyEx::GetStringValue(const WCHAR* name, const std::u16string& defaultValue,
                                         int expandMode) {
    std::u16string text;
    if (m_Key != nullptr)
        m_Status = QueryStringValue(name, text, expandMode);
    if (m_Status != ERROR_SUCCESS)
        return defaultValue;
    return text;
}

LONG CRegKeyEx::QueryMultiStringValue(const WCHAR* name, WCHAR* buffer, ULONG* chars) {
    if (chars == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (buffer != nullptr && *chars < 2)
        return ERROR_INSUFFICIENT_BUFFER;
    DWORD size = *chars * 2;
    *chars = 0;
    DWORD type = 0;
    LONG status = RegQueryValueExW(m_Key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (status != ERROR_SUCCESS)
        return status;
    if (type != REG_MULTI_SZ)
        return ERROR_INVALID_DATA;
    if (buffer != nullptr) {
        // A sound list: whole characters, ending in a zero, and in two zeros when it holds text.
        if (size % 2 != 0 || size < 2)
            return ERROR_INVALID_DATA;
        size_t count = size / 2;
        if (buffer[count - 1] != 0 || (count > 1 && buffer[count - 2] != 0))
            return ERROR_INVALID_DATA;
    }
    *chars = size / 2;
    return ERROR_SUCCESS;
}

bool CRegKeyEx::ValueExists(const WCHAR* name) {
    return RegQueryValueExW(m_Key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

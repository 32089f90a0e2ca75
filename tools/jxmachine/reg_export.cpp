// .reg text of a registry key tree, read through the registry API like any other program.
#include "jxmachine/reg_export.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "jxplat/text.h"

namespace jxtools {

namespace {

// regedit wraps hex data so that no line is longer than 80 characters, backslash included.
constexpr size_t kRegLineWidth = 80;

const char* _RegRootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE)
        return "HKEY_LOCAL_MACHINE";
    if (root == HKEY_CURRENT_USER)
        return "HKEY_CURRENT_USER";
    if (root == HKEY_CLASSES_ROOT)
        return "HKEY_CLASSES_ROOT";
    if (root == HKEY_USERS)
        return "HKEY_USERS";
    if (root == HKEY_CURRENT_CONFIG)
        return "HKEY_CURRENT_CONFIG";
    return nullptr;
}

std::string _RegQuoted(std::u16string_view text) {
    std::string out = "\"";
    for (char c : jxtext::Utf16ToUtf8(text)) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// The string of a REG_SZ value when it is one: even size, no NUL inside but the terminator.
bool _RegAsText(const std::vector<BYTE>& data, std::u16string* text) {
    if (data.size() % 2)
        return false;
    text->assign(reinterpret_cast<const char16_t*>(data.data()), data.size() / 2);
    if (!text->empty() && text->back() == u'\0')
        text->pop_back();
    return text->find(u'\0') == std::u16string::npos;
}

// "prefix" followed by the bytes as hex pairs, wrapped as regedit wraps them.
std::string _RegHexLine(const std::string& prefix, const std::vector<BYTE>& data) {
    std::string out = prefix;
    size_t column = prefix.size();
    char pair[4];
    for (size_t i = 0; i < data.size(); ++i) {
        bool last = i + 1 == data.size();
        snprintf(pair, sizeof(pair), last ? "%02x" : "%02x,", data[i]);
        // Room is kept for the backslash that continues a line.
        if (column + 3 > kRegLineWidth - 1) {
            out += "\\\n  ";
            column = 2;
        }
        out += pair;
        column += last ? 2 : 3;
    }
    return out;
}

std::string _RegValueLine(std::u16string_view name, DWORD type, const std::vector<BYTE>& data) {
    std::string head = name.empty() ? "@=" : _RegQuoted(name) + "=";
    std::u16string text;
    if (type == REG_SZ && _RegAsText(data, &text))
        return head + _RegQuoted(text);
    if (type == REG_DWORD && data.size() == 4) {
        char number[16];
        DWORD value = data[0] | data[1] << 8 | data[2] << 16 | static_cast<DWORD>(data[3]) << 24;
        snprintf(number, sizeof(number), "dword:%08x", value);
        return head + number;
    }
    if (type == REG_BINARY)
        return _RegHexLine(head + "hex:", data);
    char kind[24];
    snprintf(kind, sizeof(kind), "hex(%x):", type);
    return _RegHexLine(head + kind, data);
}

bool _RegExportValues(HKEY key, std::string* out) {
    DWORD maxName = 0;
    DWORD maxData = 0;
    LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      &maxName, &maxData, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return false;
    std::vector<char16_t> name(maxName + 1);
    std::vector<BYTE> data(maxData);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        status = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            // Changed since the sizes were read: grow and read this value again.
            name.resize(name.size() * 2 + 256);
            data.resize(std::max<size_t>(data.size() * 2, size));
            --index;
            continue;
        }
        if (status == ERROR_NO_MORE_ITEMS)
            return true;
        if (status != ERROR_SUCCESS)
            return false;
        std::vector<BYTE> bytes(data.begin(), data.begin() + size);
        *out += _RegValueLine(std::u16string_view(name.data(), nameLength), type, bytes) + "\n";
    }
}

bool _RegExportTree(HKEY key, const std::u16string& fullName, std::string* out) {
    *out += "[" + jxtext::Utf16ToUtf8(fullName) + "]\n";
    if (!_RegExportValues(key, out))
        return false;
    *out += "\n";
    std::vector<std::u16string> subkeys;
    for (DWORD index = 0;; ++index) {
        char16_t name[256];
        DWORD length = 256;
        LSTATUS status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return false;
        subkeys.emplace_back(name, length);
    }
    for (const std::u16string& subkey : subkeys) {
        HKEY child = nullptr;
        // The view of key passes on to its subkeys.
        if (RegOpenKeyExW(key, subkey.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue; // deleted meanwhile
        bool written = _RegExportTree(child, fullName + u"\\" + subkey, out);
        RegCloseKey(child);
        if (!written)
            return false;
    }
    return true;
}

} // namespace

std::string ExportRegistryKey(HKEY root, std::u16string_view path, REGSAM view) {
    const char* rootName = _RegRootName(root);
    if (!rootName) {
        fprintf(stderr, "jxmachine: not a registry root key\n");
        return "";
    }
    std::u16string keyPath(path);
    while (!keyPath.empty() && keyPath.back() == u'\\')
        keyPath.pop_back();
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | (view & KEY_WOW64_RES), &key);
    if (status != ERROR_SUCCESS) {
        fprintf(stderr, "jxmachine: cannot open %s\\%s (error %d)\n", rootName,
                jxtext::Utf16ToUtf8(keyPath).c_str(), static_cast<int>(status));
        return "";
    }
    std::u16string fullName = jxtext::Utf8ToUtf16(rootName);
    if (!keyPath.empty())
        fullName += u"\\" + keyPath;
    std::string out = "Windows Registry Editor Version 5.00\n\n";
    bool written = _RegExportTree(key, fullName, &out);
    RegCloseKey(key);
    if (!written) {
        fprintf(stderr, "jxmachine: reading %s failed\n", jxtext::Utf16ToUtf8(fullName).c_str());
        return "";
    }
    return out;
}

} // namespace jxtools

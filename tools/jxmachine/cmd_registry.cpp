// jxmachine reg and set: the registry of the machine.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "jxmachine/commands.h"
#include "jxmachine/reg_export.h"
#include "jxplat/text.h"

namespace {

using jxtools::Usage;

bool SplitRoot(const std::string& key, HKEY& root, std::u16string& path) {
    static const struct {
        const char* name;
        HKEY root;
    } roots[] = {
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKLM", HKEY_LOCAL_MACHINE},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKCU", HKEY_CURRENT_USER},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_USERS", HKEY_USERS},
        {"HKU", HKEY_USERS},
    };
    std::u16string wide = jxtext::Utf8ToUtf16(key);
    size_t slash = wide.find_first_of(u"\\/");
    std::u16string head = wide.substr(0, slash);
    for (const auto& r : roots) {
        if (jxtext::EqualsNoCase(head, jxtext::Utf8ToUtf16(r.name))) {
            root = r.root;
            path = slash == std::u16string::npos ? u"" : wide.substr(slash + 1);
            for (char16_t& c : path)
                if (c == u'/')
                    c = u'\\';
            return true;
        }
    }
    return false;
}

// The arguments from `from` on: none, or "--view 32" or "--view 64". False for anything else.
bool ParseView(int argc, char** argv, int from, REGSAM& view) {
    view = 0;
    if (from == argc)
        return true;
    if (from + 2 != argc || std::strcmp(argv[from], "--view") != 0)
        return false;
    if (std::strcmp(argv[from + 1], "64") == 0)
        view = KEY_WOW64_64KEY;
    else if (std::strcmp(argv[from + 1], "32") == 0)
        view = KEY_WOW64_32KEY;
    else
        return false;
    return true;
}

int PrintRegistry(int argc, char** argv, int i) {
    REGSAM view = 0;
    if (!ParseView(argc, argv, i + 1, view))
        return Usage();
    HKEY root = nullptr;
    std::u16string path;
    if (!SplitRoot(argv[i], root, path)) {
        std::fprintf(stderr, "jxmachine: unknown registry root in %s\n", argv[i]);
        return Usage();
    }
    std::string text = jxtools::ExportRegistryKey(root, path, view);
    if (text.empty()) {
        std::fprintf(stderr, "jxmachine: the key %s cannot be read\n", argv[i]);
        return 1;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int SetValue(int argc, char** argv, int i) {
    REGSAM view = 0;
    if (!ParseView(argc, argv, i + 3, view))
        return Usage();
    HKEY root = nullptr;
    std::u16string path;
    if (!SplitRoot(argv[i], root, path)) {
        std::fprintf(stderr, "jxmachine: unknown registry root in %s\n", argv[i]);
        return Usage();
    }
    const std::u16string name = jxtext::Utf8ToUtf16(argv[i + 1]);
    const std::string data = argv[i + 2];
    // The value is made from the text before the key is touched: a wrong text writes nothing.
    DWORD type = REG_SZ;
    std::vector<BYTE> bytes;
    if (data.rfind("dword:", 0) == 0) {
        const std::string digits = data.substr(6);
        char* end = nullptr;
        errno = 0;
        const unsigned long long number = std::strtoull(digits.c_str(), &end, 0);
        if (digits.empty() || digits[0] == '-' || *end != 0 || errno != 0 || number > 0xFFFFFFFFull) {
            std::fprintf(stderr, "jxmachine: \"%s\" is no DWORD (a number from 0 to 4294967295)\n",
                         digits.c_str());
            return Usage();
        }
        const DWORD value = static_cast<DWORD>(number);
        type = REG_DWORD;
        bytes.assign(reinterpret_cast<const BYTE*>(&value),
                     reinterpret_cast<const BYTE*>(&value) + sizeof(value));
    } else if (data.rfind("sz:", 0) == 0) {
        const std::u16string text = jxtext::Utf8ToUtf16(data.substr(3));
        bytes.assign(reinterpret_cast<const BYTE*>(text.c_str()),
                     reinterpret_cast<const BYTE*>(text.c_str() + text.size() + 1));
    } else {
        return Usage();
    }
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | view,
                                  nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "jxmachine: writing %s failed with error %d\n", argv[i],
                     static_cast<int>(status));
        return 1;
    }
    return 0;
}

jxtools::JxMachineCommand
    g_Reg("reg",
          "reg KEY [--view 32|64]   print a registry key tree as .reg text (REGEDIT5)\n"
          "                           KEY starts with HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU),\n"
          "                           HKEY_CLASSES_ROOT (HKCR) or HKEY_USERS (HKU)",
          PrintRegistry, 1, 3);
jxtools::JxMachineCommand g_Set("set",
                                "set KEY NAME dword:N|sz:TEXT [--view 32|64]\n"
                                "                           write one registry value (creating the key)",
                                SetValue, 3, 5);

} // namespace

// jxmachine reg and set: the registry of the machine.
#include <cstdio>
#include <cstring>
#include <string>

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

REGSAM ParseView(int argc, char** argv, int from) {
    for (int j = from; j + 1 < argc; ++j) {
        if (std::strcmp(argv[j], "--view") == 0)
            return std::strcmp(argv[j + 1], "64") == 0 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    }
    return 0;
}

int PrintRegistry(int argc, char** argv, int i) {
    if (i >= argc)
        return Usage();
    HKEY root = nullptr;
    std::u16string path;
    if (!SplitRoot(argv[i], root, path)) {
        std::fprintf(stderr, "jxmachine: unknown registry root in %s\n", argv[i]);
        return 2;
    }
    std::string text = jxtools::ExportRegistryKey(root, path, ParseView(argc, argv, i + 1));
    if (text.empty()) {
        std::fprintf(stderr, "jxmachine: the key %s cannot be read\n", argv[i]);
        return 1;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int SetValue(int argc, char** argv, int i) {
    if (i + 2 >= argc)
        return Usage();
    HKEY root = nullptr;
    std::u16string path;
    if (!SplitRoot(argv[i], root, path)) {
        std::fprintf(stderr, "jxmachine: unknown registry root in %s\n", argv[i]);
        return 2;
    }
    std::u16string name = jxtext::Utf8ToUtf16(argv[i + 1]);
    std::string data = argv[i + 2];
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE | ParseView(argc, argv, i + 3), nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        if (data.rfind("dword:", 0) == 0) {
            DWORD value = jxtext::ParseUInt32(jxtext::Utf8ToUtf16(data.substr(6)), 0);
            status = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                    sizeof(value));
        } else if (data.rfind("sz:", 0) == 0) {
            std::u16string text = jxtext::Utf8ToUtf16(data.substr(3));
            status = RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                    static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
        } else {
            RegCloseKey(key);
            return Usage();
        }
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
          PrintRegistry);
jxtools::JxMachineCommand g_Set("set",
                                "set KEY NAME dword:N|sz:TEXT [--view 32|64]\n"
                                "                           write one registry value (creating the key)",
                                SetValue);

} // namespace

// One-call registry helper: each operation opens a key, does one read, write or delete, closes
// the key and reports the outcome. The caller names the registry view explicitly (0,
// KEY_WOW64_64KEY or KEY_WOW64_32KEY); the helper never adds view bits of its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

enum class CRegStringType { Sz, ExpandSz };

class CReg {
public:
    static std::u16string GetStringFromRegistry(HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                                                const std::u16string& defaultValue, REGSAM view);
    static DWORD GetIntFromRegistry(HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                                    DWORD defaultValue, REGSAM view);
    static std::vector<std::u16string> GetMultiStringFromRegistryVec(HKEY root, const WCHAR* subKey,
                                                                     const WCHAR* valueName, REGSAM view);
    static bool IsValidPath(HKEY root, const WCHAR* subKey, REGSAM view);
    static bool ValueExists(HKEY root, const WCHAR* subKey, const WCHAR* valueName, REGSAM view);

    // Win32 code of the create or the write, 0 on success.
    static LONG PutStringToRegistry(HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                                    const std::u16string& text, CRegStringType type, REGSAM view);
    static LONG PutIntToRegistry(HKEY root, const WCHAR* subKey, const WCHAR* valueName, DWORD value,
                                 REGSAM view);
    // False with the Win32 code as the last error.
    static bool PutMultiStringToRegistryVec(HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                                            const std::vector<std::u16string>& texts, REGSAM view);

    static bool DeleteValueFromRegistry(HKEY root, const WCHAR* subKey, const WCHAR* valueName, REGSAM view);
    // Deletes the child key of the parent; a key with sub-keys stays (false), an empty name deletes nothing.
    static bool DeleteKeyFromRegistry(HKEY root, const WCHAR* parentSubKey, const WCHAR* keyName,
                                      REGSAM view);

    // Variants whose sub-key is a path below the product registry root.
    static std::u16string GetProductStringFromRegistry(HKEY root, const WCHAR* subPath,
                                                       const WCHAR* valueName,
                                                       const std::u16string& defaultValue, REGSAM view);
    static DWORD GetProductIntFromRegistry(HKEY root, const WCHAR* subPath, const WCHAR* valueName,
                                           DWORD defaultValue, REGSAM view);
    static bool DeleteProductValueFromRegistry(HKEY root, const WCHAR* subPath, const WCHAR* valueName,
                                               REGSAM view);
};

// "Software\Tolvane", or "Software\Tolvane\" + sub-path.
std::u16string GetProductRegistryPath(const WCHAR* subPath);

// Raw data of one value when its type is the accepted one; always ends with a UTF-16 zero.
std::optional<std::vector<BYTE>> ReadRegistryValueData(HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                                                       REGSAM view, DWORD acceptedType);
// The non-empty texts of a REG_MULTI_SZ value.
std::optional<std::vector<std::u16string>> ReadRegistryMultiString(HKEY root, const WCHAR* subKey,
                                                                   const WCHAR* valueName, REGSAM view);

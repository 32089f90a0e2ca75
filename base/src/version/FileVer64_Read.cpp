// The version of a program file, read from its version resource.
#include <cstring>
#include <vector>

#include "jxbase/FileVer64.h"
#include "jxbase/trace.h"
#include "jxplat/text.h"

bool FileVer64::ReadFromFile(LPCWSTR path, bool fileVersion) {
    m_value = 0;
    if (!path)
        return false;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) {
        JX_QRV_TRACE(2, u"FileVer64::ReadFromFile", u"No version information in %s (%lu).", path,
                     GetLastError());
        return false;
    }
    std::vector<BYTE> info(size);
    if (!GetFileVersionInfoW(path, handle, size, info.data())) {
        JX_QRV_TRACE(1, u"FileVer64::ReadFromFile", u"Cannot read the version information of %s (%lu).", path,
                     GetLastError());
        return false;
    }

    LPVOID value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), u"\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO)) {
        VS_FIXEDFILEINFO fixed;
        std::memcpy(&fixed, value, sizeof fixed); // the copy keeps no alignment promise
        m_value = fileVersion
                      ? (static_cast<ULONGLONG>(fixed.dwFileVersionMS) << 32) | fixed.dwFileVersionLS
                      : (static_cast<ULONGLONG>(fixed.dwProductVersionMS) << 32) | fixed.dwProductVersionLS;
        return true;
    }
    if (_Read_FromStrings(info.data(), fileVersion))
        return true;
    JX_QRV_TRACE(2, u"FileVer64::ReadFromFile", u"No usable version in %s.", path);
    return false;
}

// The first version text of the translations, in their order, that parses.
bool FileVer64::_Read_FromStrings(const BYTE* info, bool fileVersion) {
    LPVOID table = nullptr;
    UINT tableBytes = 0;
    if (!VerQueryValueW(info, u"\\VarFileInfo\\Translation", &table, &tableBytes) || !table)
        return false;
    const BYTE* pairs = static_cast<const BYTE*>(table);
    for (UINT at = 0; at + 4 <= tableBytes; at += 4) {
        WORD language = 0, codePage = 0;
        std::memcpy(&language, pairs + at, sizeof language);
        std::memcpy(&codePage, pairs + at + 2, sizeof codePage);
        const std::u16string name = jxtext::Format(u"\\StringFileInfo\\%04X%04X\\%s", language, codePage,
                                                   fileVersion ? u"FileVersion" : u"ProductVersion");
        LPVOID text = nullptr;
        UINT characters = 0;
        if (!VerQueryValueW(info, name.c_str(), &text, &characters) || !text)
            continue;
        std::u16string version;
        const BYTE* units = static_cast<const BYTE*>(text);
        for (UINT i = 0; i < characters; ++i) {
            char16_t unit;
            std::memcpy(&unit, units + 2 * i, sizeof unit);
            if (unit == 0)
                break;
            version += unit;
        }
        DWORD parts[4];
        if (!ParseVersionParts(version, parts, 4))
            continue;
        *this = FileVer64(static_cast<WORD>(parts[0]), static_cast<WORD>(parts[1]),
                          static_cast<WORD>(parts[2]), static_cast<WORD>(parts[3]));
        return m_value != 0;
    }
    return false;
}

// The shell-link file layout: a link's data to bytes and back.
//
// Written: the 76-byte header (link CLSID, flags, the target's attributes, times and size, icon
// index, show command, hot key), a LinkInfo with a fixed volume and the local base path in ANSI and
// UTF-16, the string data as counted UTF-16 (description, relative path, working folder,
// arguments, icon location), a property-store block when the link has properties, and the
// terminal block. Read: the same, skipping an item-id list and extra blocks it does not know.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jxplat/fileapi.h"
#include "jxplat/propsys.h"

namespace jxplat {

// A text property of a link (the stand-in keeps VT_LPWSTR values only).
struct CLinkProperty {
    PROPERTYKEY key{};
    std::u16string value;
};

struct CLinkData {
    std::u16string target;
    std::u16string description;
    std::u16string relativePath;
    std::u16string workingDir;
    std::u16string arguments;
    std::u16string iconPath;
    int iconIndex = 0;
    int showCmd = 1; // SW_SHOWNORMAL
    WORD hotkey = 0;
    DWORD fileAttributes = 0;
    DWORD fileSize = 0;
    FILETIME creationTime{};
    FILETIME accessTime{};
    FILETIME writeTime{};
    std::vector<CLinkProperty> properties;
};

std::vector<uint8_t> SerializeLink(const CLinkData& link);
// False for data that is not a well-formed shell link (every offset and count is checked).
bool ParseLink(const std::vector<uint8_t>& bytes, CLinkData& link);

} // namespace jxplat

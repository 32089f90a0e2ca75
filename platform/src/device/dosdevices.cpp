// DOS device names from the machine description, the machine's drives and its Windows folders.
#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>

#include "jxplat/dosdevices.h"
#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"

namespace {

std::atomic<DWORD> g_FilterCalls{0};

// Copies the text with its zero; the length without it, or the size needed with it.
UINT _dos_CopyOut(const std::u16string& text, LPWSTR buffer, UINT size) {
    if (!buffer || size <= text.size())
        return static_cast<UINT>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    return static_cast<UINT>(text.size());
}

} // namespace

DWORD QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD max) {
    std::u16string list;
    for (const jxplat::MachineDosDevice& device : jxplat::Machine().dosDevices) {
        const std::u16string name = jxtext::Utf8ToUtf16(device.name);
        if (!deviceName) {
            list += name;
            list += u'\0';
        } else if (jxtext::EqualsNoCase(name, deviceName)) {
            list = jxtext::Utf8ToUtf16(device.target);
            list += u'\0';
            break;
        }
    }
    if (list.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    list += u'\0';
    if (!targetPath || max < list.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(targetPath, list.data(), list.size() * sizeof(WCHAR));
    return static_cast<DWORD>(list.size());
}

DWORD GetLogicalDrives() {
    DWORD drives = 1u << 25; // Z:, the host
    std::error_code ec;
    for (char letter = 'a'; letter < 'z'; ++letter)
        if (std::filesystem::is_directory(jxplat::MachinePath(std::string("drive_") + letter), ec))
            drives |= 1u << (letter - 'a');
    return drives;
}

UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size) {
    return _dos_CopyOut(u"C:\\Windows", buffer, size);
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
    return _dos_CopyOut(u"C:\\Windows\\system32", buffer, size);
}

HRESULT FilterGetDosName(LPCWSTR volumeName, LPWSTR dosName, DWORD dosNameBufferSize) {
    ++g_FilterCalls;
    if (!volumeName || !dosName)
        return E_INVALIDARG;
    for (const jxplat::MachineDosDevice& device : jxplat::Machine().dosDevices) {
        if (!jxtext::EqualsNoCase(jxtext::Utf8ToUtf16(device.target), volumeName))
            continue;
        const std::u16string name = jxtext::Utf8ToUtf16(device.name);
        if (dosNameBufferSize <= name.size())
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(dosName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
        return S_OK;
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

namespace jxplat {
DWORD FilterGetDosNameCalls() {
    return g_FilterCalls.load();
}
} // namespace jxplat

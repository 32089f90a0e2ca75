#include "jxbase/trace.h"

#include "jxbase/reg.h"
#include "jxplat/text.h"

int g_JxSetupEngineLibDebugLevel = 0;

void DebugTraceV(const WCHAR* format, va_list args) {
    // At most 4095 characters and the terminator; a longer message is cut, never an error.
    WCHAR buffer[4096];
    buffer[0] = 0;
    jxtext::FormatToBuffer(buffer, 4096, format, args);
    OutputDebugStringW(buffer);
}

void DebugTrace(const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    DebugTraceV(format, args);
    va_end(args);
}

void ReadDebugLevel() {
    const std::u16string path = GetProductRegistryPath(u"JxSetupEngine");
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD level = 0;
    DWORD size = sizeof(level);
    if (RegQueryValueExW(key, u"DebugLevel", nullptr, nullptr, reinterpret_cast<BYTE*>(&level), &size) !=
        ERROR_SUCCESS)
        level = 0;
    g_JxSetupEngineLibDebugLevel = static_cast<int>(level);
    RegCloseKey(key);
}

int QrvDebugLevel() {
    // Read on first use rather than before main, so the registry is ready when it is asked.
    static const int level = static_cast<int>(
        CReg::GetProductIntFromRegistry(HKEY_LOCAL_MACHINE, u"QrvScanP", u"DebugLevel", 0, 0));
    return level;
}

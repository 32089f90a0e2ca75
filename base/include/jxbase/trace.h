// Developer traces to the debugger output. The sink does not filter: each component keeps its own
// level and tests it against the call site's threshold before it calls the sink, so a disabled
// trace costs one comparison.
#pragma once

#include <cstdarg>

#include <windows.h>

void DebugTrace(const WCHAR* format, ...);
void DebugTraceV(const WCHAR* format, va_list args);

// The engine library's level: "DebugLevel" of the engine's key, read by ReadDebugLevel.
extern int g_JxSetupEngineLibDebugLevel;
void ReadDebugLevel();

// The base library's level ("DebugLevel" of the scanner key), read on first use.
int QrvDebugLevel();

// A trace line of the engine library when its level is above the call site's threshold.
#define JX_ENGINE_TRACE(threshold, context, format, ...)                                                     \
    do {                                                                                                     \
        if (g_JxSetupEngineLibDebugLevel > (threshold))                                                      \
            DebugTrace(u"(%u) JxSetupEngineLib: " context u"(): " format, GetCurrentThreadId(),              \
                       ##__VA_ARGS__);                                                                       \
    } while (0)

#define JX_QRV_TRACE(threshold, context, format, ...)                                                        \
    do {                                                                                                     \
        if (QrvDebugLevel() > (threshold))                                                                   \
            DebugTrace(u"(%u) Qrv: " context u"(): " format, GetCurrentThreadId(), ##__VA_ARGS__);           \
    } while (0)

// Trace lines of the package store: "(%u) VirtualFS: <context>(): <message>" when the package
// store's level (g_VirtualFSDebugLevel, the engine's "DebugLevel") is at least `level`.
#pragma once

#include "jxbase/trace.h"

extern int g_VirtualFSDebugLevel;

#define JX_PKG_TRACE(level, context, format, ...)                                                            \
    do {                                                                                                     \
        if (g_VirtualFSDebugLevel >= (level))                                                                \
            DebugTrace(u"(%u) VirtualFS: " context u"(): " format, GetCurrentThreadId(), ##__VA_ARGS__);     \
    } while (0)

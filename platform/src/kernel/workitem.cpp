// Work items of the legacy thread pool: each runs on a detached host thread of its own.
#include <thread>

#include "jxplat/errhandling.h"
#include "jxplat/threadpool.h"
#include "jxplat/winerror.h"

BOOL QueueUserWorkItem(LPTHREAD_START_ROUTINE function, PVOID context, ULONG) {
    if (!function) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        std::thread([function, context] { function(context); }).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

// The legacy thread-pool work item (QueueUserWorkItem). The stand-in runs each work item on a
// thread of its own; the flags are accepted and change nothing.
#pragma once

#include "jxplat/winbase.h"

#define WT_EXECUTEDEFAULT 0x00000000
#define WT_EXECUTELONGFUNCTION 0x00000010
#define WT_TRANSFER_IMPERSONATION 0x00000100

BOOL QueueUserWorkItem(LPTHREAD_START_ROUTINE function, PVOID context, ULONG flags);

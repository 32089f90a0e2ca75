// Singly linked lists whose push and pop are atomic (the kernel's SLIST). The entries live inside
// the caller's objects; the list only links them.
#pragma once

#include "jxplat/wintypes.h"

typedef struct _SLIST_ENTRY {
    struct _SLIST_ENTRY* Next;
} SLIST_ENTRY, *PSLIST_ENTRY;

typedef struct _SLIST_HEADER {
    PSLIST_ENTRY Next;
    WORD Depth;
    volatile LONG Busy; // the stand-in's guard of one push or pop
} SLIST_HEADER, *PSLIST_HEADER;

void InitializeSListHead(PSLIST_HEADER head);
PSLIST_ENTRY InterlockedPushEntrySList(PSLIST_HEADER head, PSLIST_ENTRY entry);
PSLIST_ENTRY InterlockedPopEntrySList(PSLIST_HEADER head);
// Takes the whole list at once; the entries stay linked to each other.
PSLIST_ENTRY InterlockedFlushSList(PSLIST_HEADER head);
USHORT QueryDepthSList(PSLIST_HEADER head);

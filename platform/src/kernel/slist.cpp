// The atomic singly linked list. Each push or pop holds the header's busy word for a few
// instructions, which makes the operations atomic towards each other without an ABA hazard.
#include <thread>

#include "jxplat/interlockedapi.h"

namespace {

class CSListHold {
public:
    explicit CSListHold(PSLIST_HEADER head) : m_busy(const_cast<LONG*>(&head->Busy)) {
        LONG expected = 0;
        while (
            !__atomic_compare_exchange_n(m_busy, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) {
            expected = 0;
            std::this_thread::yield();
        }
    }
    ~CSListHold() { __atomic_store_n(m_busy, 0, __ATOMIC_RELEASE); }
    CSListHold(const CSListHold&) = delete;
    CSListHold& operator=(const CSListHold&) = delete;

private:
    LONG* m_busy;
};

} // namespace

void InitializeSListHead(PSLIST_HEADER head) {
    head->Next = nullptr;
    head->Depth = 0;
    head->Busy = 0;
}

PSLIST_ENTRY InterlockedPushEntrySList(PSLIST_HEADER head, PSLIST_ENTRY entry) {
    CSListHold hold(head);
    PSLIST_ENTRY previous = head->Next;
    entry->Next = previous;
    head->Next = entry;
    ++head->Depth;
    return previous;
}

PSLIST_ENTRY InterlockedPopEntrySList(PSLIST_HEADER head) {
    CSListHold hold(head);
    PSLIST_ENTRY first = head->Next;
    if (first) {
        head->Next = first->Next;
        --head->Depth;
    }
    return first;
}

PSLIST_ENTRY InterlockedFlushSList(PSLIST_HEADER head) {
    CSListHold hold(head);
    PSLIST_ENTRY first = head->Next;
    head->Next = nullptr;
    head->Depth = 0;
    return first;
}

USHORT QueryDepthSList(PSLIST_HEADER head) {
    CSListHold hold(head);
    return head->Depth;
}

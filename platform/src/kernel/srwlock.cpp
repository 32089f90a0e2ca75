// Slim reader/writer locks on their one word (see winbase.h for the bits). A waiting writer sets
// the writer-waiting bit, which keeps new readers out until it has had its turn, so a steady
// stream of readers cannot starve it. Waiters sleep on the word with C++20 atomic wait.
#include <atomic>

#include "jxplat/winbase.h"

namespace {

constexpr uintptr_t kWriter = 1;
constexpr uintptr_t kWriterWaiting = 2;
constexpr uintptr_t kReader = 4;

std::atomic_ref<uintptr_t> _SrwWord(PSRWLOCK lock) {
    static_assert(sizeof(PVOID) == sizeof(uintptr_t));
    return std::atomic_ref<uintptr_t>(*reinterpret_cast<uintptr_t*>(&lock->Ptr));
}

} // namespace

void InitializeSRWLock(PSRWLOCK lock) {
    lock->Ptr = nullptr;
}

void AcquireSRWLockExclusive(PSRWLOCK lock) {
    auto word = _SrwWord(lock);
    uintptr_t value = word.load();
    for (;;) {
        if ((value & ~kWriterWaiting) == 0) {
            // Free: take it. This clears the waiting bit; other waiting writers set it again.
            if (word.compare_exchange_weak(value, kWriter))
                return;
        } else if (!(value & kWriterWaiting)) {
            word.compare_exchange_weak(value, value | kWriterWaiting);
        } else {
            word.wait(value);
            value = word.load();
        }
    }
}

void AcquireSRWLockShared(PSRWLOCK lock) {
    auto word = _SrwWord(lock);
    uintptr_t value = word.load();
    for (;;) {
        if (!(value & (kWriter | kWriterWaiting))) {
            if (word.compare_exchange_weak(value, value + kReader))
                return;
        } else {
            word.wait(value);
            value = word.load();
        }
    }
}

void ReleaseSRWLockExclusive(PSRWLOCK lock) {
    auto word = _SrwWord(lock);
    word.fetch_and(~kWriter);
    word.notify_all();
}

void ReleaseSRWLockShared(PSRWLOCK lock) {
    auto word = _SrwWord(lock);
    uintptr_t before = word.fetch_sub(kReader);
    if (before < 2 * kReader) // the last reader left: a waiting writer may go
        word.notify_all();
}

BOOLEAN TryAcquireSRWLockExclusive(PSRWLOCK lock) {
    auto word = _SrwWord(lock);
    uintptr_t value = word.load();
    while ((value & ~kWriterWaiting) == 0) {
        if (word.compare_exchange_weak(value, kWriter))
            return TRUE;
    }
    return FALSE;
}

BOOLEAN TryAcquireSRWLockShared(PSRWLOCK lock) {
    auto word = _SrwWord(lock);
    uintptr_t value = word.load();
    while (!(value & (kWriter | kWriterWaiting))) {
        if (word.compare_exchange_weak(value, value + kReader))
            return TRUE;
    }
    return FALSE;
}

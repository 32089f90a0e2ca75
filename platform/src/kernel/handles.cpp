// The handle table: HANDLE values are a fixed tag in the upper bits and a running number, so they
// never collide with small integers, INVALID_HANDLE_VALUE or the registry's HKEY values, and a
// closed handle is never handed out again.
#include <unordered_map>

#include "jxplat/errhandling.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "kernel/objects.h"

namespace jxplat {
namespace {

constexpr uintptr_t kHandleTag = uintptr_t{0x4A58} << 32;
constexpr uintptr_t kHandleTagMask = ~uintptr_t{0xFFFFFFFF};

struct CKernelTable {
    std::mutex lock;
    std::condition_variable changed;
    std::unordered_map<uintptr_t, std::shared_ptr<CKernelObject>> objects;
    uintptr_t lastNumber = 0;
};

CKernelTable& Table() {
    static CKernelTable* table = new CKernelTable; // lives until the process ends, for late closers
    return *table;
}

} // namespace

std::mutex& KernelLock() {
    return Table().lock;
}

std::condition_variable& KernelCondition() {
    return Table().changed;
}

void KernelNotifyAll() {
    Table().changed.notify_all();
}

HANDLE InsertKernelHandle(std::shared_ptr<CKernelObject> object) {
    if (!object)
        return nullptr;
    CKernelTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    uintptr_t value = kHandleTag | ((++table.lastNumber << 2) & 0xFFFFFFFF);
    table.objects[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<CKernelObject> ReferenceKernelHandleLocked(HANDLE handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if ((value & kHandleTagMask) != kHandleTag)
        return nullptr;
    auto& objects = Table().objects;
    auto found = objects.find(value);
    return found == objects.end() ? nullptr : found->second;
}

std::shared_ptr<CKernelObject> ReferenceKernelHandle(HANDLE handle) {
    std::lock_guard<std::mutex> guard(Table().lock);
    return ReferenceKernelHandleLocked(handle);
}

} // namespace jxplat

BOOL CloseHandle(HANDLE object) {
    using namespace jxplat;
    std::shared_ptr<CKernelObject> closing; // released after the lock: a destructor may take it
    {
        CKernelTable& table = Table();
        std::lock_guard<std::mutex> guard(table.lock);
        auto found = table.objects.find(reinterpret_cast<uintptr_t>(object));
        if (found != table.objects.end()) {
            closing = std::move(found->second);
            table.objects.erase(found);
        }
    }
    if (!closing) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

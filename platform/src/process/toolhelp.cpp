// Toolhelp process snapshots over the machine's process table: the processes started on this
// machine root that still run, in start order.
#include <algorithm>
#include <vector>

#include "jxplat/errhandling.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/tlhelp32.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "kernel/objects.h"

namespace jxplat {
namespace {

// Guarded by KernelLock().
class CSnapshotObject : public CKernelObject {
public:
    std::vector<PROCESSENTRY32W> m_entries;
    size_t m_next = 0;
};

BOOL _th_Entry(HANDLE snapshot, LPPROCESSENTRY32W entry, bool first) {
    auto object = ReferenceKernelHandleAs<CSnapshotObject>(snapshot);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!entry || entry->dwSize != sizeof(PROCESSENTRY32W)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(KernelLock());
    if (first)
        object->m_next = 0;
    if (object->m_next >= object->m_entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *entry = object->m_entries[object->m_next++];
    return TRUE;
}

} // namespace
} // namespace jxplat

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    using namespace jxplat;
    auto snapshot = std::make_shared<CSnapshotObject>();
    if (flags & TH32CS_SNAPPROCESS) {
        for (const ProcessTableEntry& row : ReadProcessTable()) {
            if (!row.running)
                continue;
            PROCESSENTRY32W entry = {};
            entry.dwSize = sizeof(entry);
            entry.th32ProcessID = row.processId;
            entry.cntThreads = 1;
            entry.pcPriClassBase = 8;
            const size_t length = std::min<size_t>(row.name.size(), MAX_PATH - 1);
            std::copy_n(row.name.begin(), length, entry.szExeFile);
            entry.szExeFile[length] = 0;
            snapshot->m_entries.push_back(entry);
        }
    }
    SetLastError(ERROR_SUCCESS);
    return InsertKernelHandle(snapshot);
}

BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
    return jxplat::_th_Entry(snapshot, entry, true);
}

BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
    return jxplat::_th_Entry(snapshot, entry, false);
}

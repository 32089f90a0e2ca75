// Manager and service handles, and the access rights they carry.
#include <map>
#include <mutex>

#include "jxplat/errhandling.h"
#include "jxplat/ioapiset.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winnt.h"
#include "service/svc_internal.h"

namespace jxplat::svc {
namespace {

struct HandleTable {
    std::mutex lock;
    std::map<uintptr_t, std::shared_ptr<CScObject>> objects;
    uintptr_t next = 0x5C000000;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable; // lives until the process ends
    return *table;
}

DWORD _svc_MapGeneric(DWORD access, DWORD read, DWORD write, DWORD execute, DWORD all) {
    DWORD mapped = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (access & GENERIC_READ)
        mapped |= read;
    if (access & GENERIC_WRITE)
        mapped |= write;
    if (access & GENERIC_EXECUTE)
        mapped |= execute;
    if (access & GENERIC_ALL)
        mapped |= all;
    if (mapped & MAXIMUM_ALLOWED)
        mapped = (mapped & ~MAXIMUM_ALLOWED) | all;
    return mapped;
}

} // namespace

SC_HANDLE InsertScHandle(std::shared_ptr<CScObject> object) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.next += 8;
    t.objects[t.next] = std::move(object);
    return reinterpret_cast<SC_HANDLE>(t.next);
}

std::shared_ptr<CScObject> ReferenceScHandle(SC_HANDLE handle) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

bool RemoveScHandle(SC_HANDLE handle) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.objects.erase(reinterpret_cast<uintptr_t>(handle)) == 1;
}

DWORD MapManagerAccess(DWORD access) {
    return _svc_MapGeneric(
        access, STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS,
        STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG,
        STANDARD_RIGHTS_EXECUTE | SC_MANAGER_CONNECT | SC_MANAGER_LOCK, SC_MANAGER_ALL_ACCESS);
}

DWORD MapServiceAccess(DWORD access) {
    return _svc_MapGeneric(access,
                           STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                               SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS,
                           STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG,
                           STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                               SERVICE_USER_DEFINED_CONTROL,
                           SERVICE_ALL_ACCESS);
}

bool IsElevatedAdministrator() {
    const MachineDescription& machine = Machine();
    return machine.user.administrator && machine.user.elevated;
}

bool IsChangeRefused(const std::u16string& name) {
    // The product's driver lets a process that holds a connection to it change the services it
    // protects.
    if (ProcessHoldsDeviceHandle())
        return false;
    for (const std::string& refused : Machine().refusedServiceChanges)
        if (jxtext::EqualsNoCase(jxtext::Utf8ToUtf16(refused), name))
            return true;
    return false;
}

std::shared_ptr<CScObject> ServiceFromHandle(SC_HANDLE handle) {
    std::shared_ptr<CScObject> object = ReferenceScHandle(handle);
    if (!object || object->m_isManager) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

bool CheckAccess(const CScObject& object, DWORD right) {
    if ((object.m_access & right) == right)
        return true;
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

} // namespace jxplat::svc

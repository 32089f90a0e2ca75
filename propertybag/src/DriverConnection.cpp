// Driver connections: the registry of open control devices, opening them
// (waiting for the driver's ready event, starting or installing its service
// when allowed) and closing them again.
#include <cstring>

#include "jxplat/text.h"
#include "jxpropertybag/CCacheMap.h"
#include "jxpropertybag/DriverConnection.h"
#include "jxpropertybag/PropertyBag.h"
#include "jxpropertybag/SmartPool.h"

const GUID kFileManagerClassId = {
    0xAD610DA3, 0x5B78, 0x4D33, {0xA6, 0x25, 0x22, 0x84, 0xA5, 0x6F, 0x6E, 0x3E}};

namespace {

const GUID kNullClassId = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
DWORD g_ReadyWaitMs = 5000;

} // namespace

bool CGuidLess::operator()(const GUID& a, const GUID& b) const {
    if (a.Data1 != b.Data1)
        return a.Data1 < b.Data1;
    if (a.Data2 != b.Data2)
        return a.Data2 < b.Data2;
    if (a.Data3 != b.Data3)
        return a.Data3 < b.Data3;
    return std::memcmp(a.Data4, b.Data4, 8) < 0;
}

bool IsCurrentUserAdmin() {
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                  0, 0, 0, 0, &administrators))
        return false;
    BOOL member = FALSE;
    const bool tested = CheckTokenMembership(nullptr, administrators, &member) != FALSE;
    FreeSid(administrators);
    return tested && member;
}

bool IsWow64() {
    using IsWow64ProcessFn = BOOL (*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleW(u"kernel32");
    auto isWow64Process =
        kernel ? reinterpret_cast<IsWow64ProcessFn>(GetProcAddress(kernel, "IsWow64Process")) : nullptr;
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

HANDLE OpenControlDevice(std::u16string& controlDeviceName, DWORD access) {
    const std::u16string prefix = u"\\\\.\\Global\\";
    auto open = [&](const std::u16string& name) {
        return CreateFileW((prefix + name).c_str(), access, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE handle = open(controlDeviceName);
    if (handle != INVALID_HANDLE_VALUE || controlDeviceName.empty())
        return handle;
    const char16_t last = controlDeviceName.back();
    if (last < u'0' || last > u'9')
        return INVALID_HANDLE_VALUE;
    // After a failure with the digit 3: no digit, then 2, 1 and 0.
    const std::u16string stem = controlDeviceName.substr(0, controlDeviceName.size() - 1);
    std::u16string tried = stem;
    handle = open(tried);
    for (char16_t digit = last; handle == INVALID_HANDLE_VALUE && digit > u'0';) {
        --digit;
        tried = stem + digit;
        handle = open(tried);
    }
    if (handle != INVALID_HANDLE_VALUE)
        controlDeviceName = tried;
    return handle;
}

// ---- The registry
// -------------------------------------------------------------------------------------

DriverConnectionRegistry::DriverConnectionRegistry() {
    InitializeSListHead(&m_events);
}

DriverConnectionRegistry& DriverConnectionRegistry::Instance() {
    static auto* registry = new DriverConnectionRegistry; // lives to the process end
    return *registry;
}

CSmartHandle* DriverConnectionRegistry::AcquireEvent() {
    if (m_liveConnections.load() <= 0)
        return nullptr;
    if (PSLIST_ENTRY entry = InterlockedPopEntrySList(&m_events)) {
        auto* event = static_cast<CSmartHandle*>(reinterpret_cast<CPoolEntry*>(entry));
        ResetEvent(event->Get());
        return event;
    }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event ? new CSmartHandle(event) : nullptr;
}

void DriverConnectionRegistry::ReleaseEvent(CSmartHandle* event) {
    if (event)
        InterlockedPushEntrySList(&m_events, &static_cast<CPoolEntry*>(event)->m_PoolEntry);
}

DWORD DriverConnectionRegistry::AddConnection(const GUID& classId, HANDLE handle,
                                              std::shared_ptr<CSmartHandle>& holder) {
    CSharedMutexHold hold(m_mutex, true);
    std::shared_ptr<HandleMap>& handles = m_classes[classId];
    if (!handles)
        handles = std::make_shared<HandleMap>();
    DWORD id = ++m_nextId;
    while (id == kNoConnection)
        id = ++m_nextId;
    std::shared_ptr<CSmartHandle>& slot = (*handles)[static_cast<LONG>(id)];
    if (!slot)
        slot = std::make_shared<CSmartHandle>();
    slot->Attach(handle);
    holder = slot;
    ++m_liveConnections;
    return id;
}

void DriverConnectionRegistry::RemoveConnection(const GUID& classId, DWORD connectionId) {
    bool last = false;
    {
        CSharedMutexHold hold(m_mutex, true);
        auto found = m_classes.find(classId);
        if (found != m_classes.end()) {
            found->second->erase(static_cast<LONG>(connectionId));
            if (found->second->empty())
                m_classes.erase(found);
        }
        if (m_liveConnections.load() > 0)
            last = --m_liveConnections == 0;
        if (last)
            _reg_ClearClientState();
    }
}

size_t DriverConnectionRegistry::HandleCount(const GUID& classId) {
    CSharedMutexHold hold(m_mutex, false);
    auto found = m_classes.find(classId);
    return found == m_classes.end() ? 0 : found->second->size();
}

// The last disconnection frees what the clients made on the way; all of it
// comes again on use.
void DriverConnectionRegistry::_reg_ClearClientState() {
    CMHPropertyBag::FlushPools();
    CHandleHolderPool::Instance().Flush();
    delete m_volumeCache.exchange(nullptr);
    delete m_windowsDirectory.exchange(nullptr);
    m_filterGetDosName.store(nullptr);
    if (HMODULE fltLib = m_fltLib.exchange(nullptr))
        FreeLibrary(fltLib);
    PSLIST_ENTRY entry = InterlockedFlushSList(&m_events);
    while (entry) {
        PSLIST_ENTRY next = entry->Next;
        delete static_cast<CSmartHandle*>(reinterpret_cast<CPoolEntry*>(entry));
        entry = next;
    }
}

CCacheMap* DriverConnectionRegistry::VolumeCache() {
    if (CCacheMap* cache = m_volumeCache.load())
        return cache;
    auto* fresh = new CCacheMap(60, INFINITE, 0, false);
    CCacheMap* expected = nullptr;
    if (!m_volumeCache.compare_exchange_strong(expected, fresh)) {
        delete fresh;
        return expected;
    }
    return fresh;
}

std::u16string DriverConnectionRegistry::WindowsDirectory() {
    if (std::u16string* known = m_windowsDirectory.load())
        return *known;
    WCHAR buffer[256] = {};
    const UINT length = GetWindowsDirectoryW(buffer, 256);
    auto* fresh = new std::u16string(buffer, length < 256 ? length : 0);
    if (fresh->empty() || fresh->back() != u'\\')
        *fresh += u'\\';
    std::u16string* expected = nullptr;
    if (!m_windowsDirectory.compare_exchange_strong(expected, fresh)) {
        delete fresh;
        return *expected;
    }
    return *fresh;
}

PVOID DriverConnectionRegistry::FilterGetDosNameFunction() {
    if (!m_fltLib.load()) {
        HMODULE loaded = LoadLibraryA("FltLib.dll");
        if (!loaded)
            return nullptr;
        HMODULE expected = nullptr;
        if (!m_fltLib.compare_exchange_strong(expected, loaded))
            FreeLibrary(loaded); // a second loader frees its copy
        else
            m_filterGetDosName.store(reinterpret_cast<PVOID>(GetProcAddress(loaded, "FilterGetDosName")));
    }
    return m_filterGetDosName.load();
}

// ---- Clients
// ------------------------------------------------------------------------------------------

HANDLE CMHPropertyBagDevice::GetDeviceHandle() const {
    std::shared_ptr<CSmartHandle> holder = m_handle.lock();
    return holder ? holder->Get() : INVALID_HANDLE_VALUE;
}

void CMHPropertyBagDriver::SetReadyWaitForTesting(DWORD milliseconds) {
    g_ReadyWaitMs = milliseconds;
}

CMHPropertyBagDriver::CMHPropertyBagDriver(const WCHAR* name, DWORD kind, const WCHAR* controlDevice,
                                           const WCHAR* loadOrderGroup, bool master, const WCHAR* altitude)
    : m_driverName(name ? name : u""), m_kind(kind), m_loadOrderGroup(loadOrderGroup ? loadOrderGroup : u""),
      m_altitude(altitude ? altitude : u""), m_master(master),
      m_connectionId(DriverConnectionRegistry::kNoConnection) {
    if (controlDevice) {
        m_controlDevice = controlDevice;
        return;
    }
    m_controlDevice = m_driverName;
    if (m_controlDevice.size() > 2 && m_controlDevice.ends_with(u"64"))
        m_controlDevice.resize(m_controlDevice.size() - 2);
    m_controlDevice += master ? u"MasterControlDevice0" : u"ControlDevice0";
}

CMHPropertyBagDriver::~CMHPropertyBagDriver() {
    CMHPropertyBagDriver::Disconnect();
}

const GUID* CMHPropertyBagDriver::GetClassId() const {
    return &kNullClassId;
}

std::u16string CMHPropertyBagDriver::GetReadyEventName() const {
    WCHAR text[40] = {};
    StringFromGUID2(*GetClassId(), text, 40);
    return std::u16string(u"Global\\") + text;
}

bool CMHPropertyBagDriver::OpenDevice(bool start, bool install, DWORD startType, DWORD access) {
    if (GetDeviceHandle() != INVALID_HANDLE_VALUE)
        return true;
    bool awaitedReady = false;
    for (;;) {
        HANDLE handle = OpenControlDevice(m_controlDevice, access);
        if (handle != INVALID_HANDLE_VALUE) {
            std::shared_ptr<CSmartHandle> holder;
            m_connectionId =
                DriverConnectionRegistry::Instance().AddConnection(*GetClassId(), handle, holder);
            m_handle = holder;
            return true;
        }
        const DWORD openError = GetLastError();
        if (!awaitedReady) {
            awaitedReady = true;
            // A driver that is starting signals its ready event once its device is
            // there.
            if (HANDLE ready = OpenEventW(SYNCHRONIZE, FALSE, GetReadyEventName().c_str())) {
                const bool signalled = WaitForSingleObject(ready, g_ReadyWaitMs) == WAIT_OBJECT_0;
                CloseHandle(ready);
                if (signalled)
                    continue;
            }
        }
        if (install && !InstallDriverService(startType, start))
            return false;
        if (!start || !StartDriverService()) {
            if (!start)
                SetLastError(openError);
            return false;
        }
        start = install = false;
    }
}

void CMHPropertyBagDriver::Disconnect() {
    if (m_connectionId == DriverConnectionRegistry::kNoConnection)
        return;
    const DWORD id = m_connectionId;
    m_connectionId = DriverConnectionRegistry::kNoConnection;
    m_handle.reset();
    DriverConnectionRegistry::Instance().RemoveConnection(*GetClassId(), id);
}

bool CMHPropertyBagDriver::InstallDriverService(DWORD startType, bool startAfterwards) {
    WCHAR module[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::u16string source(module, length);
    source = source.substr(0, source.find_last_of(u'\\') + 1) + m_driverName + u".sys";
    HANDLE file =
        CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return true; // nothing to install
    CloseHandle(file);
    if (IsWow64())
        return false;
    WCHAR system[256] = {};
    std::u16string target(system, GetSystemDirectoryW(system, 256));
    if (target.empty() || target.back() != u'\\')
        target += u'\\';
    target += u"drivers\\" + m_driverName + u".sys";
    if (!MoveFileExW(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
        return false;
    if (startAfterwards && StartDriverService())
        return true;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return false;
    const DWORD errorControl = !m_loadOrderGroup.empty() && startType == SERVICE_BOOT_START
                                   ? SERVICE_ERROR_CRITICAL
                                   : SERVICE_ERROR_NORMAL;
    SC_HANDLE service = CreateServiceW(
        manager, m_driverName.c_str(), m_driverName.c_str(), SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
        startType, errorControl, target.c_str(),
        m_loadOrderGroup.empty() ? nullptr : m_loadOrderGroup.c_str(), nullptr, nullptr, nullptr, nullptr);
    const DWORD error = service ? ERROR_SUCCESS : GetLastError();
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (!service && error != ERROR_SERVICE_EXISTS)
        return false;
    if (m_kind != 0) {
        const std::u16string instances =
            u"System\\CurrentControlSet\\Services\\" + m_driverName + u"\\Instances";
        const std::u16string instance = m_driverName + u"0";
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, instances.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(key, u"DefaultInstance", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(instance.c_str()),
                           static_cast<DWORD>((instance.size() + 1) * 2));
            HKEY sub = nullptr;
            if (RegCreateKeyExW(key, instance.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &sub, nullptr) ==
                ERROR_SUCCESS) {
                const DWORD flags = 0;
                RegSetValueExW(sub, u"Altitude", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_altitude.c_str()),
                               static_cast<DWORD>((m_altitude.size() + 1) * 2));
                RegSetValueExW(sub, u"Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), 4);
                RegCloseKey(sub);
            }
            RegCloseKey(key);
        }
    }
    return startAfterwards ? StartDriverService() : true;
}

bool CMHPropertyBagDriver::StartDriverService() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return false;
    SC_HANDLE service = OpenServiceW(manager, m_driverName.c_str(), SERVICE_QUERY_STATUS);
    if (!service) {
        CloseServiceHandle(manager);
        return false;
    }
    SERVICE_STATUS status = {};
    const bool running =
        QueryServiceStatus(service, &status) && status.dwCurrentState >= SERVICE_START_PENDING;
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (running)
        return true;
    auto tryStart = [&](DWORD managerAccess, DWORD serviceAccess) {
        SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, managerAccess);
        SC_HANDLE svc = scm ? OpenServiceW(scm, m_driverName.c_str(), serviceAccess) : nullptr;
        const bool started = svc && StartServiceW(svc, 0, nullptr);
        const DWORD error = started ? ERROR_SUCCESS : GetLastError();
        if (svc)
            CloseServiceHandle(svc);
        if (scm)
            CloseServiceHandle(scm);
        SetLastError(error);
        return started || error == ERROR_SERVICE_ALREADY_RUNNING || error == ERROR_SERVICE_DISABLED;
    };
    return tryStart(SC_MANAGER_CONNECT, SERVICE_START) || tryStart(SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS);
}

CFileManager::~CFileManager() {
    CFileManager::Disconnect();
}

const GUID* CFileManager::GetClassId() const {
    return &kFileManagerClassId;
}

void CFileManager::Disconnect() {
    CMHPropertyBagDriver::Disconnect();
}

bool CFileManager::Connect(bool start, bool install) {
    if (OpenDevice(start, install, SERVICE_SYSTEM_START, GENERIC_READ | GENERIC_WRITE)) {
        std::shared_ptr<CMHProcessList> list;
        if (GetDriverBag(list))
            return true; // the bag goes at once, which releases it in the driver
        Disconnect();
        return false;
    }
    // The legacy driver's control device answers for the interception driver
    // where it is installed instead; this path is not confirmed through the
    // process-list bag.
    const std::u16string saved = m_controlDevice;
    m_controlDevice = m_master ? u"JxBehaveMasterControlDevice1" : u"JxBehaveControlDevice1";
    if (OpenDevice(false, false, SERVICE_SYSTEM_START, GENERIC_READ | GENERIC_WRITE))
        return true;
    m_controlDevice = saved;
    return false;
}

CProcessManager::CProcessManager(bool master)
    : CFileManager(u"JxQuorvel", 1, master ? u"QuorvelMasterControlDevice3" : u"QuorvelControlDevice3",
                   u"FSFilter Anti-Virus", master, u"328010") {}

CLegacyProcessManager::CLegacyProcessManager(bool master)
    : CMHPropertyBagDriver(u"JxBehave", 0, nullptr, nullptr, master, u"") {
    WCHAR system[256] = {};
    const std::u16string path =
        std::u16string(system, GetSystemDirectoryW(system, 256)) + u"\\drivers\\JxBehave2.sys";
    PVOID redirection = nullptr;
    const bool wow64 = IsWow64();
    if (wow64)
        Wow64DisableWow64FsRedirection(&redirection);
    const bool second = PathFileExistsW(path.c_str()) != FALSE;
    if (wow64)
        Wow64RevertWow64FsRedirection(redirection);
    if (second) {
        m_driverName = u"JxBehave2";
        m_controlDevice = master ? u"JxBehaveMasterControlDevice1" : u"JxBehaveControlDevice1";
    }
}

CLegacyProcessManager::~CLegacyProcessManager() {
    CMHPropertyBagDriver::Disconnect();
}

bool CLegacyProcessManager::Connect(bool start, bool install) {
    if (OpenDevice(start, install, SERVICE_SYSTEM_START, GENERIC_READ | GENERIC_WRITE))
        return true;
    const DWORD firstError = GetLastError();
    const std::u16string savedName = m_driverName;
    const std::u16string savedDevice = m_controlDevice;
    m_driverName = u"JxBehave2";
    m_controlDevice = m_master ? u"JxBehaveMasterControlDevice1" : u"JxBehaveControlDevice1";
    if (OpenDevice(start, install, SERVICE_SYSTEM_START, GENERIC_READ | GENERIC_WRITE))
        return true;
    if (GetLastError() == ERROR_FILE_NOT_FOUND) {
        SetLastError(firstError);
        m_driverName = savedName;
        m_controlDevice = savedDevice;
    }
    return false;
}

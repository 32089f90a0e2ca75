// Connections to the product's drivers through their control devices. Open
// device handles live in one process-wide registry shared by every client of
// the same driver class; a client object holds only a weak reference to its
// handle, so the handle closes when its registry entry goes.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include <windows.h>

#include "jxbase/sharedmutex.h"
#include "jxpropertybag/SmartObjects.h"
#include "jxpropertybag/SmartPool.h"

class CCacheMap;
class CMHPropertyBag;
class CMHProcessList;

// Whether the calling thread's token is in BUILTIN\Administrators (a filtered
// token is not).
bool IsCurrentUserAdmin();
// A 32-bit process on 64-bit Windows ("IsWow64Process" looked up in kernel32 at
// run time).
bool IsWow64();
// Opens "\\.\Global\" + name; when that fails and the name ends in a digit, the
// name without the digit and then each lower digit down to 0. The opened name
// (without the prefix) is stored back.
HANDLE OpenControlDevice(std::u16string& controlDeviceName, DWORD access);

// GUIDs ordered by their first 32-bit field, the two 16-bit fields, then the
// last eight bytes.
struct CGuidLess {
    bool operator()(const GUID& a, const GUID& b) const;
};

// Handle holders kept for reuse, at most 64. No client takes holders from it yet; the last
// disconnection empties it with the pools of values and caches.
using CHandleHolderPool = SmartPoolAllocator<CSmartHandle, 64>;

class DriverConnectionRegistry {
public:
    static DriverConnectionRegistry& Instance();

    using HandleMap = std::map<LONG, std::shared_ptr<CSmartHandle>>;
    static constexpr DWORD kNoConnection = 0;

    // A completion event (manual reset, not signalled) from the pool; null while
    // no driver connection exists. Give it back with ReleaseEvent.
    CSmartHandle* AcquireEvent();
    void ReleaseEvent(CSmartHandle* event);

    // Adds an opened handle for the class; the new connection id and the holder.
    DWORD AddConnection(const GUID& classId, HANDLE handle, std::shared_ptr<CSmartHandle>& holder);
    void RemoveConnection(const GUID& classId, DWORD connectionId);
    LONG LiveConnections() const { return m_liveConnections.load(); }
    size_t HandleCount(const GUID& classId);
    // Tests start the id counter near its wrap.
    void SetNextConnectionIdForTesting(DWORD next) { m_nextId.store(next - 1); }

    Jxlockprimitives_legacy::CSharedMutex& Mutex() { return m_mutex; }
    // The path conversion's members, created on first use under the registry's
    // lock and dropped by the last disconnection.
    CCacheMap* VolumeCache();
    std::u16string WindowsDirectory();
    PVOID FilterGetDosNameFunction();
    std::atomic<LONG>& PathCallCounter() { return m_pathCalls; }

private:
    DriverConnectionRegistry();
    void _reg_ClearClientState();

    SLIST_HEADER m_events;
    Jxlockprimitives_legacy::CSharedMutex m_mutex;
    std::atomic<CCacheMap*> m_volumeCache{nullptr};
    std::atomic<std::u16string*> m_windowsDirectory{nullptr};
    std::atomic<HMODULE> m_fltLib{nullptr};
    std::atomic<PVOID> m_filterGetDosName{nullptr};
    std::atomic<LONG> m_liveConnections{0};
    std::atomic<DWORD> m_nextId{0};
    std::atomic<LONG> m_pathCalls{0};
    std::map<GUID, std::shared_ptr<HandleMap>, CGuidLess> m_classes;
};

class CMHPropertyBagDevice {
public:
    virtual ~CMHPropertyBagDevice() = default;
    virtual const GUID* GetClassId() const = 0;
    // The device handle of the live connection, or INVALID_HANDLE_VALUE.
    virtual HANDLE GetDeviceHandle() const;
    const std::weak_ptr<CSmartHandle>& HandleReference() const { return m_handle; }

protected:
    std::weak_ptr<CSmartHandle> m_handle;
};

class CMHPropertyBagDriver : public CMHPropertyBagDevice {
public:
    // kind: 0 a legacy driver, 1 a file-system minifilter. A null control device
    // gives the default name: the driver name (without a trailing "64") and
    // "MasterControlDevice0" or "ControlDevice0".
    CMHPropertyBagDriver(const WCHAR* name, DWORD kind, const WCHAR* controlDevice,
                         const WCHAR* loadOrderGroup, bool master, const WCHAR* altitude);
    ~CMHPropertyBagDriver() override;

    const GUID* GetClassId() const override;
    bool OpenDevice(bool start, bool install, DWORD startType, DWORD access);
    virtual void Disconnect();
    bool InstallDriverService(DWORD startType, bool startAfterwards);
    bool StartDriverService();
    std::u16string GetReadyEventName() const;

    const std::u16string& DriverName() const { return m_driverName; }
    const std::u16string& ControlDeviceName() const { return m_controlDevice; }
    DWORD ConnectionId() const { return m_connectionId; }
    // Tests shorten the wait for the driver's ready event.
    static void SetReadyWaitForTesting(DWORD milliseconds);

protected:
    std::u16string m_driverName;
    std::u16string m_controlDevice;
    DWORD m_kind;
    std::u16string m_loadOrderGroup;
    std::u16string m_altitude;
    bool m_master;
    DWORD m_connectionId;
};

// The client of the interception (minifilter) driver.
class CFileManager : public CMHPropertyBagDriver {
public:
    using CMHPropertyBagDriver::CMHPropertyBagDriver;
    ~CFileManager() override;

    const GUID* GetClassId() const override;
    // Connects and confirms the connection by reading the driver's process-list
    // bag.
    bool Connect(bool start, bool install);
    void Disconnect() override;

    bool GetDriverBag(std::shared_ptr<CMHProcessList>& bag);
    bool GetBagByName(const GUID& name, std::shared_ptr<CMHPropertyBag>& bag);
    // Asks the driver to trust this process, trying for up to `timeoutSeconds`;
    // an event, when given, ends the waiting early.
    bool RequestTrust(DWORD timeoutSeconds, HANDLE event = nullptr);
};

class CProcessManager : public CFileManager {
public:
    explicit CProcessManager(bool master);
};

// The client of the legacy behaviour driver.
class CLegacyProcessManager : public CMHPropertyBagDriver {
public:
    explicit CLegacyProcessManager(bool master);
    ~CLegacyProcessManager() override;
    bool Connect(bool start, bool install);
};

extern const GUID kFileManagerClassId; // {AD610DA3-5B78-4D33-A625-2284A56F6E3E}

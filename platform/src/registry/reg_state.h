// The registry's state in this process: one lock that serializes every registry call, the hive
// connections, the handle table, and what the registry needs to know of the machine.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "registry/reg_hive.h"
#include "registry/reg_types.h"

namespace jxplat::registry {

// The machine as the registry sees it, read once per machine root.
struct CRegMachine {
    bool is64Bit = true;
    bool elevatedAdministrator = true;
    std::u16string userSid;
};

class JxRegState;

// One registry call: holds the registry lock, and at its end closes the read transactions that
// the call's reads of each hive shared.
class CRegCall {
public:
    explicit CRegCall(JxRegState& state);
    ~CRegCall();
    CRegCall(const CRegCall&) = delete;
    CRegCall& operator=(const CRegCall&) = delete;

private:
    JxRegState& m_state;
};

class JxRegState {
public:
    // The process's registry state (made on first use; it lives until the process ends).
    static JxRegState& Get();

    // Every registry call runs inside one of these.
    CRegCall Enter() { return CRegCall(*this); }

    // The following need the lock.
    JxRegHive& Hive(RegHiveId id);
    const CRegMachine& Machine();
    HKEY AddHandle(std::shared_ptr<CRegKey> key);
    std::shared_ptr<CRegKey> FindHandle(HKEY handle) const;
    bool RemoveHandle(HKEY handle);
    // The id of the loaded hive whose file is at hostPath (its connection is made on first use).
    RegHiveId LoadedHive(const std::string& hostPath);
    // Closes a loaded hive's connection and forgets it (after RegUnLoadKeyW).
    void DropLoadedHive(RegHiveId id);
    // Whether an open handle of this process is a key of the hive.
    bool HasHandlesIn(RegHiveId id) const;
    // The user's hive key (HKEY_USERS\<SID>) and its Classes key exist once this is set.
    bool UserKeysReady() const { return m_userKeysReady; }
    void SetUserKeysReady() { m_userKeysReady = true; }

private:
    friend class CRegCall;
    JxRegState();
    // The machine root changed: connections, handles and the machine's description go.
    void _RegReset();
    // fork(): the child forgets the parent's connections (SQLite connections must not cross a
    // fork) and opens its own; the lock is held across the fork so that no other thread is inside
    // a registry call at that moment. A child that execs, as started programs do, keeps nothing.
    static void _RegBeforeFork();
    static void _RegAfterForkInParent();
    static void _RegAfterForkInChild();

    std::mutex m_lock;
    std::unique_ptr<JxRegHive> m_hives[kRegHiveCount];
    std::unordered_map<int, std::unique_ptr<JxRegHive>> m_loadedHives;
    std::unordered_map<std::string, int> m_loadedIds; // by host path
    int m_nextLoadedHive = kRegFirstLoadedHive;
    std::unique_ptr<CRegMachine> m_machine;
    std::unordered_map<uintptr_t, std::shared_ptr<CRegKey>> m_handles;
    uintptr_t m_nextHandle = 0x1000;
    bool m_userKeysReady = false;
};

} // namespace jxplat::registry

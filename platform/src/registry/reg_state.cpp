// The registry's state in this process.
#include "registry/reg_state.h"

#include <pthread.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"

namespace jxplat::registry {

namespace {

// Handle values are multiples of 4 counted up from m_nextHandle and never reused in a process,
// so a stale handle cannot reach a later key.
constexpr uintptr_t kRegHandleStep = 4;

const char* _RegHiveFile(RegHiveId id) {
    return id == RegHiveId::Machine ? "registry/HKLM.db" : "registry/HKU.db";
}

} // namespace

JxRegState& JxRegState::Get() {
    static JxRegState* state = [] {
        auto* made = new JxRegState;
        AddMachineRootResetHook([made] {
            std::lock_guard<std::mutex> guard(made->m_lock);
            made->_RegReset();
        });
        pthread_atfork(&JxRegState::_RegBeforeFork, &JxRegState::_RegAfterForkInParent,
                       &JxRegState::_RegAfterForkInChild);
        return made;
    }();
    return *state;
}

JxRegState::JxRegState() = default;

CRegCall::CRegCall(JxRegState& state) : m_state(state) {
    m_state.m_lock.lock();
}

CRegCall::~CRegCall() {
    for (auto& hive : m_state.m_hives)
        if (hive)
            hive->EndCall();
    m_state.m_lock.unlock();
}

void JxRegState::_RegReset() {
    for (auto& hive : m_hives)
        hive.reset();
    m_loadedHives.clear();
    m_loadedIds.clear();
    m_machine.reset();
    m_handles.clear();
    m_userKeysReady = false;
}

void JxRegState::_RegBeforeFork() {
    Get().m_lock.lock();
}

void JxRegState::_RegAfterForkInParent() {
    Get().m_lock.unlock();
}

void JxRegState::_RegAfterForkInChild() {
    JxRegState& state = Get();
    for (auto& hive : state.m_hives) {
        if (hive) {
            hive->Abandon();
            hive.reset();
        }
    }
    for (auto& [id, hive] : state.m_loadedHives)
        hive->Abandon();
    state.m_loadedHives.clear();
    state.m_lock.unlock();
}

JxRegHive& JxRegState::Hive(RegHiveId id) {
    if (static_cast<int>(id) >= kRegFirstLoadedHive)
        return *m_loadedHives.at(static_cast<int>(id));
    std::unique_ptr<JxRegHive>& hive = m_hives[static_cast<int>(id)];
    if (!hive)
        hive = std::make_unique<JxRegHive>(id, MachinePath(_RegHiveFile(id)));
    return *hive;
}

const CRegMachine& JxRegState::Machine() {
    if (!m_machine) {
        const MachineDescription& description = jxplat::Machine();
        m_machine = std::make_unique<CRegMachine>();
        m_machine->is64Bit = description.is64Bit;
        m_machine->elevatedAdministrator = description.user.administrator && description.user.elevated;
        m_machine->userSid = jxtext::Utf8ToUtf16(description.user.sid);
    }
    return *m_machine;
}

RegHiveId JxRegState::LoadedHive(const std::string& hostPath) {
    auto known = m_loadedIds.find(hostPath);
    if (known != m_loadedIds.end() && m_loadedHives.count(known->second))
        return static_cast<RegHiveId>(known->second);
    const int id = m_nextLoadedHive++;
    m_loadedIds[hostPath] = id;
    m_loadedHives[id] = std::make_unique<JxRegHive>(static_cast<RegHiveId>(id), hostPath);
    return static_cast<RegHiveId>(id);
}

void JxRegState::DropLoadedHive(RegHiveId id) {
    auto found = m_loadedHives.find(static_cast<int>(id));
    if (found == m_loadedHives.end())
        return;
    m_loadedIds.erase(found->second->HostPath());
    m_loadedHives.erase(found);
}

bool JxRegState::HasHandlesIn(RegHiveId id) const {
    for (const auto& [value, key] : m_handles)
        for (const CRegLayer& layer : key->layers)
            if (layer.hive == id)
                return true;
    return false;
}

HKEY JxRegState::AddHandle(std::shared_ptr<CRegKey> key) {
    uintptr_t value = m_nextHandle;
    m_nextHandle += kRegHandleStep;
    m_handles.emplace(value, std::move(key));
    return reinterpret_cast<HKEY>(value);
}

std::shared_ptr<CRegKey> JxRegState::FindHandle(HKEY handle) const {
    auto found = m_handles.find(reinterpret_cast<uintptr_t>(handle));
    return found == m_handles.end() ? nullptr : found->second;
}

bool JxRegState::RemoveHandle(HKEY handle) {
    return m_handles.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

} // namespace jxplat::registry

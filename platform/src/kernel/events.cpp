// Events: manual-reset events stay signalled until ResetEvent, auto-reset events let exactly one
// wait through. Named events are shared by name within this process.
#include <map>
#include <string>

#include "jxplat/errhandling.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "kernel/objects.h"

namespace jxplat {
namespace {

class CEventObject : public CKernelObject {
public:
    CEventObject(bool manualReset, bool signaled) : m_manualReset(manualReset), m_signaled(signaled) {}

    bool IsWaitable() const override { return true; }
    bool IsSignaled(DWORD) const override { return m_signaled; }
    bool Satisfy(DWORD) override {
        if (!m_manualReset)
            m_signaled = false;
        return false;
    }
    void Set(bool signaled) { m_signaled = signaled; }

private:
    bool m_manualReset;
    bool m_signaled;
};

// Named events by folded name; guarded by KernelLock().
std::map<std::u16string, std::weak_ptr<CEventObject>>& _EvtNames() {
    static auto* names = new std::map<std::u16string, std::weak_ptr<CEventObject>>;
    return *names;
}

BOOL _EvtChange(HANDLE event, bool signaled) {
    auto object = ReferenceKernelHandleAs<CEventObject>(event);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        object->Set(signaled);
    }
    if (signaled)
        KernelNotifyAll();
    return TRUE;
}

} // namespace
} // namespace jxplat

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    using namespace jxplat;
    std::shared_ptr<CEventObject> event;
    bool existed = false;
    if (name && *name) {
        std::u16string key = jxtext::Fold(name);
        std::lock_guard<std::mutex> guard(KernelLock());
        std::weak_ptr<CEventObject>& slot = _EvtNames()[key];
        event = slot.lock();
        existed = event != nullptr;
        if (!event) {
            event = std::make_shared<CEventObject>(manualReset != FALSE, initialState != FALSE);
            slot = event;
        }
    } else {
        event = std::make_shared<CEventObject>(manualReset != FALSE, initialState != FALSE);
    }
    HANDLE handle = InsertKernelHandle(event);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE OpenEventW(DWORD, BOOL, LPCWSTR name) {
    using namespace jxplat;
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<CEventObject> event;
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        auto found = _EvtNames().find(jxtext::Fold(name));
        if (found != _EvtNames().end())
            event = found->second.lock();
    }
    if (!event) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return InsertKernelHandle(event);
}

BOOL SetEvent(HANDLE event) {
    return jxplat::_EvtChange(event, true);
}

BOOL ResetEvent(HANDLE event) {
    return jxplat::_EvtChange(event, false);
}

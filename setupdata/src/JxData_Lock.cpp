// The object lock of the data object.
#include "jxsetupdata/JxData.h"

#include <chrono>

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";
const WCHAR* const kLockContext = u"JxSetup::Data::JxData::LockObject";
} // namespace

void CJxObjectLock::Lock() {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(m_Guard);
    unsigned slices = 0;
    while (m_Depth != 0 && m_Owner != self) {
        const auto sliceEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_SliceMs);
        if (m_Released.wait_until(guard, sliceEnd, [this] { return m_Depth == 0; }))
            break;
        ++slices;
        SliceObserver observer = m_Observer;
        const DWORD sliceMs = m_SliceMs;
        // Nothing is written while the guard is held: the log writer may itself wait.
        guard.unlock();
        if (slices % kSlicesPerWarning == 0)
            Instance()->Log(LP_WARNING, kModule, kLockContext,
                            u"The object is busy: waited %u ms for its lock. Still waiting.",
                            slices * sliceMs);
        if (observer)
            observer(slices);
        guard.lock();
    }
    m_Owner = self;
    ++m_Depth;
}

bool CJxObjectLock::Unlock() {
    std::unique_lock<std::mutex> guard(m_Guard);
    if (m_Depth == 0 || m_Owner != std::this_thread::get_id())
        return false;
    if (--m_Depth == 0) {
        m_Owner = std::thread::id();
        guard.unlock();
        m_Released.notify_one();
    }
    return true;
}

bool CJxObjectLock::IsHeldByCurrentThread() const {
    std::lock_guard<std::mutex> guard(m_Guard);
    return m_Depth != 0 && m_Owner == std::this_thread::get_id();
}

void CJxObjectLock::SetSliceForTesting(DWORD milliseconds) {
    std::lock_guard<std::mutex> guard(m_Guard);
    m_SliceMs = milliseconds;
}

void CJxObjectLock::SetSliceObserverForTesting(SliceObserver observer) {
    std::lock_guard<std::mutex> guard(m_Guard);
    m_Observer = std::move(observer);
}

void JxData::LockObject() {
    m_Mutex.Lock();
}

void JxData::UnlockObject() {
    if (!m_Mutex.Unlock())
        GetLog()->Log(LP_ERROR, kModule, u"JxSetup::Data::JxData::UnlockObject",
                      u"The calling thread does not hold the object lock. Nothing released.");
}

} // namespace JxSetup::Data

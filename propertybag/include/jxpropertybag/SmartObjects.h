// The driver client's object library: objects that count their references with interlocked
// operations, strong and weak references to them, objects whose strong count lives in a weak
// object (so that a weak reference can be locked into a strong one without a race), and the two
// holders of a Windows handle and of a VARIANT.
#pragma once

#include <atomic>
#include <utility>

#include <windows.h>

// ---- Reference counting ---------------------------------------------------------------------------

struct ISmartRefCount {
    virtual ~ISmartRefCount() = default;
    virtual LONG AddRef() = 0;
    virtual LONG Release() = 0;
    virtual LONG GetRefCount() const = 0;
    virtual bool IsSingleReference() const = 0;
};

// One count, starting at 0; the release that reaches 0 destroys the object.
template <typename I = ISmartRefCount> class CSmartRefCountT : public I {
public:
    LONG AddRef() override { return ++m_refCount; }
    LONG Release() override {
        const LONG left = --m_refCount;
        if (left <= 0)
            delete this;
        return left;
    }
    LONG GetRefCount() const override { return m_refCount.load(); }
    bool IsSingleReference() const override { return m_refCount.load() == 1; }

    // A pool takes back an object whose only reference its caller gives up: the count goes to 0
    // without destroying it.
    void DetachLastReference() { m_refCount.store(0); }

protected:
    CSmartRefCountT() = default;
    CSmartRefCountT(const CSmartRefCountT&) : I() {}
    CSmartRefCountT& operator=(const CSmartRefCountT&) { return *this; }

private:
    std::atomic<LONG> m_refCount{0};
};

// A strong reference.
template <typename T> class CSmartPtr {
public:
    CSmartPtr() = default;
    CSmartPtr(T* object) : m_p(object) {
        if (m_p)
            m_p->AddRef();
    }
    CSmartPtr(const CSmartPtr& other) : CSmartPtr(other.m_p) {}
    CSmartPtr(CSmartPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~CSmartPtr() { Reset(); }
    CSmartPtr& operator=(CSmartPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }

    // Takes over a reference the caller already counted.
    void Attach(T* object) {
        Reset();
        m_p = object;
    }
    T* Detach() { return std::exchange(m_p, nullptr); }
    void Reset() {
        if (T* old = std::exchange(m_p, nullptr))
            old->Release();
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

// ---- Weak references ------------------------------------------------------------------------------

// The lock between the lockers of a weak reference (readers) and the final release of its target
// (the writer): an owner word taken with a compare-and-swap and a count of readers. Waiting spins
// with the processor's hint and yields the time slice after 30 tries.
class WeakSpinLock {
public:
    void EnterReader();
    void LeaveReader();
    // A try-mode writer gives up when readers hold the lock.
    bool EnterWriter(bool tryOnly = false);
    void LeaveWriter();

private:
    void _spin_TakeOwner();

    std::atomic<DWORD> m_owner{0};
    std::atomic<LONG> m_readers{0};
};

struct IWeakObjectRef : public ISmartRefCount {
    // A new strong reference when the target lives.
    virtual bool Lock(CSmartPtr<ISmartRefCount>& strong) = 0;
    virtual bool IsExpired() const = 0;
};

// The memory of weak objects and of pooled entries returns to process-wide block pools.
void* AllocatePooledBlock(size_t size, unsigned poolId, LONG cap);
void FreePooledBlock(void* block, size_t size, unsigned poolId, LONG cap);
enum : unsigned { kPoolWeakObjects = 0, kPoolCacheEntries = 1 };

template <typename T> class CSmartRefCountEx;

// The weak object shared by a target and every weak reference to it. Its own count (the five
// operations) counts the references to the weak object; the target's strong count lives here.
template <typename T> class CWeakPointerImpl : public CSmartRefCountT<IWeakObjectRef> {
public:
    explicit CWeakPointerImpl(CSmartRefCountEx<T>* target) : m_target(target) {}

    bool Lock(CSmartPtr<ISmartRefCount>& strong) override {
        T* target = nullptr;
        if (!LockTarget(target))
            return false;
        strong.Attach(target);
        return true;
    }
    // As Lock, handing out the target itself with one strong reference counted for the caller.
    bool LockTarget(T*& target) {
        target = nullptr;
        m_lock.EnterReader();
        if (CSmartRefCountEx<T>* live = m_target.load()) {
            ++m_strong;
            target = static_cast<T*>(live);
        }
        m_lock.LeaveReader();
        return target != nullptr;
    }
    bool IsExpired() const override { return m_target.load() == nullptr; }

    static void* operator new(size_t size) { return AllocatePooledBlock(size, kPoolWeakObjects, 1000); }
    static void operator delete(void* block, size_t size) {
        FreePooledBlock(block, size, kPoolWeakObjects, 1000);
    }

private:
    friend class CSmartRefCountEx<T>;
    std::atomic<LONG> m_strong{0};
    std::atomic<CSmartRefCountEx<T>*> m_target; // the object, known as T once it is built
    WeakSpinLock m_lock;
};

// An object whose strong count lives in its weak object: locking a weak reference and dropping the
// last strong reference exclude each other, so a lock never revives a dying object.
template <typename T> class CSmartRefCountEx : public ISmartRefCount {
public:
    LONG AddRef() override { return ++_WeakObject()->m_strong; }
    LONG Release() override {
        CSmartPtr<CWeakPointerImpl<T>> weak(_WeakObject());
        weak->m_lock.EnterWriter();
        const LONG left = --weak->m_strong;
        if (left == 0)
            weak->m_target.store(nullptr);
        weak->m_lock.LeaveWriter();
        if (left == 0)
            OnFinalRelease();
        return left;
    }
    LONG GetRefCount() const override { return m_pWeak.load()->m_strong.load(); }
    bool IsSingleReference() const override { return GetRefCount() == 1; }

    // The base deletes the object.
    virtual void OnFinalRelease() { delete this; }
    // Makes a live weak object for this object when it has none.
    virtual void EnsureWeakObject() {
        for (;;) {
            CWeakPointerImpl<T>* current = m_pWeak.load();
            if (current && current->m_target.load())
                return;
            auto* fresh = new CWeakPointerImpl<T>(this);
            fresh->AddRef(); // the object's own reference
            if (current)
                fresh->m_strong.store(current->m_strong.load());
            if (m_pWeak.compare_exchange_strong(current, fresh)) {
                if (current)
                    current->Release();
                return;
            }
            fresh->Release();
        }
    }
    // The weak object with one added reference.
    virtual void GetWeakObject(CSmartPtr<CWeakPointerImpl<T>>& weak) {
        weak = CSmartPtr<CWeakPointerImpl<T>>(_WeakObject());
    }

protected:
    CSmartRefCountEx() { EnsureWeakObject(); }
    ~CSmartRefCountEx() override {
        if (CWeakPointerImpl<T>* weak = m_pWeak.exchange(nullptr))
            weak->Release();
    }

private:
    CWeakPointerImpl<T>* _WeakObject() const { return m_pWeak.load(); }
    std::atomic<CWeakPointerImpl<T>*> m_pWeak{nullptr};
};

// A weak reference to a CSmartRefCountEx object.
template <typename T> class CWeakPtr {
public:
    CWeakPtr() = default;
    explicit CWeakPtr(T* object) {
        if (object)
            object->GetWeakObject(m_weak);
    }
    bool Lock(CSmartPtr<T>& strong) const {
        T* target = nullptr;
        if (!m_weak || !m_weak->LockTarget(target)) {
            strong.Reset();
            return false;
        }
        strong.Attach(target);
        return true;
    }
    bool IsExpired() const { return !m_weak || m_weak->IsExpired(); }
    void Reset() { m_weak.Reset(); }

private:
    CSmartPtr<CWeakPointerImpl<T>> m_weak;
};

// CSmartRefCountEx whose memory returns to a process-wide pool of at most `cap` blocks.
template <typename T, LONG cap = 1000> class CSmartPoolRefCountEx : public CSmartRefCountEx<T> {
public:
    static void* operator new(size_t size) { return AllocatePooledBlock(size, kPoolCacheEntries, cap); }
    static void operator delete(void* block, size_t size) {
        FreePooledBlock(block, size, kPoolCacheEntries, cap);
    }
};

// ---- Pool links -------------------------------------------------------------------------------------

// The list entry of an object that a lock-free pool keeps.
struct CPoolEntry {
    SLIST_ENTRY m_PoolEntry = {nullptr};
};

// ---- Holders ----------------------------------------------------------------------------------------

// A Windows handle, closed with the holder unless it is null or INVALID_HANDLE_VALUE.
class CSmartHandle : public CSmartRefCountT<ISmartRefCount>, public CPoolEntry {
public:
    explicit CSmartHandle(HANDLE handle = INVALID_HANDLE_VALUE) : m_handle(handle) {}
    ~CSmartHandle() override { Close(); }
    CSmartHandle(const CSmartHandle&) = delete;
    CSmartHandle& operator=(const CSmartHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    // Takes the handle over, closing the one held before.
    void Attach(HANDLE handle) {
        Close();
        m_handle = handle;
    }
    void Close() {
        const HANDLE old = std::exchange(m_handle, INVALID_HANDLE_VALUE);
        if (old && old != INVALID_HANDLE_VALUE)
            CloseHandle(old);
    }
    // The pool's reset of a pooled holder: it comes back empty.
    void ResetForPool() { Close(); }

private:
    HANDLE m_handle;
};

// One VARIANT. Clearing skips VariantClear for the plain types, which own nothing.
class SmartPropertyValue : public CSmartRefCountT<ISmartRefCount>, public CPoolEntry {
public:
    SmartPropertyValue() { VariantInit(&m_value); }
    ~SmartPropertyValue() override { Clear(); }
    SmartPropertyValue(const SmartPropertyValue&) = delete;
    SmartPropertyValue& operator=(const SmartPropertyValue&) = delete;

    VARIANT& Value() { return m_value; }
    const VARIANT& Value() const { return m_value; }
    void Clear();
    // Takes the value over; the source is left VT_EMPTY.
    void MoveFrom(VARIANT& source);
    // The pool's reset of a pooled object.
    void ResetForPool() { Clear(); }

    static bool IsPlainType(VARTYPE type);

private:
    VARIANT m_value;
};

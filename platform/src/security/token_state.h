// The process token: the privileges it holds and their state. One per process, made from the
// machine description on first use and dropped when the machine root changes.
#pragma once

#include <mutex>
#include <vector>

#include "jxplat/security.h"
#include "kernel/objects.h"

namespace jxplat::security {

struct CTokenState {
    static CTokenState& Get();

    std::mutex lock;
    bool loaded = false;
    bool elevated = false;
    std::vector<LUID_AND_ATTRIBUTES> privileges; // held ones, in LUID order

    // Fills the held privileges from the machine description; needs the lock.
    void EnsureLoaded();
};

// A token handle: the access it was opened with. Every handle refers to the process's one token.
class CTokenObject : public CKernelObject {
public:
    explicit CTokenObject(DWORD access) : m_access(access) {}
    DWORD Access() const { return m_access; }

private:
    DWORD m_access;
};

} // namespace jxplat::security

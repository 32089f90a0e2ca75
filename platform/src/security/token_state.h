// The process token: the privileges it holds and their state. One per process, made from the
// machine description on first use and dropped when the machine root changes.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "jxplat/security.h"
#include "kernel/objects.h"

namespace jxplat::security {

struct CTokenState {
    static CTokenState& Get();

    std::mutex lock;
    bool loaded = false;
    bool elevated = false;
    // The process token is an administrator's full token (Administrators enabled): elevated, or
    // on a machine without UAC.
    bool fullAdministrator = false;
    // With UAC on an administrator's token comes in a pair: the filtered and the full token.
    bool hasLinkedToken = false;
    std::u16string userSid;
    std::vector<LUID_AND_ATTRIBUTES> privileges; // held ones, in LUID order

    // Fills the held privileges from the machine description; needs the lock.
    void EnsureLoaded();
};

// A token handle: the access it was opened with. Every handle refers to the process's one token,
// or, when linked, to the other token of an administrator's pair (an impersonation token).
class CTokenObject : public CKernelObject {
public:
    explicit CTokenObject(DWORD access, bool linked = false) : m_access(access), m_linked(linked) {}
    DWORD Access() const { return m_access; }
    bool IsLinked() const { return m_linked; }
    // Elevated and holding Administrators enabled; needs the state loaded.
    bool IsElevated(const CTokenState& state) const { return m_linked ? !state.elevated : state.elevated; }
    bool IsFullAdministrator(const CTokenState& state) const {
        return m_linked ? !state.fullAdministrator : state.fullAdministrator;
    }

private:
    DWORD m_access;
    bool m_linked;
};

} // namespace jxplat::security

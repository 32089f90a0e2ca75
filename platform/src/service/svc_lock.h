// The lock of the services' run state: one per machine, shared by every process (an advisory lock
// on "services/state.lock"), and reentrant within a process.
#pragma once

namespace jxplat::svc {

class CRunStateLock {
public:
    CRunStateLock();
    ~CRunStateLock();
    CRunStateLock(const CRunStateLock&) = delete;
    CRunStateLock& operator=(const CRunStateLock&) = delete;
};

} // namespace jxplat::svc

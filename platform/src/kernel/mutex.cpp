// Mutexes: a thread owns a mutex after a satisfied wait and may take it again (counted); only the
// owner releases it. A named mutex is shared by every process on the machine root through two
// files below "mutexes/": "<name>.ref", on which every process with a handle holds a read lock
// (so that a creator can tell whether the mutex exists), and "<name>.lock", whose exclusive lock
// is the ownership and whose content names the owning process until it releases the mutex. A
// content left behind by a process that ended marks the mutex abandoned.
#include <map>
#include <string>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/synchapi.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "kernel/objects.h"

namespace jxplat {
namespace {

// State guarded by KernelLock().
class CMutexObject : public CKernelObject {
public:
    explicit CMutexObject(std::string lockPath) : m_lockPath(std::move(lockPath)) {}
    ~CMutexObject() override {
        // An owner that drops its last handle leaves the record behind: the next owner sees
        // the mutex abandoned, as when the owning thread ends.
        if (m_ownerFd >= 0)
            ::close(m_ownerFd);
        if (m_refFd >= 0)
            ::close(m_refFd);
    }

    bool IsWaitable() const override { return true; }
    bool NeedsPolling() const override { return IsNamed(); }

    bool IsSignaled(DWORD threadId) const override {
        if (m_ownerThread != 0)
            return m_ownerThread == threadId;
        return !IsNamed() || const_cast<CMutexObject*>(this)->_MtxClaimFile();
    }

    bool Satisfy(DWORD threadId) override {
        if (m_ownerThread == threadId) {
            ++m_count;
            return false;
        }
        m_ownerThread = threadId;
        m_count = 1;
        bool abandoned = m_abandoned;
        m_abandoned = false;
        if (IsNamed())
            _MtxWriteOwner(threadId);
        return abandoned;
    }

    void Unclaim(DWORD) override {
        if (m_ownerThread == 0 && m_ownerFd >= 0) {
            ::close(m_ownerFd);
            m_ownerFd = -1;
            m_abandoned = false;
        }
    }

    // ERROR_NOT_OWNER unless the thread owns it.
    DWORD Release(DWORD threadId) {
        if (m_ownerThread != threadId || m_count == 0)
            return ERROR_NOT_OWNER;
        if (--m_count == 0) {
            m_ownerThread = 0;
            if (m_ownerFd >= 0) {
                // A clean release: no record, then the lock goes.
                if (::ftruncate(m_ownerFd, 0) != 0)
                    std::fprintf(stderr, "jxplat: cannot clear the mutex file %s\n", m_lockPath.c_str());
                ::close(m_ownerFd);
                m_ownerFd = -1;
            }
        }
        return ERROR_SUCCESS;
    }

    bool IsNamed() const { return !m_lockPath.empty(); }

    std::string m_lockPath; // "" for an unnamed mutex
    int m_refFd = -1;       // the shared lock that says "a handle exists in this process"
    int m_ownerFd = -1;     // held while this process owns (or has claimed) the mutex
    DWORD m_ownerThread = 0;
    DWORD m_count = 0;
    bool m_abandoned = false;

private:
    // Takes the file lock without blocking; a record found in the file is a holder that died.
    bool _MtxClaimFile() {
        if (m_ownerFd >= 0)
            return true;
        int fd = ::open(m_lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        m_ownerFd = fd;
        m_abandoned = ::lseek(fd, 0, SEEK_END) > 0;
        return true;
    }

    void _MtxWriteOwner(DWORD threadId) {
        if (m_ownerFd < 0)
            return;
        char record[64];
        int length = std::snprintf(record, sizeof(record), "%u %u\n", static_cast<unsigned>(::getpid()),
                                   static_cast<unsigned>(threadId));
        if (::ftruncate(m_ownerFd, 0) != 0 || ::pwrite(m_ownerFd, record, length, 0) != length)
            std::fprintf(stderr, "jxplat: cannot write the mutex file %s\n", m_lockPath.c_str());
    }
};

// Mutexes of this process by full name; guarded by KernelLock().
std::map<std::u16string, std::weak_ptr<CMutexObject>>& _MtxNames() {
    static auto* names = new std::map<std::u16string, std::weak_ptr<CMutexObject>>;
    return *names;
}

// The host path (without suffix) of a named mutex: "mutexes/global/<name>" for "Global\",
// "mutexes/local/<name>" otherwise. Names are case-sensitive; bytes other than letters, digits,
// "_", "-" and "." are written as "%XX". "" with the last error set for a name Windows refuses.
std::string _MtxHostBase(const std::u16string& name) {
    std::u16string rest = name;
    std::string space = "local";
    if (rest.rfind(u"Global\\", 0) == 0) {
        space = "global";
        rest = rest.substr(7);
    } else if (rest.rfind(u"Local\\", 0) == 0) {
        rest = rest.substr(6);
    }
    if (name.size() > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return "";
    }
    if (rest.find(u'\\') != std::u16string::npos) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return "";
    }
    std::string encoded;
    for (unsigned char c : jxtext::Utf16ToUtf8(rest)) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
            c == '-' || c == '.') {
            encoded += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof(hex), "%%%02X", c);
            encoded += hex;
        }
    }
    std::string folder = MachinePath("mutexes/" + space);
    EnsureHostDirectory(folder);
    return folder + "/" + (encoded.empty() ? std::string("%") : encoded);
}

// Open-file-description locks on the ".ref" file: unlike flock, a write lock turns into a read
// lock atomically, and a lock can be probed without taking it.
bool _MtxRefLock(int fd, short type, bool wait) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0;
}

// Opens the ".ref" file and takes its shared lock. `existed` tells whether another process
// already had a handle. -1 on failure.
int _MtxJoin(const std::string& base, bool& existed) {
    int fd = ::open((base + ".ref").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    existed = !_MtxRefLock(fd, F_WRLCK, false);
    // The write lock of a new mutex becomes a read lock; a joiner waits for that moment only.
    if (!_MtxRefLock(fd, F_RDLCK, true)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether any process holds a handle of the mutex; takes nothing.
bool _MtxExistsElsewhere(const std::string& base) {
    int fd = ::open((base + ".ref").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    bool exists = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return exists;
}

} // namespace
} // namespace jxplat

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
    using namespace jxplat;
    const DWORD threadId = GetCurrentThreadId();
    if (!name || !*name) {
        auto mutex = std::make_shared<CMutexObject>(std::string());
        if (initialOwner) {
            std::lock_guard<std::mutex> guard(KernelLock());
            mutex->Satisfy(threadId);
        }
        HANDLE handle = InsertKernelHandle(mutex);
        SetLastError(ERROR_SUCCESS);
        return handle;
    }
    const std::u16string key(name);
    std::shared_ptr<CMutexObject> mutex;
    bool existed = false;
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        auto found = _MtxNames().find(key);
        if (found != _MtxNames().end())
            mutex = found->second.lock();
        if (mutex) {
            existed = true;
        } else {
            std::string base = _MtxHostBase(key);
            if (base.empty())
                return nullptr;
            auto created = std::make_shared<CMutexObject>(base + ".lock");
            created->m_refFd = _MtxJoin(base, existed);
            if (created->m_refFd < 0) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            if (!existed) {
                // A new mutex starts free: a record of an earlier, ended one means nothing now.
                if (::truncate(created->m_lockPath.c_str(), 0) != 0 && errno != ENOENT)
                    std::fprintf(stderr, "jxplat: cannot reset the mutex file %s\n",
                                 created->m_lockPath.c_str());
            }
            mutex = created;
            _MtxNames()[key] = mutex;
        }
        if (!existed && initialOwner && mutex->IsSignaled(threadId))
            mutex->Satisfy(threadId);
    }
    HANDLE handle = InsertKernelHandle(mutex);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE OpenMutexW(DWORD, BOOL, LPCWSTR name) {
    using namespace jxplat;
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::u16string key(name);
    std::shared_ptr<CMutexObject> mutex;
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        auto found = _MtxNames().find(key);
        if (found != _MtxNames().end())
            mutex = found->second.lock();
        if (!mutex) {
            std::string base = _MtxHostBase(key);
            if (base.empty())
                return nullptr;
            if (!_MtxExistsElsewhere(base)) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return nullptr;
            }
            auto opened = std::make_shared<CMutexObject>(base + ".lock");
            bool existed = false;
            opened->m_refFd = _MtxJoin(base, existed);
            if (opened->m_refFd < 0) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            mutex = opened;
            _MtxNames()[key] = mutex;
        }
    }
    HANDLE handle = InsertKernelHandle(mutex);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE handle) {
    using namespace jxplat;
    auto mutex = ReferenceKernelHandleAs<CMutexObject>(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD error;
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        error = mutex->Release(GetCurrentThreadId());
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    KernelNotifyAll();
    return TRUE;
}

// Share modes between the open handles of this process: each open of a file with data or delete
// access is recorded by the host file's identity; a new open (or a call that acts like one, such
// as a delete or a rename) that the recorded ones do not share, or that does not share what they
// hold, fails as on Windows.
#include <list>
#include <map>
#include <mutex>

#include "file/file_common.h"

namespace jxplat {
namespace {

constexpr DWORD kReadAccess = FILE_READ_DATA | 0x0020u /* FILE_EXECUTE */;
constexpr DWORD kWriteAccess = FILE_WRITE_DATA | FILE_APPEND_DATA;

struct COpen {
    DWORD access;
    DWORD share;
};

using CFileKey = std::pair<dev_t, ino_t>;

struct CShareTable {
    std::mutex lock;
    std::map<CFileKey, std::list<COpen>> opens;
};

CShareTable& Table() {
    static CShareTable* table = new CShareTable; // lives until the process ends, as handles may
    return *table;
}

// Opens with neither data nor delete access (attributes only) take no part in sharing.
bool Takes(DWORD access) {
    return (access & (kReadAccess | kWriteAccess | DELETE)) != 0;
}

bool Conflict(const COpen& held, DWORD access, DWORD share) {
    auto refuses = [](DWORD wanted, DWORD allowed) {
        return ((wanted & kReadAccess) && !(allowed & FILE_SHARE_READ)) ||
               ((wanted & kWriteAccess) && !(allowed & FILE_SHARE_WRITE)) ||
               ((wanted & DELETE) && !(allowed & FILE_SHARE_DELETE));
    };
    return refuses(access, held.share) || refuses(held.access, share);
}

bool ConflictsLocked(const std::list<COpen>& opens, DWORD access, DWORD share) {
    for (const COpen& held : opens) {
        if (Conflict(held, access, share))
            return true;
    }
    return false;
}

} // namespace

bool ShareConflicts(const struct stat& status, DWORD access, DWORD shareMode) {
    if (!Takes(access))
        return false;
    CShareTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.opens.find({status.st_dev, status.st_ino});
    return found != table.opens.end() && ConflictsLocked(found->second, access, shareMode);
}

std::shared_ptr<void> AcquireShare(const struct stat& status, DWORD access, DWORD shareMode, bool& conflict) {
    conflict = false;
    if (!Takes(access))
        return nullptr;
    CShareTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const CFileKey key{status.st_dev, status.st_ino};
    std::list<COpen>& opens = table.opens[key];
    if (ConflictsLocked(opens, access, shareMode)) {
        conflict = true;
        if (opens.empty())
            table.opens.erase(key);
        return nullptr;
    }
    auto entry = opens.insert(opens.end(), COpen{access, shareMode});
    // The token's release removes the entry (list iterators stay valid while others come and go).
    return std::shared_ptr<void>(static_cast<void*>(&table), [key, entry](void*) {
        CShareTable& owner = Table();
        std::lock_guard<std::mutex> release(owner.lock);
        auto found = owner.opens.find(key);
        if (found == owner.opens.end())
            return;
        found->second.erase(entry);
        if (found->second.empty())
            owner.opens.erase(found);
    });
}

} // namespace jxplat

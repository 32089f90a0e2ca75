// The names of recently searched host folders, folded for case-insensitive lookups. Each
// remembered folder is watched with inotify; every change of its entries, by this process or any
// other, arrives as an event and is applied before the next lookup, so an answer is never older
// than the lookup. A lost event queue, a moved or removed folder, or a folder replaced under the
// same path forgets what was remembered. Without inotify every lookup reads the folder.
#include "core/dircache.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "jxplat/text.h"

namespace jxplat {
namespace {

constexpr size_t kMaxFolders = 512;

// Set in a forked child (asking for the process id at every lookup would cost a system call).
std::atomic<bool> g_forked{false};
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;

struct CFolderNames {
    dev_t device = 0;
    ino_t inode = 0;
    int watch = -1;
    std::unordered_map<std::u16string, std::string> names; // folded name -> own name
};

class CFolderNameCache {
public:
    std::optional<std::string> Find(const std::string& folder, const struct stat& status,
                                    const std::u16string& name) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!_cache_Ready())
            return ScanFolder(folder, name);
        _cache_ApplyEvents();
        auto found = m_folders.find(folder);
        if (found != m_folders.end() &&
            (found->second.device != status.st_dev || found->second.inode != status.st_ino)) {
            _cache_Forget(found);
            found = m_folders.end();
        }
        if (found == m_folders.end()) {
            found = _cache_Remember(folder, status);
            if (found == m_folders.end())
                return ScanFolder(folder, name);
        }
        auto match = found->second.names.find(jxtext::Fold(name));
        if (match == found->second.names.end())
            return std::nullopt;
        return match->second;
    }

    static std::optional<std::string> ScanFolder(const std::string& folder, const std::u16string& name) {
        DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
        if (!dir)
            return std::nullopt;
        std::optional<std::string> found;
        while (dirent* entry = ::readdir(dir)) {
            if (jxtext::EqualsNoCase(jxtext::Utf8ToUtf16(entry->d_name), name)) {
                found = entry->d_name;
                break;
            }
        }
        ::closedir(dir);
        return found;
    }

private:
    // A forked child shares the parent's notification descriptor; it starts over with its own.
    bool _cache_Ready() {
        if (m_fd >= 0 && !g_forked.load(std::memory_order_relaxed))
            return true;
        if (m_fd >= 0)
            ::close(m_fd);
        m_folders.clear();
        m_byWatch.clear();
        g_forked.store(false, std::memory_order_relaxed);
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        return m_fd >= 0;
    }

    void _cache_ForgetAll() {
        for (auto& [folder, names] : m_folders)
            ::inotify_rm_watch(m_fd, names.watch);
        m_folders.clear();
        m_byWatch.clear();
    }

    void _cache_Forget(std::unordered_map<std::string, CFolderNames>::iterator folder) {
        m_byWatch.erase(folder->second.watch);
        ::inotify_rm_watch(m_fd, folder->second.watch);
        m_folders.erase(folder);
    }

    void _cache_ApplyEvents() {
        alignas(inotify_event) char buffer[64 * 1024];
        // A read that left room for the largest event emptied the queue: no second read is needed.
        constexpr ssize_t kDrained = sizeof buffer - (sizeof(inotify_event) + NAME_MAX + 1);
        for (bool drained = false; !drained;) {
            const ssize_t size = ::read(m_fd, buffer, sizeof buffer);
            if (size <= 0)
                return;
            drained = size <= kDrained;
            for (ssize_t offset = 0; offset < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW) {
                    _cache_ForgetAll();
                    continue;
                }
                auto watched = m_byWatch.find(event->wd);
                if (watched == m_byWatch.end())
                    continue;
                auto folder = m_folders.find(watched->second);
                if (folder == m_folders.end())
                    continue;
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                    _cache_Forget(folder);
                    continue;
                }
                if (event->len == 0)
                    continue;
                const std::string own(event->name, ::strnlen(event->name, event->len));
                const std::u16string folded = jxtext::Fold(jxtext::Utf8ToUtf16(own));
                if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
                    auto [entry, added] = folder->second.names.emplace(folded, own);
                    if (!added && entry->second != own)
                        _cache_Forget(folder); // two names that differ only in case: not remembered
                } else if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
                    auto entry = folder->second.names.find(folded);
                    if (entry != folder->second.names.end() && entry->second == own)
                        folder->second.names.erase(entry);
                    else if (entry != folder->second.names.end())
                        _cache_Forget(folder); // two names that differ only in case: read it again
                }
            }
        }
    }

    // Watches first, then reads the folder, so that no change between the two is missed.
    std::unordered_map<std::string, CFolderNames>::iterator _cache_Remember(const std::string& folder,
                                                                            const struct stat& status) {
        if (m_folders.size() >= kMaxFolders)
            _cache_ForgetAll();
        const int watch = ::inotify_add_watch(m_fd, folder.empty() ? "/" : folder.c_str(), kWatchMask);
        if (watch < 0)
            return m_folders.end();
        if (m_byWatch.count(watch)) {
            // The same folder under another path: one watch serves one path only.
            return m_folders.end();
        }
        DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
        if (!dir) {
            ::inotify_rm_watch(m_fd, watch);
            return m_folders.end();
        }
        CFolderNames names;
        names.device = status.st_dev;
        names.inode = status.st_ino;
        names.watch = watch;
        while (dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            if (!names.names.emplace(jxtext::Fold(jxtext::Utf8ToUtf16(entry->d_name)), entry->d_name)
                     .second) {
                // Two names that differ only in case: such a folder is read at each lookup.
                ::closedir(dir);
                ::inotify_rm_watch(m_fd, watch);
                return m_folders.end();
            }
        }
        ::closedir(dir);
        m_byWatch[watch] = folder;
        return m_folders.emplace(folder, std::move(names)).first;
    }

    std::mutex m_lock;
    int m_fd = -1;
    std::unordered_map<std::string, CFolderNames> m_folders;
    std::unordered_map<int, std::string> m_byWatch;
};

CFolderNameCache& Cache() {
    static CFolderNameCache* cache = [] {
        ::pthread_atfork(nullptr, nullptr, [] { g_forked.store(true, std::memory_order_relaxed); });
        return new CFolderNameCache(); // lives as long as the process
    }();
    return *cache;
}

} // namespace

std::optional<std::string> FindNameIgnoringCase(const std::string& folder, const struct stat& folderStatus,
                                                const std::u16string& name) {
    return Cache().Find(folder, folderStatus, name);
}

} // namespace jxplat

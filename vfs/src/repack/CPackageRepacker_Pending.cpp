// The pending replacements of repacks into existing targets and their finishing.
#include <algorithm>
#include <mutex>

#include "jxplat/text.h"
#include "jxvfs/container/PackageTrace.h"
#include "jxvfs/repack/CPackageRepacker.h"

namespace {

struct CPendingReplacements {
    std::mutex m_mutex;
    std::vector<std::u16string> m_names;

    // What is still pending when the process ends is finished then.
    ~CPendingReplacements() { CPackageRepacker::FinishRepack(); }
};

CPendingReplacements& Pending() {
    static CPendingReplacements pending;
    return pending;
}

std::u16string TemporaryOf(const std::u16string& target) {
    return target + u".tmp";
}

} // namespace

namespace jxrepack {

void AddPending(const std::u16string& temporary) {
    auto& pending = Pending();
    std::lock_guard<std::mutex> lock(pending.m_mutex);
    // A second repack into the same target rewrote the same temporary file: one replacement.
    if (std::none_of(pending.m_names.begin(), pending.m_names.end(),
                     [&](const std::u16string& name) { return jxtext::EqualsNoCase(name, temporary); }))
        pending.m_names.push_back(temporary);
}

void DropPendingFor(const std::u16string& target) {
    auto& pending = Pending();
    std::lock_guard<std::mutex> lock(pending.m_mutex);
    const std::u16string temporary = TemporaryOf(target);
    std::erase_if(pending.m_names,
                  [&](const std::u16string& name) { return jxtext::EqualsNoCase(name, temporary); });
}

std::u16string PendingFor(const std::u16string& target) {
    auto& pending = Pending();
    std::lock_guard<std::mutex> lock(pending.m_mutex);
    const std::u16string temporary = TemporaryOf(target);
    for (const auto& name : pending.m_names)
        if (jxtext::EqualsNoCase(name, temporary))
            return name;
    return {};
}

void FinishOne(const std::u16string& temporary) {
    if (temporary.size() <= 4)
        return;
    const std::u16string target = temporary.substr(0, temporary.size() - 4);
    JX_PKG_TRACE(5, u"PackageMgr::Finish_Repack", u"Moving %s to %s\n", temporary.c_str(), target.c_str());
    // A target that is already gone (moved away meanwhile) counts as deleted.
    if (DeleteFileW(target.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        if (MoveFileNow(temporary, target)) {
            JX_PKG_TRACE(5, u"PackageMgr::Finish_Repack", u"Replaced.\n");
            return;
        }
        JX_PKG_TRACE(1, u"PackageMgr::Finish_Repack", u"Renaming %s failed: %i\n", temporary.c_str(),
                     static_cast<int>(::GetLastError()));
    }
    MoveFileAtReboot(target, u"");
    MoveFileAtReboot(temporary, target);
    JX_PKG_TRACE(1, u"PackageMgr::Finish_Repack", u"Could not replace the file. Will be done on reboot.\n");
}

} // namespace jxrepack

std::vector<std::u16string> CPackageRepacker::GetPendingReplacements() {
    auto& pending = Pending();
    std::lock_guard<std::mutex> lock(pending.m_mutex);
    return pending.m_names;
}

void CPackageRepacker::FinishRepack() {
    std::vector<std::u16string> names;
    {
        auto& pending = Pending();
        std::lock_guard<std::mutex> lock(pending.m_mutex);
        names.swap(pending.m_names);
    }
    for (const auto& temporary : names)
        jxrepack::FinishOne(temporary);
}

// Repacking: mounted packages are written back to disk as one package file. No package is rebuilt:
// each package's bytes, from its header to the end of its data area rounded up to a multiple of 4,
// are copied unchanged from its carrier, one package after another, so the result is itself a
// carrier.
//
// A target that already exists (and is not appended to) is left alone: the copy goes to
// "<target>.tmp", which replaces the target when FinishRepack runs at the end of the process (or at
// the next reboot when the target is in use). Every such replacement is kept, in the order of the
// repacks, so several repacks into different existing targets all take effect.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include "jxsetupdata/RepackCallbackDelegate.h"

class InternalPackage;
class PackageMgr;

// Appends to an existing target instead of replacing it.
constexpr DWORD kRepackAppend = 0x2;

// One entry of a repack list: a package object or a package name (looked up among the mounted ones).
struct REPACK_ENTRY {
    std::shared_ptr<InternalPackage> package;
    std::u16string name;

    REPACK_ENTRY(std::shared_ptr<InternalPackage> p) : package(std::move(p)) {}
    REPACK_ENTRY(std::u16string n) : name(std::move(n)) {}
    REPACK_ENTRY(const char16_t* n) : name(n) {}
};

class CPackageRepacker {
public:
    explicit CPackageRepacker(PackageMgr& manager) : m_manager(manager) {}
    virtual ~CPackageRepacker() = default;
    CPackageRepacker(const CPackageRepacker&) = delete;
    CPackageRepacker& operator=(const CPackageRepacker&) = delete;

    // Writes the packages that the entries find (entries naming no mounted package are skipped) to
    // the target. 1 when the target could be opened, whatever happened to the single packages; 0
    // otherwise.
    int Repack(const std::vector<REPACK_ENTRY>& list, const std::u16string& target, DWORD flags,
               RepackCallbackDelegate* receiver);

    // The package length rounded up to a multiple of 4; 0 for a missing package.
    static ULONGLONG GetRepackLength(const InternalPackage* package);

    // ---- Pending replacements (process-wide) ----
    // The temporary files waiting to replace their targets, in the order they were written.
    static std::vector<std::u16string> GetPendingReplacements();
    // Replaces the target of every pending repack, in order, and empties the list. The package
    // manager calls it when it is destroyed; it is also run once at process exit.
    static void FinishRepack();

protected:
    // One write of a chunk at the target's current position (tests make it fail).
    virtual BOOL _repack_Write(HANDLE target, const BYTE* data, DWORD length, DWORD* written);

private:
    HANDLE _repack_OpenTarget(const std::u16string& target, DWORD flags);
    bool _repack_CopyPackage(const InternalPackage& package, HANDLE target, BYTE* buffer, ULONGLONG length,
                             ULONGLONG doneBefore, ULONGLONG total, RepackCallbackDelegate* receiver,
                             ULONGLONG& copied);
    bool _repack_WriteChunk(HANDLE target, const InternalPackage& package, ULONGLONG offset,
                            ULONGLONG chunkStart, BYTE* buffer, DWORD want, DWORD& got);

    PackageMgr& m_manager;
};

namespace jxrepack {
// Adds the temporary file to the pending replacements (once) / drops a target's pending one.
void AddPending(const std::u16string& temporary);
void DropPendingFor(const std::u16string& target);
// The pending temporary file of a target, or empty.
std::u16string PendingFor(const std::u16string& target);
// Finishes one replacement: the target is the temporary name without its ".tmp".
void FinishOne(const std::u16string& temporary);
// Renames a file now (false with the Windows error as last error).
BOOL MoveFileNow(const std::u16string& from, const std::u16string& to);
// Schedules a rename (or, with an empty target, a deletion) for the next reboot.
BOOL MoveFileAtReboot(const std::u16string& from, const std::u16string& to);
} // namespace jxrepack

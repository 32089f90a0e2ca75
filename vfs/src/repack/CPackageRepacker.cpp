// Repacking: copying the bytes of mounted packages from their carriers into one package file.
#include <algorithm>
#include <vector>

#include "jxplat/text.h"
#include "jxvfs/InternalPackage.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/container/PackageTrace.h"
#include "jxvfs/repack/CPackageRepacker.h"

namespace {

constexpr DWORD kRepackChunk = 4096;
constexpr int kRepackWriteTries = 4;

void Notify(RepackCallbackDelegate* receiver, DWORD phase, ULONGLONG first, ULONGLONG second,
            DWORD_PTR third) {
    // The receiver's values are 32-bit: larger byte counts are cut as the interface has them.
    if (receiver)
        receiver->OnRepackProgress(phase, static_cast<DWORD>(first), static_cast<DWORD>(second), third);
}

ULONGLONG CurrentPosition(HANDLE file) {
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    return SetFilePointerEx(file, zero, &position, FILE_CURRENT) ? static_cast<ULONGLONG>(position.QuadPart)
                                                                 : 0;
}

void SetPosition(HANDLE file, ULONGLONG offset) {
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    SetFilePointerEx(file, distance, nullptr, FILE_BEGIN);
}

} // namespace

ULONGLONG CPackageRepacker::GetRepackLength(const InternalPackage* package) {
    if (!package)
        return 0;
    return (package->GetPackageLength() + 3) & ~static_cast<ULONGLONG>(3);
}

int CPackageRepacker::Repack(const std::vector<REPACK_ENTRY>& list, const std::u16string& target, DWORD flags,
                             RepackCallbackDelegate* receiver) {
    HANDLE file = _repack_OpenTarget(target, flags);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<BYTE> buffer(kRepackChunk);

    // The packages the entries find; a package object counts only while it is mounted.
    std::vector<std::shared_ptr<InternalPackage>> packages;
    for (const REPACK_ENTRY& entry : list) {
        std::shared_ptr<InternalPackage> package;
        if (entry.package) {
            const auto& mounted = m_manager.GetPackages();
            if (std::find(mounted.begin(), mounted.end(), entry.package) != mounted.end())
                package = entry.package;
        } else {
            package = m_manager.FindPackage(entry.name);
        }
        if (package)
            packages.push_back(std::move(package));
    }
    ULONGLONG total = 0;
    for (const auto& package : packages)
        total += GetRepackLength(package.get());
    Notify(receiver, 0, 0, total, packages.size());

    ULONGLONG done = 0;
    DWORD copiedCount = 0;
    DWORD failedCount = 0;
    for (const auto& package : packages) {
        Notify(receiver, 1, 0, 0, reinterpret_cast<DWORD_PTR>(package.get()));
        ULONGLONG copied = 0;
        const bool ok = _repack_CopyPackage(*package, file, buffer.data(), GetRepackLength(package.get()),
                                            done, total, receiver, copied);
        Notify(receiver, 3, ok ? 1 : 0, 0, static_cast<DWORD_PTR>(copied));
        done += copied;
        ok ? ++copiedCount : ++failedCount;
    }
    Notify(receiver, 4, done, total, failedCount * 65536 + (copiedCount & 0xFFFF));
    SetEndOfFile(file);
    CloseHandle(file);
    return 1;
}

HANDLE CPackageRepacker::_repack_OpenTarget(const std::u16string& target, DWORD flags) {
    HANDLE file =
        CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // A new target is written directly; a replacement still pending for that name would later
        // overwrite it with older content, so it is dropped.
        jxrepack::DropPendingFor(target);
        return CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (flags & kRepackAppend) {
        // Appending to a target whose replacement is pending appends to what it will become.
        const std::u16string pending = jxrepack::PendingFor(target);
        if (!pending.empty()) {
            HANDLE temporary = CreateFileW(pending.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (temporary != INVALID_HANDLE_VALUE) {
                CloseHandle(file);
                file = temporary;
            }
        }
        LARGE_INTEGER zero{};
        SetFilePointerEx(file, zero, nullptr, FILE_END);
        return file;
    }
    CloseHandle(file);
    const std::u16string temporary = jxtext::Format(u"%s.tmp", target.c_str());
    file = CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        jxrepack::AddPending(temporary);
    return file;
}

bool CPackageRepacker::_repack_CopyPackage(const InternalPackage& package, HANDLE target, BYTE* buffer,
                                           ULONGLONG length, ULONGLONG doneBefore, ULONGLONG total,
                                           RepackCallbackDelegate* receiver, ULONGLONG& copied) {
    CPkgAccessor* carrier = package.GetCarrier();
    if (!carrier || !carrier->Open()) {
        JX_PKG_TRACE(1, u"PackageMgr::Repack", u"Carrier of package %s cannot be opened.\n",
                     package.GetName().c_str());
        return false;
    }
    bool ok = true;
    // The target's position is asked once: each chunk starts where the one before ended.
    const ULONGLONG copiedBefore = copied;
    const ULONGLONG targetStart = CurrentPosition(target);
    while (copied < length) {
        const DWORD want = static_cast<DWORD>(std::min<ULONGLONG>(kRepackChunk, length - copied));
        DWORD got = 0;
        if (!_repack_WriteChunk(target, package, package.GetPackageStart() + copied,
                                targetStart + (copied - copiedBefore), buffer, want, got)) {
            ok = false;
            break;
        }
        copied += got;
        Notify(receiver, 2, doneBefore + copied, total, static_cast<DWORD_PTR>(copied));
    }
    carrier->Close();
    return ok;
}

bool CPackageRepacker::_repack_WriteChunk(HANDLE target, const InternalPackage& package, ULONGLONG offset,
                                          ULONGLONG chunkStart, BYTE* buffer, DWORD want, DWORD& got) {
    CPkgAccessor* carrier = package.GetCarrier();
    const ULONGLONG packageEnd = package.GetPackageStart() + package.GetPackageLength();
    for (int attempt = 1; attempt <= kRepackWriteTries; ++attempt) {
        // Positional reads: the carrier's shared file position belongs to block decoding.
        got = carrier->ReadAt(offset, want, buffer);
        if (got == 0) {
            // The padding to 4 bytes of a package at the very end of an unpadded carrier lies beyond
            // it: it is written as zeros.
            if (offset < packageEnd || offset < carrier->GetSize())
                return false;
            got = want;
            std::fill(buffer, buffer + got, BYTE{0});
        }
        DWORD written = 0;
        if (_repack_Write(target, buffer, got, &written) && written == got)
            return true;
        JX_PKG_TRACE(1, u"PackageMgr::Repack",
                     u"VWriting to file failed! Offset: %i, Retry: %i, Error code: %i\n",
                     static_cast<int>(chunkStart), attempt, static_cast<int>(::GetLastError()));
        SetPosition(target, chunkStart);
    }
    return false;
}

BOOL CPackageRepacker::_repack_Write(HANDLE target, const BYTE* data, DWORD length, DWORD* written) {
    return WriteFile(target, data, length, written, nullptr);
}

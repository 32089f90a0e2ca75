// The package self-check: reads the carrier being mounted (headers, meta data, data-area bounds),
// keeps the list of what went wrong, and, with check options, verifies the data areas' CRC-32,
// tests every mounted file, computes MD5/SHA-1 over the whole carrier and writes a dump file.
//
// How the package manager drives it (PackageMgr::MountPackageFile / ScanPackages):
//
//     selfcheck.Attach(accessor);                 // starts a new carrier: judgement window, ok flag
//     if (!selfcheck.OpenCarrier()) { AddError(0x80000003, 128, GetOpenError()); fail }
//     selfcheck.BeginWalk();                      // locates the first package (MZ/PE, ELF, .wpk)
//     while (selfcheck.NextPackage()) {           // header + meta read, data area checked
//         if (!selfcheck.CanContinue()) return false;
//         CMetaTree tree;                         // BuildRoot: the checked tree of this package
//         if (!tree.Build(selfcheck.GetMetaData(), selfcheck.GetMetaSize(),
//                         selfcheck.GetHeader().rootOffset, &selfcheck))
//             selfcheck.AddNote(2, u"Package %s contains no elements.", name);
//         ... merge tree.Nodes(); file data position = GetDataStart() + node.dataOffset ...
//     }
//     return selfcheck.IsResultOk();              // then FinalizeCheck() for the mount's result
//
// Judgement is per carrier: CanContinue, IsResultOk and FinalizeCheck look only at the entries
// recorded since the last Attach, so an earlier bad carrier never fails a later one. EndCheck
// judges the entries since the last Configure (the check session) and keeps a failed file test:
// a file that fails the file test makes FinalizeCheck, EndCheck (and so GetSelfcheckResult)
// false. The whole list is kept for the dump until EndCheck.
#pragma once

#include <cstdarg>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "jxvfs/container/CarrierImage.h"
#include "jxvfs/container/PackageFormat.h"

class CMetaTree;
class CPkgAccessor;
class CHashDigest;
class CSelfcheckEntry;
class CSelfcheckOwner;

// Option bits of Configure (the self-check options of the command line).
constexpr DWORD kSelfcheckMd5 = 0x01;
constexpr DWORD kSelfcheckSha1 = 0x02;
constexpr DWORD kSelfcheckDataCrc = 0x04;
constexpr DWORD kSelfcheckFileTest = 0x08;
constexpr DWORD kSelfcheckCertificate = 0x10;
constexpr DWORD kSelfcheckProgress = 0x20;

// Message sent to the progress window.
constexpr UINT kSelfcheckProgressMessage = 1677;

struct ERRREC_ENTRY {
    virtual ~ERRREC_ENTRY() = default;
    // 1 error, 2 note.
    virtual int GetKind() const = 0;
};

struct ERROR_ENTRY : ERRREC_ENTRY {
    DWORD code = 0;
    DWORD detail = 0;
    DWORD valueLow = 0;
    DWORD valueHigh = 0;
    // The package being read when the error was recorded (empty before its header was read), and
    // what in it the error is about (a file's name) where the code and value cannot say.
    std::u16string package;
    std::u16string subject;
    ERROR_ENTRY() = default;
    ERROR_ENTRY(DWORD c, DWORD d, DWORD lo, DWORD hi) : code(c), detail(d), valueLow(lo), valueHigh(hi) {}
    int GetKind() const override { return 1; }
    ULONGLONG Value() const { return (static_cast<ULONGLONG>(valueHigh) << 32) | valueLow; }
};

struct NOTE_ENTRY : ERRREC_ENTRY {
    DWORD level = 0;
    std::u16string text;
    int GetKind() const override { return 2; }
};

class CSelfcheck {
public:
    explicit CSelfcheck(CSelfcheckOwner* owner = nullptr);
    ~CSelfcheck();
    CSelfcheck(const CSelfcheck&) = delete;
    CSelfcheck& operator=(const CSelfcheck&) = delete;

    // ---- Configuration ----
    // Ignored while a check option (MD5, SHA-1, data CRC, file test) is active. Starts a check session.
    void Configure(DWORD verbosity, DWORD options, HWND window);
    bool IsConfigured() const { return m_configured; }
    // MD5, SHA-1, data CRC or file test active.
    bool IsCheckActive() const;
    DWORD GetVerbosity() const { return m_verbosity; }
    void SetVerbosity(DWORD verbosity) { m_verbosity = verbosity; }
    void SetOwner(CSelfcheckOwner* owner) { m_owner = owner; }

    // ---- The carrier ----
    // Takes the (borrowed) accessor and starts a new carrier. Returns whether it is open.
    bool Attach(CPkgAccessor* accessor);
    // Opens the accessor and takes its size again; true when the size is not 0.
    bool OpenCarrier();
    CPkgAccessor* Detach();
    CPkgAccessor* GetCarrier() const { return m_carrier; }
    ULONGLONG GetCarrierSize() const { return m_carrierSize; }
    // The length the data-area bounds are checked against (the certificate offset for a signed PE).
    ULONGLONG GetDataCheckLength() const { return m_dataCheckLength; }
    // Moves the carrier (clamped to its size), feeding skipped bytes to active digests.
    ULONGLONG Seek(ULONGLONG position);
    // Reads at the carrier's position, feeding new bytes to active digests.
    DWORD Read(DWORD count, void* buffer);

    // ---- The walk ----
    // Locates the first package of the attached carrier.
    void BeginWalk();
    // Goes to the next package: true when a header was recognised and its meta data loaded (the meta
    // may be empty after a CRC or decode error: the package then adds nothing) and its data area was
    // checked. False when the walk is over (no further package, or the self-check stops it).
    bool NextPackage();
    ULONGLONG GetWalkOffset() const { return m_walkOffset; }
    ULONGLONG GetWalkLimit() const { return m_walkLimit; }
    const jxpkg::CARRIER_LAYOUT& GetLayout() const { return m_layout; }
    // The steps of the walk, public for the manager and the tests.
    bool ReadPackageHeader(ULONGLONG offset);
    bool LoadMetaData(ULONGLONG& offset);
    void CheckPackageData(ULONGLONG& position);
    // Whether the data area of the current package holds what its tree says; records the first
    // file whose data would lie beyond it.
    bool CheckTreeAgainstData(const CMetaTree& tree);

    // ---- The current package ----
    bool IsHeaderOk() const { return m_headerOk; }
    const jxpkg::PACKAGE_HEADER& GetHeader() const { return m_header; }
    const std::u16string& GetPackageName() const { return m_packageName; }
    ULONGLONG GetPackageStart() const { return m_packageStart; }
    ULONGLONG GetMetaStart() const { return m_metaStart; }
    ULONGLONG GetDataStart() const { return m_dataStart; }
    // Data start + data size, saturated at 2^64 - 1 when it would wrap.
    ULONGLONG GetPackageEnd() const;
    // The unpacked meta data (null when it could not be loaded); valid until the next package.
    const BYTE* GetMetaData() const { return m_meta.empty() ? nullptr : m_meta.data(); }
    DWORD GetMetaSize() const { return m_meta.empty() ? 0 : m_metaSize; }

    // ---- Records ----
    void AddNote(DWORD level, const WCHAR* format, ...);
    void AddNoteV(DWORD level, const WCHAR* format, va_list args);
    void AddErrorRecord(const ERROR_ENTRY& entry);
    void AddError(DWORD code, DWORD detail, DWORD valueLow, DWORD valueHigh);
    // Records an I/O error (verbosity not 0, no file test running) with the thread's last error.
    void AddIoError(DWORD origin, DWORD valueLow, DWORD valueHigh, DWORD length);
    const std::vector<std::unique_ptr<ERRREC_ENTRY>>& GetEntries() const { return m_entries; }
    // Error entries from index `from` of the list (all by default).
    std::vector<ERROR_ENTRY> GetErrors(size_t from = 0) const;
    // Index of the first entry of the current carrier.
    size_t GetCarrierFirstEntry() const { return m_carrierFirst; }
    // One line for a person: the package, the check that failed and its values.
    static std::u16string DescribeError(const ERROR_ENTRY& entry);
    // The described errors from index `from` of the list.
    std::vector<std::u16string> DescribeErrors(size_t from) const;
    DWORD GetLastErrorCode() const { return m_lastErrorCode; }

    // ---- Judgement ----
    bool CanContinue() const;
    bool IsResultOk() const;
    bool IsOk() const { return m_ok; }
    bool HasFileTestFailed() const { return m_fileTestFailed; }

    // ---- Ending ----
    void Digest(int step);
    // Ends one carrier's check (digests, file test); returns the carrier's judgement.
    bool FinalizeCheck();
    // Tests a file or a whole directory tree; false when any file fails.
    bool CheckFileIntegrity(CSelfcheckEntry& entry, int& files, int& directories);
    // Ends the check: dump, empty list, no accessor, unconfigured. Returns the session's result.
    bool EndCheck();

    const std::u16string& GetMd5Text() const { return m_md5Text; }
    const std::u16string& GetSha1Text() const { return m_sha1Text; }
    // The dump's text as EndCheck would write it (UTF-16).
    std::u16string GetDumpText() const;
    // The folder (Windows path) for the dump file; empty = the process's current directory.
    void SetDumpFolder(const std::u16string& folder) { m_dumpFolder = folder; }
    // The dump file name of the program "name": cut after its last "." + "dump", or name + ".dump".
    static std::u16string DumpFileNameOf(const std::u16string& programName);

private:
    bool _SelfcheckJudge(size_t from, bool walking) const;
    void _SelfcheckFeedDigests(const BYTE* data, size_t length);
    bool _SelfcheckDigestActive() const;
    void _SelfcheckResetPackage();
    // Whether the bytes after the last package, too few for a header, hold anything but padding.
    bool _SelfcheckTailHoldsData();
    void _SelfcheckWriteDump();

    CSelfcheckOwner* m_owner;
    DWORD m_verbosity = 0;
    CPkgAccessor* m_carrier = nullptr;
    ULONGLONG m_carrierSize = 0;
    ULONGLONG m_dataCheckLength = 0;

    std::unique_ptr<CHashDigest> m_md5;
    std::unique_ptr<CHashDigest> m_sha1;
    bool m_dataCrc = false;
    bool m_fileTest = false;
    bool m_certificate = false;
    bool m_progress = false;
    HWND m_window = nullptr;

    bool m_ok = true;
    bool m_inFileTest = false;
    bool m_configured = false;
    bool m_dump = false;
    bool m_fileTestFailed = false;
    ULONGLONG m_digestPosition = 0;

    // The walk.
    jxpkg::CARRIER_LAYOUT m_layout;
    ULONGLONG m_walkOffset = 0;
    ULONGLONG m_walkLimit = 0;
    ULONGLONG m_roundStart = 0;
    bool m_walkRound = false;
    bool m_walkOver = true;

    // The current package.
    jxpkg::PACKAGE_HEADER m_header;
    std::u16string m_packageName;
    ULONGLONG m_packageStart = 0;
    ULONGLONG m_metaStart = 0;
    ULONGLONG m_dataStart = 0;
    bool m_headerOk = false;
    std::vector<BYTE> m_meta;
    DWORD m_metaSize = 0;

    DWORD m_lastErrorCode = 0;
    std::vector<std::unique_ptr<ERRREC_ENTRY>> m_entries;
    size_t m_carrierFirst = 0;
    size_t m_sessionFirst = 0;
    std::u16string m_md5Text;
    std::u16string m_sha1Text;
    int m_lastStep = -1;
    size_t m_lastErrorCount = 0;
    std::u16string m_dumpFolder;
};

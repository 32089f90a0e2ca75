// What the self-check's file test needs of the mounted tree. The package manager hands the
// self-check an owner (CSelfcheckOwner) that yields views of its merged root; the views wrap the
// tree's entries and packed-file streams (InternalPackageObjBase, IPackedFileStream), so the
// self-check depends on no class of the tree. Views are made on demand and may be temporaries.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <windows.h>

// A sequential stream over one packed file (IPackedFileStream opened with mode 0x100).
class CSelfcheckStream {
public:
    virtual ~CSelfcheckStream() = default;
    // IStream::Read: S_OK, S_FALSE (a read from 0 that delivered the whole file and found its checksum
    // wrong) or a failure code; *read gets the bytes delivered.
    virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0;
    // IPackedFileStream::VerifyContent: 0 when the content read so far matches, 1 when it does not.
    virtual HRESULT VerifyContent() = 0;
    // The content checksum accumulated so far (a + b), for the mismatch note.
    virtual DWORD GetComputedChecksum() = 0;
};

class CSelfcheckEntry {
public:
    virtual ~CSelfcheckEntry() = default;
    virtual bool IsFile() const = 0;
    virtual bool IsDirectory() const = 0;
    // The path in the merged tree ("\$SETUP\GUI\gui.dll").
    virtual std::u16string GetFullPath() const = 0;
    virtual ULONGLONG GetSize64() const = 0;
    // The stored content checksum of a file.
    virtual DWORD GetStoredValue() const = 0;
    // Calls visit for every child of a directory in name order (case-insensitive); stops early when
    // visit returns false.
    virtual void ForEachChild(const std::function<bool(CSelfcheckEntry& child)>& visit) = 0;
    // A sequential stream on a file, or null when none can be opened (the file then passes).
    virtual std::unique_ptr<CSelfcheckStream> OpenStream() = 0;
};

// The self-check's back link to its manager.
class CSelfcheckOwner {
public:
    virtual ~CSelfcheckOwner() = default;
    // A view of the merged root for the file test, or null when nothing is mounted.
    virtual std::unique_ptr<CSelfcheckEntry> GetSelfcheckRoot() = 0;
};

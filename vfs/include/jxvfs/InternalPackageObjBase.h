// An entry of the package tree: a directory, a package root or a file.
//
// Every entry has two links upward: its parent in its package's own tree (the package link, which
// leads up to the InternalPackage) and its parent in the merged tree of all packages (the tree
// link, which gives its path). Entries are shared: a directory owns its children, a stream owns
// its file, and the links are weak, so an entry that outlives its tree (a file under an open
// stream after its package was removed) never reaches freed memory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "jxvfs/container/CMetaTree.h"

class InternalPackage;
class InternalPackageDir;
class IPackedFileStream;

// Modes of InternalPackageObjBase::OpenStream.
constexpr DWORD kStreamBlockCached = 0x400;   // read through the process-wide block cache
constexpr DWORD kStreamPrivateBlocks = 0x100; // with kStreamBlockCached: a private buffer per block

class InternalPackageObjBase : public std::enable_shared_from_this<InternalPackageObjBase> {
public:
    virtual ~InternalPackageObjBase();
    InternalPackageObjBase(const InternalPackageObjBase&) = delete;
    InternalPackageObjBase& operator=(const InternalPackageObjBase&) = delete;

    virtual bool IsFile() const { return false; }
    virtual bool IsDirectory() const { return false; }
    // No tree link and no package link (the merged root); a package root is a root too.
    virtual bool IsRoot() const { return false; }
    // No tree link but a package link; a package root is a package too.
    virtual bool IsPackage() const { return false; }
    virtual bool IsDisabled() const { return (m_flags & kDisabledFlag) != 0; }
    // Returns the previous disabled state of the entry itself; a directory applies the state to
    // its children and keeps its own.
    virtual bool SetEnabled(bool enabled);
    virtual const std::u16string& GetName() const { return m_name; }
    // The merged-tree path ("\$SETUP\GUI\gui.dll", "\" for the merged root). With inPackage, an
    // entry that belongs to a package gets "\..\<package>" in front: the path in the package's own
    // tree. A package root is "\..\<package>".
    virtual std::u16string GetFullPath(bool inPackage = false) const;
    virtual DWORD GetFileAttributes() const = 0;
    // The content checksum of a file; 0 otherwise.
    virtual DWORD GetStoredValue() const { return 0; }
    // The size of a file, the child count of a directory.
    virtual ULONGLONG GetSize64() const = 0;
    virtual DWORD GetSize(DWORD* high) const;
    virtual void GetFileTime(FILETIME* time) const;
    // A new stream on a file (the caller owns its one reference); null for other entries.
    virtual IPackedFileStream* OpenStream(DWORD mode) { return nullptr; }
    // The tree link and the package link (null when missing or gone).
    virtual InternalPackageDir* GetParent() const;
    virtual InternalPackageDir* GetPackage() const;
    // Takes the node's tagged values, then ApplyMetaData.
    virtual void AddTaggedValues(const META_NODE& node);
    virtual void ApplyMetaData(const META_NODE& node) {}
    // The first tag with the key: its integer (lengths 1, 2 and 4) or the address of its bytes,
    // with its length; 0 when there is none.
    virtual ULONG_PTR GetTaggedValue(BYTE key, DWORD* length) const;

    std::shared_ptr<InternalPackageDir> GetParentShared() const { return m_treeLink.lock(); }
    std::shared_ptr<InternalPackageDir> GetPackageLinkShared() const { return m_packageLink.lock(); }
    void SetLinks(const std::shared_ptr<InternalPackageDir>& packageLink,
                  const std::shared_ptr<InternalPackageDir>& treeLink);
    void SetPackageLink(const std::shared_ptr<InternalPackageDir>& packageLink) {
        m_packageLink = packageLink;
    }
    // The InternalPackage at the top of the package links (the entry itself for a package); null for
    // the merged root or when the package is gone.
    std::shared_ptr<InternalPackage> GetOwningPackage() const;
    const std::vector<META_TAG>& GetTags() const { return m_tags; }

protected:
    explicit InternalPackageObjBase(std::u16string name) : m_name(std::move(name)) {}

    static constexpr DWORD kDisabledFlag = 0x80000000u;

    DWORD m_flags = 0;
    std::u16string m_name;
    std::weak_ptr<InternalPackageDir> m_packageLink;
    std::weak_ptr<InternalPackageDir> m_treeLink;
    std::vector<META_TAG> m_tags;
};

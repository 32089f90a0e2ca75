// The file-system view of the mounted packages: paths such as "\$SETUP\GUI\gui.dll" resolve to
// entries of the merged package tree; directories are searched with wildcards; files are opened
// as streams, extracted to disk, copied, loaded as libraries or run from a temporary copy. The
// engine-control object derives from it (through CJxSetupWrap), and the GUI module calls its
// virtual operations by position, so their order is fixed: the destructor takes slots 0 and 1
// (Itanium C++ ABI), and the operation declared p-th (counting the destructor as the first) is
// slot p. Texts cross as std::u16string (see JxModuleAbi.h of the setup data).
//
// Paths (ResolvePath): components are separated by "\" and compare ignoring case. A path that
// begins with "\" starts at the merged root, "\..\" at the packages level, any other at the
// current directory. "." stays, ".." goes to the parent in the merged tree (from a root to the
// packages level), "$ROOT" to the merged root, "$PACKAGES" to the packages level; at the packages
// level a name picks a mounted package, whose own tree is then walked. An empty component is
// skipped at a root and fails elsewhere.
//
// The current directory is kept as the path that leads to it, so a removed package never leaves
// it pointing at freed entries: a path that no longer resolves just fails.
//
// Last errors (GetLastError reads and clears): -1 a path did not resolve, -2 a bad search handle or
// an unknown prepared file, -4 a search has no more entries, -5 the manager has no root, -6 a path
// is not a directory, -8 no manager is attached.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

extern int g_VirtualFSDebugLevel;

class IPackedFileStream;
class InternalPackageDir;
class InternalPackageFile;
class InternalPackageObjBase;
class PackageMgr;

// Flags of CopyFile and the Extract operations.
constexpr DWORD kVfsNoOverwrite = 0x2; // ExtractFile: an existing target file is left alone (-10)
constexpr DWORD kVfsIntoFolder = 0x8;  // CopyFile: the destination is a folder

// An open search of FindFirstFile: the directory whose children it ranges over, the file-name
// pattern (empty matches every name) and the last name it returned.
struct VFS_SEARCH {
    std::shared_ptr<InternalPackageDir> directory;
    std::u16string namePattern;
    std::u16string lastName;
    bool started = false;
};

// A file copied out of the packages to run or load it.
struct VFS_PREPARED_FILE {
    LONG refCount = 0;
    std::u16string vfsPath;
    std::u16string diskPath;
    HANDLE handle = nullptr; // module or process
};

class VirtualFS {
public:
    VirtualFS();
    virtual ~VirtualFS();
    VirtualFS(const VirtualFS&) = delete;
    VirtualFS& operator=(const VirtualFS&) = delete;

    // Takes the other object's manager (without binding a directory).
    virtual VirtualFS& CopyFrom(const VirtualFS& other);
    // Attaches the manager, then Refresh.
    virtual int Mount(PackageMgr* manager);
    virtual int GetLastError();
    // Copies at most size / 2 - 1 characters of the current directory and a NUL (nothing when the
    // size is below 2 bytes); returns the path's length in characters.
    virtual int GetCurrentDirectoryToBuffer(DWORD sizeInBytes, WCHAR* buffer);
    // The path of the current directory (bound to the merged root first when none is); empty when
    // not mounted.
    virtual std::u16string GetCurrentDirectory();
    // Makes the directory current (-6 when the path is no directory); returns GetCurrentDirectory.
    virtual std::u16string SetCurrentDirectory(const std::u16string& path);
    virtual std::u16string GetWorkingDirectory();
    virtual std::u16string ChangeDirectory(const std::u16string& path);
    // A search over a directory ("\$SETUP\GUI\*.png", a directory path, or a file path) and its
    // first match; INVALID_HANDLE_VALUE when nothing matches.
    virtual HANDLE FindFirstFile(const std::u16string& pattern, InternalPackageObjBase** entry);
    virtual bool FindNextFile(HANDLE search, InternalPackageObjBase** entry);
    virtual bool FindClose(HANDLE search);
    // The children of the pattern's directory that match it; 1 for a file; 0 when nothing resolves.
    virtual int CountMatches(const std::u16string& pattern);
    virtual int GetEntryCount();
    // Kind 0: every mounted package; otherwise the children of the path's directory (or the current
    // one) that are files (1, 3) or directories (2, 3), in name order; a file path gives the file.
    virtual void GetEntries(std::vector<InternalPackageObjBase*>& entries, int kind, const WCHAR* path);
    // Binds the current directory again (-8 without a manager); true when it still resolves.
    virtual int Refresh();
    // The entry of the path, or null (last error -1, or -8 without a manager). The entry lives as
    // long as the tree holds it.
    virtual InternalPackageObjBase* ResolvePath(const std::u16string& path);
    virtual InternalPackageFile* GetFile(const std::u16string& path);
    virtual InternalPackageFile* AsFile(InternalPackageObjBase* entry);
    // A new stream on a file entry (the caller releases it), or null.
    virtual IPackedFileStream* OpenStream(InternalPackageObjBase* entry, DWORD mode);
    virtual IPackedFileStream* OpenStreamByPath(const std::u16string& path, DWORD mode);
    // Extracts every match of the source to the destination (a folder when there are several, when
    // it exists as one or with kVfsIntoFolder). 0 on success, -2 when nothing matches, else the
    // first failing Extract's result.
    virtual int CopyFile(const std::u16string& sourcePattern, const std::u16string& destination, DWORD flags);
    virtual HMODULE LoadDll(const std::u16string& path, DWORD loadFlags, LPVOID unused);
    virtual BOOL FreeDll(HMODULE module);
    virtual HANDLE Execute(VFS_PREPARED_FILE* record, const WCHAR* commandLine, LPVOID unused1,
                           LPVOID unused2, LPVOID unused3, LPVOID startupInfo, LPVOID unused4);
    virtual void CleanupAfterExecution(VFS_PREPARED_FILE* record);
    virtual const WCHAR* AddReference(const std::u16string& path);
    virtual int ReleaseReference(const std::u16string& path);
    virtual VFS_PREPARED_FILE* PrepareForExecution(const std::u16string& path, const WCHAR* folder,
                                                   bool randomName);
    virtual std::u16string GetModulePath(HMODULE module);
    virtual int NoOpQuery(LPVOID unused) { return 0; }
    virtual void NoOpNotify(LPVOID unused) {}
    // True when the disk folder (base + "\" + path, or the path) exists or was created. Never
    // changes the process's current directory.
    virtual bool CreateDirectoryPath(const std::u16string& path, const WCHAR* base);
    // Under the extraction lock: ExtractDirectory or ExtractFile; -2 for a null entry.
    virtual int Extract(InternalPackageObjBase* entry, const std::u16string& target, DWORD flags);
    // Creates the target folder and extracts every child into it (subdirectories' files too, into the
    // same folder); the first non-zero result ends it.
    virtual int ExtractDirectory(InternalPackageObjBase* entry, const std::u16string& target);
    // Writes one file (into the target, or into the target folder under its own name) with its time
    // and attributes, checked against its checksums: 0, -2 not a file, -10 the target exists and
    // kVfsNoOverwrite, -9 the target cannot be created, -3 the content cannot be read or is damaged
    // (the partial file is deleted).
    virtual int ExtractFile(InternalPackageObjBase* entry, const std::u16string& target, DWORD flags);
    virtual void NoOp() {}
    virtual void UnloadAll();
    virtual void UnmountAll();
    virtual PackageMgr* GetPackageMgr();

protected:
    // Resolution that also yields the canonical path of the entry (the one kept as current directory).
    std::shared_ptr<InternalPackageObjBase> _vfs_Resolve(const std::u16string& path,
                                                         std::u16string* canonical);
    std::shared_ptr<InternalPackageDir> _vfs_CurrentDirectory();
    VFS_SEARCH* _find_Lookup(HANDLE search);
    // Splits a search pattern into its directory and file-name pattern; false when it yields nothing.
    bool _find_Parse(const std::u16string& pattern, std::shared_ptr<InternalPackageObjBase>& target,
                     std::u16string& namePattern);
    bool _extract_WriteContent(InternalPackageFile& file, HANDLE target);
    // ExtractFile with the target's attributes as the caller has just read them.
    int _extract_File(InternalPackageFile& file, const std::u16string& target, DWORD flags, DWORD present);

    PackageMgr* m_pPackageMgr = nullptr;
    std::u16string m_currentPath; // empty until bound
    int m_nLastError = 0;
    std::vector<std::unique_ptr<VFS_SEARCH>> m_Searches;
    std::vector<std::unique_ptr<VFS_PREPARED_FILE>> m_PreparedFiles;
    std::recursive_mutex m_filesMutex;
    std::recursive_mutex m_extractMutex;
    std::vector<std::u16string> m_DeleteLater;
};

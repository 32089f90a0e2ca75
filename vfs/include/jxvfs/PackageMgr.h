// The one package manager of the process: the open carriers, the packages read from them and the
// merged tree in which the top directories of all packages sit side by side under one unnamed root.
// It finds and checks the packages of a carrier (with its self-check), merges their trees by the
// scan mode, removes packages again and hands out virtual file systems over the merged root.
//
// Packages are kept in mount order. Entries, packages and carriers are shared: a package removed
// while a stream is open on one of its files leaves that stream readable, and a carrier stays open
// while any package read from it is mounted.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "jxvfs/InternalPackage.h"
#include "jxvfs/InternalPackageDir.h"
#include "jxvfs/repack/CPackageRepacker.h"
#include "jxvfs/selfcheck/CSelfcheck.h"
#include "jxvfs/selfcheck/SelfcheckTree.h"

class CMetaTree;
class VirtualFS;

// Scan modes: what happens to packages and files that are already present.
enum : int {
    kScanModeNewer = 0,   // every package is mounted; a file replaces an older one
    kScanModeKeep = 1,    // a package whose name is mounted is skipped; present files stay
    kScanModeReplace = 2, // a package of the same name is removed first; new files replace present ones
};

class PackageMgr {
public:
    // The one manager. The block cache and the decompression lock are made before it, so they are
    // destroyed after it.
    static PackageMgr* Instance();

    // ---- The operations the GUI module calls (in this order) ----
    // True when the last carrier mounted has no check marker or its marker differs from its times.
    virtual bool IsPackageFileChanged();
    virtual void DeleteCheckMarker();
    // Mounts the program file named by the command line (the own module file when the first word is
    // no file), with the self-check configured by the verbosity, option bits and progress window.
    virtual int MountExecutable(const WCHAR* commandLine, DWORD verbosity, DWORD options,
                                HWND progressWindow);
    // The self-check's result for the carrier (non-zero when mounted without fatal errors), 0 when
    // it could not be opened or scanned.
    virtual int MountPackageFile(const WCHAR* path);
    // MountPackageFile with the scan mode set for the call.
    virtual int MountPackageFileInMode(const WCHAR* path, int scanMode);
    virtual bool GetSelfcheckResult();
    virtual bool IsSelfcheckErrorFree();
    // A new virtual file system mounted on this manager (the caller deletes it), or null.
    virtual VirtualFS* CreateVirtualFS();
    // Adds the path of every open carrier.
    virtual void GetPackageFileNames(std::vector<std::u16string>& names);

    // ---- The engine's own use ----
    // Walks the carrier attached to the self-check and mounts its packages; true when the self-check
    // finds no error that counts.
    bool ScanPackages();
    // Makes the package just read by the self-check and merges its tree; the count of files added.
    int BuildRoot();
    // Removes the first mounted package of that name (ignoring case) and its files from the merged tree.
    void RemovePackage(const std::u16string& name);
    // The mounted packages in mount order.
    const std::vector<std::shared_ptr<InternalPackage>>& GetPackages() const { return m_packages; }
    // The first mounted package of that name (ignoring case), or null.
    std::shared_ptr<InternalPackage> FindPackage(std::u16string_view name) const;
    // Releases every package, carrier and the tree; the manager is then as new.
    void Cleanup();
    // Writes mounted packages into one package file (a locked target is replaced at the end of
    // the process); 1 when the target could be opened.
    int Repack(const std::vector<REPACK_ENTRY>& list, const std::u16string& target, DWORD flags,
               RepackCallbackDelegate* receiver);

    const std::shared_ptr<InternalPackageDir>& GetRoot() const { return m_root; }
    CSelfcheck& GetSelfcheck() { return m_selfcheck; }
    // Why the last MountPackageFile failed: one line per error of its carrier ("<path>: package
    // <name>: <check>"); empty after a mount that succeeded.
    const std::vector<std::u16string>& GetMountFailures() const { return m_mountFailures; }
    int GetScanMode() const { return m_scanMode; }
    const std::vector<std::shared_ptr<CPkgAccessor>>& GetCarriers() const { return m_carriers; }

private:
    PackageMgr();
    ~PackageMgr();
    PackageMgr(const PackageMgr&) = delete;
    PackageMgr& operator=(const PackageMgr&) = delete;

    // The self-check's view of the merged root for its file test.
    class CTreeOwner : public CSelfcheckOwner {
    public:
        explicit CTreeOwner(PackageMgr& manager) : m_manager(manager) {}
        std::unique_ptr<CSelfcheckEntry> GetSelfcheckRoot() override;

    private:
        PackageMgr& m_manager;
    };

    int _mount_File(const WCHAR* path);
    void _mount_ReadMarker(const std::u16string& path);
    void _mount_KeepFailures(const std::u16string& path, size_t firstEntry);
    int _build_Merge(const CMetaTree& tree, const std::shared_ptr<InternalPackage>& package);
    void _remove_FromDirectory(InternalPackageDir& directory, const InternalPackage& package);

    std::shared_ptr<InternalPackageDir> m_root;
    std::vector<std::shared_ptr<InternalPackage>> m_packages;
    std::vector<std::shared_ptr<CPkgAccessor>> m_carriers;
    CTreeOwner m_treeOwner;
    CSelfcheck m_selfcheck;
    // The carrier being mounted (the self-check only borrows it).
    std::shared_ptr<CPkgAccessor> m_mounting;
    std::u16string m_markerName;
    std::u16string m_fileTimes;
    std::vector<std::u16string> m_mountFailures;
    int m_scanMode = kScanModeNewer;
    bool m_bChanged = true;
};

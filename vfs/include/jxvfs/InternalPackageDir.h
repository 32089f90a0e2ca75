// A directory of the package tree: its children by name, ordered and matched ignoring case as
// _wcsicmp does (lower-case comparison), so two children of a directory never have names that
// compare equal.
#pragma once

#include <map>

#include "jxvfs/InternalPackageObjBase.h"

class InternalPackageFile;

struct PackageNameLess {
    bool operator()(std::u16string_view a, std::u16string_view b) const;
    using is_transparent = void;
};

using PackageChildMap = std::map<std::u16string, std::shared_ptr<InternalPackageObjBase>, PackageNameLess>;

class InternalPackageDir : public InternalPackageObjBase {
public:
    explicit InternalPackageDir(std::u16string name) : InternalPackageObjBase(std::move(name)) {}
    ~InternalPackageDir() override;

    bool IsDirectory() const override { return true; }
    bool IsRoot() const override;
    bool IsPackage() const override;
    bool SetEnabled(bool enabled) override;
    DWORD GetFileAttributes() const override { return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY; }
    ULONGLONG GetSize64() const override { return m_children.size(); }

    // Inserts the directory: returns it, or the present directory of that name (the new one is
    // not inserted), or null when a file has that name.
    std::shared_ptr<InternalPackageDir> AddDirectory(const std::shared_ptr<InternalPackageDir>& directory);
    // Inserts the file by the clash rule of the scan mode: true when it was inserted or replaced a
    // present file, false when the present entry stays (a directory of that name always stays).
    //   mode 0: replaces a present file only when that one's last-write time is strictly earlier;
    //   mode 1: keeps the present file;  mode 2: replaces the present file.
    bool AddFile(const std::shared_ptr<InternalPackageFile>& file, int scanMode);
    std::shared_ptr<InternalPackageObjBase> FindChild(std::u16string_view name) const;
    bool RemoveChild(std::u16string_view name);
    const PackageChildMap& GetChildren() const { return m_children; }

protected:
    PackageChildMap m_children;
};

// The presence test of one packaged path that the data model uses through m_FindPackagedFile.
#include "JxData_Packages.h"
#include "jxvfs/InternalPackageObjBase.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {

bool _pkg_FindPackagedFile(VirtualFS& vfs, const std::u16string& path) {
    InternalPackageObjBase* entry = nullptr;
    HANDLE search = vfs.FindFirstFile(path, &entry);
    // A handle of 0 counts as not found, as an invalid one does.
    if (search == INVALID_HANDLE_VALUE || search == nullptr)
        return false;
    vfs.FindClose(search);
    return true;
}

} // namespace JxSetup::Data

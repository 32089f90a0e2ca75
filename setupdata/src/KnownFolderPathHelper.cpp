// The 64-bit common program files folder, by its known folder or by the environment.
#include "jxsetupdata/KnownFolderPathHelper.h"

#include <vector>

namespace JxSetup::Data {

KnownFolderPathHelper::~KnownFolderPathHelper() = default;

std::u16string KnownFolderPathHelper::GetCommonFilesX64Folder() {
    std::u16string path;
    if (SUCCEEDED(GetPath(FOLDERID_ProgramFilesCommonX64, KF_FLAG_DEFAULT, path)))
        return path;
    // Where the known folder is missing, the environment may still name the folder. An unset
    // variable comes back as written.
    const WCHAR* const reference = u"%CommonProgramW6432%";
    const DWORD needed = ExpandEnvironmentStringsW(reference, nullptr, 0);
    if (needed <= 1)
        return u"";
    std::vector<WCHAR> buffer(needed, 0);
    const DWORD written = ExpandEnvironmentStringsW(reference, buffer.data(), needed);
    if (written == 0 || written > needed)
        return u"";
    std::u16string value(buffer.data());
    return value == reference ? u"" : value;
}

} // namespace JxSetup::Data

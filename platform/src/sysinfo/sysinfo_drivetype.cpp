// GetDriveTypeW: the machine's drives are folders below its root; the host is drive Z:.
#include <sys/stat.h>

#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"

UINT GetDriveTypeW(LPCWSTR rootPathName) {
    const std::u16string root = rootPathName ? std::u16string(rootPathName) : u"C:\\";
    const bool separatorOnly =
        root.size() == 2 || (root.size() == 3 && (root[2] == u'\\' || root[2] == u'/'));
    if (!separatorOnly || root[1] != u':')
        return DRIVE_NO_ROOT_DIR;
    const char16_t letter = jxtext::ToLowerChar(root[0]);
    if (letter < u'a' || letter > u'z')
        return DRIVE_NO_ROOT_DIR;
    if (letter == u'z')
        return DRIVE_REMOTE;
    struct stat status {};
    const std::string folder = jxplat::MachineRoot() + "/drive_" + static_cast<char>(letter);
    return ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

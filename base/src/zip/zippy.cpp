// Zippy::CreateZip over libzip. The engine names files with Windows paths; libzip gets the host
// paths they map to.
#include "jxbase/zippy.h"

#include <zip.h>

#include <windows.h>

#include "jxbase/textconv.h"
#include "jxbase/trace.h"
#include "jxplat/machine.h"
#include "jxplat/shlwapi.h"

namespace Zippy {
namespace {

zip_t* windows_zip_open(const std::u16string& archivePath, int flags, zip_error_t* error) {
    const std::string hostPath = jxplat::WindowsToHostPath(archivePath);
    if (hostPath.empty())
        return nullptr;
    zip_source_t* source = zip_source_file_create(hostPath.c_str(), 0, -1, error);
    if (!source)
        return nullptr;
    zip_t* archive = zip_open_from_source(source, flags, error);
    if (!archive)
        zip_source_free(source);
    return archive;
}

bool AddEntry(zip_t* archive, const std::u16string& sourcePath) {
    std::string name = MmsCmdWideToUtf8(PathFindFileNameW(sourcePath.c_str()));
    for (char& c : name) {
        if (c == '\\')
            c = '/';
    }
    const DWORD attributes = GetFileAttributesW(sourcePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return zip_dir_add(archive, name.c_str(), 0) >= 0;

    // A file that is in use (no sharing) or unreadable is not packed: the caller keeps it.
    HANDLE probe = CreateFileW(sourcePath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        DebugTrace(u"Zippy: %s cannot be opened (error %lu); not added", sourcePath.c_str(), GetLastError());
        return false;
    }
    CloseHandle(probe);

    const std::string hostPath = jxplat::WindowsToHostPath(sourcePath);
    zip_source_t* source = hostPath.empty() ? nullptr : zip_source_file(archive, hostPath.c_str(), 0, -1);
    if (!source)
        return false;
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, 0);
    if (index < 0) {
        DebugTrace(u"Zippy: %s not added: %s", sourcePath.c_str(), Utf8ToWide(zip_strerror(archive)).c_str());
        zip_source_free(source);
        return false;
    }
    // Deflate's fastest level: the archive is made while the program ends (the closed log), and
    // the text compresses well at any level.
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
    return true;
}

} // namespace

bool CreateZip(const std::u16string& archivePath, const std::u16string& sourcePath) {
    if (GetFileAttributesW(sourcePath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    zip_error_t error;
    zip_error_init(&error);
    bool result = false;
    zip_t* archive = windows_zip_open(archivePath, ZIP_CREATE, &error);
    if (!archive) {
        DebugTrace(u"Zippy: %s cannot be opened: %s", archivePath.c_str(),
                   Utf8ToWide(zip_error_strerror(&error)).c_str());
    } else {
        const bool added = AddEntry(archive, sourcePath);
        if (zip_close(archive) == 0) {
            result = added;
        } else {
            DebugTrace(u"Zippy: %s cannot be written: %s", archivePath.c_str(),
                       Utf8ToWide(zip_strerror(archive)).c_str());
            zip_discard(archive);
        }
    }
    zip_error_fini(&error);
    return result;
}

} // namespace Zippy

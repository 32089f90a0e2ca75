// Folders of the file record's helpers: parents, creation, copying, deletion and listing.
#include "jxbase/files.h"
#include "jxbase/guards.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr const char16_t* kModule = u"lib";
constexpr DWORD kDeleteEverything = JX_DELETE_RECURSE | JX_DELETE_REMOVE_SELF | JX_DELETE_REMOVE_SUBDIRS |
                                    JX_DELETE_FILES_AT_REBOOT | JX_DELETE_FOLDERS_AT_REBOOT;

const char16_t* _folder_ErrorName(DWORD error) {
    switch (error) {
    case ERROR_PATH_NOT_FOUND:
        return u"ERROR_PATH_NOT_FOUND";
    case ERROR_FILE_EXISTS:
        return u"ERROR_FILE_EXISTS";
    case ERROR_BAD_PATHNAME:
        return u"ERROR_BAD_PATHNAME";
    case ERROR_FILENAME_EXCED_RANGE:
        return u"ERROR_FILENAME_EXCED_RANGE";
    case ERROR_CANCELLED:
        return u"ERROR_CANCELLED";
    default:
        return u"";
    }
}

bool _folder_IsDots(const WCHAR* name) {
    return (name[0] == u'.' && name[1] == 0) || (name[0] == u'.' && name[1] == u'.' && name[2] == 0);
}

// Schedules one file for deletion at the next reboot; the DeleteFiles lines say how it went.
bool _delete_ScheduleFile(const std::u16string& path, const char16_t* failureFormat) {
    if (MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        Instance()->Log(LP_INFO, kModule, u"JxSetup::Data::JxFile::DeleteFiles",
                        u"Restart request detected...MoveFileEx scheduled successfully.\n");
        return true;
    }
    const DWORD error = GetLastError();
    Instance()->Log(LP_WARNING, kModule, u"JxSetup::Data::JxFile::DeleteFiles", failureFormat, path.c_str(),
                    static_cast<int>(error));
    return false;
}

} // namespace

std::u16string JxFile::GetParentFolder(const std::u16string& path, unsigned count) {
    std::u16string folder = FileExists(path) ? GetPathPart(path) : path;
    for (unsigned i = 0; i < count; ++i) {
        while (folder.size() > 1 && folder.back() == u'\\')
            folder.pop_back();
        folder = GetPathPart(folder);
    }
    return folder;
}

DWORD JxFile::PrepareDestinationDirectory(const std::u16string& folder) {
    constexpr const char16_t* context = u"JxSetup::Data::JxFile::PrepareDestinationDirectory";
    Instance()->Log(LOG_BEGIN, kModule, context, u"%s", folder.c_str());
    const DWORD result = static_cast<DWORD>(SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr));
    if (result == ERROR_SUCCESS) {
        Instance()->Log(LOG_END, kModule, context, u"Directory created successfully: %s", folder.c_str());
    } else if (result != ERROR_ALREADY_EXISTS) {
        Instance()->Log(LOG_END, kModule, context, u"CreateDirectory fails with error: %s",
                        _folder_ErrorName(result));
    }
    return result;
}

void JxFile::CopyDir(const std::u16string& source, const std::u16string& target, bool recursive) {
    constexpr const char16_t* context = u"JxSetup::Data::JxFile::CopyDir";
    Instance()->Log(LOG_BEGIN, kModule, context, u"Src: %s - Dst: %s - Recursive: %s", source.c_str(),
                    target.c_str(), recursive ? u"true" : u"false");
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(CombinePath(source, u"*.*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (_folder_IsDots(found.cFileName))
                continue;
            const std::u16string from = CombinePath(source, found.cFileName);
            const std::u16string to = CombinePath(target, found.cFileName);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (recursive)
                    CopyDir(from, to, recursive);
                continue;
            }
            PrepareDestinationDirectory(target);
            Instance()->Log(LP_INFO, kModule, context, u"Copy file %s to %s", from.c_str(), to.c_str());
            if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
                Instance()->Log(LP_ERROR, kModule, context, u"Failed to copy file %s to %s", from.c_str(),
                                to.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    Instance()->Log(LOG_END, kModule, context, u"");
}

bool JxFile::DeleteFiles(const std::u16string& folder, const std::u16string& mask, bool recursive,
                         bool& rebootNeeded) {
    constexpr const char16_t* context = u"JxSetup::Data::JxFile::DeleteFiles";
    Instance()->Log(LOG_BEGIN, kModule, context, u"Directory: %s Filemask: %s", folder.c_str(), mask.c_str());
    rebootNeeded = false;
    // The folder and the mask come from properties and rows: a folder that is relative, unresolved
    // or a root, or a mask that reaches into another folder, deletes nothing (and is never left to
    // the reboot either).
    if (!IsResolvedFolder(folder) || !IsSinglePathSegment(mask, true)) {
        Instance()->Log(LP_WARNING, kModule, context,
                        u"Invalid folder \"%s\" or mask \"%s\": nothing deleted.", folder.c_str(),
                        mask.c_str());
        Instance()->Log(LOG_END, kModule, context, u"false");
        return false;
    }
    // Without recursion only the folder's own files go (what cannot go now, at the next reboot).
    const DWORD flags = recursive ? kDeleteEverything : JX_DELETE_FILES_AT_REBOOT;
    const bool everything = jxtext::EqualsNoCase(mask, u"*.*");
    try {
        bool restart = false;
        if (everything) {
            const bool done =
                DeleteFileOrDirectory(folder.c_str(), recursive ? nullptr : u"*.*", flags, &restart);
            if (done)
                Instance()->Log(LP_INFO, kModule, context, u"All contents in %s deleted.", folder.c_str());
            else
                Instance()->Log(LP_WARNING, kModule, context, u"Can't delete all contents in %s.",
                                folder.c_str());
            // What was left to the reboot needs one.
            rebootNeeded = restart;
        } else {
            const bool done = DeleteFileOrDirectory(folder.c_str(), mask.c_str(), flags, &restart);
            rebootNeeded = restart;
            const std::u16string file = CombinePath(folder, mask);
            if (restart && GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES)
                _delete_ScheduleFile(file,
                                     u"Restart request detected...Error while scheduling copying action of "
                                     u"file \"%s\" after reboot. Errorcode: %d\n");
            if (done) {
                Instance()->Log(LP_INFO, kModule, context, u"File %s deleted.", file.c_str());
            } else {
                Instance()->Log(LP_WARNING, kModule, context, u"Can't delete file %s", file.c_str());
                if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES &&
                    _delete_ScheduleFile(file,
                                         u"Failed.\nError while scheduling copying action of file \"%s\" "
                                         u"after reboot. Errorcode: %d\n"))
                    rebootNeeded = true;
            }
        }
    } catch (...) {
        if (everything)
            Instance()->Log(LP_WARNING, kModule, context, u"Exception while deleting all contents in %s",
                            folder.c_str());
        else
            Instance()->Log(LP_WARNING, kModule, context, u"Exception while deleting file %s in folder %s.",
                            mask.c_str(), folder.c_str());
        rebootNeeded = false;
    }
    Instance()->Log(LOG_END, kModule, context, u"true");
    return true;
}

bool JxFile::DeleteEmptyDir(const std::u16string& folder) {
    constexpr const char16_t* context = u"JxSetup::Data::JxFile::DeleteEmptyDir";
    if (!IsResolvedFolder(folder)) {
        Instance()->Log(LP_WARNING, kModule, context, u"Invalid folder \"%s\": not removed.", folder.c_str());
        return false;
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Instance()->Log(LP_WARNING, kModule, context, u"Can't find %s", folder.c_str());
        return true;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        Instance()->Log(LP_WARNING, kModule, context, u"%s isn't a directory", folder.c_str());
        return false;
    }
    if (!RemoveDirectoryW(folder.c_str())) {
        Instance()->Log(LP_WARNING, kModule, context, u"Can't delete directory %s", folder.c_str());
        return false;
    }
    Instance()->Log(LP_INFO, kModule, context, u"Directory %s deleted.", folder.c_str());
    return true;
}

std::vector<std::u16string> JxFile::GetFilesInDirectory(const std::u16string& folder,
                                                        const std::u16string& mask) {
    constexpr const char16_t* context = u"JxSetup::Data::JxFile::GetFilesInDirectory";
    Instance()->Log(LOG_BEGIN, kModule, context, u"%s => %s", folder.c_str(), mask.c_str());
    std::vector<std::u16string> files;
    if (folder.empty() || mask.empty()) {
        Instance()->Log(LOG_END, kModule, context, u"Invalid params.");
        return files;
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Instance()->Log(LP_WARNING, kModule, context, u"Directory not found: %s", folder.c_str());
        return files;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        Instance()->Log(LP_WARNING, kModule, context, u"Path is not directory: %s", folder.c_str());
        return files;
    }
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(CombinePath(folder, mask).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files.push_back(CombinePath(folder, found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

} // namespace JxSetup::Data

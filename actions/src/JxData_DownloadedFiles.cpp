// CheckDownloadedFiles: the common update downloads newer packages next to the program and lists
// them in "Requiredfiles.xml". Before the packages of the module folder are mounted, every listed
// file is verified by its SHA-256 and the folder's packages that the list does not name are
// removed, so that a package of an older version is never mounted together with the new ones.
#include <string>
#include <vector>

#include "JxData_RemoveFiles.h"
#include "jxbase/files.h"
#include "jxbase/guards.h"
#include "jxbase/xml/document.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"
#include "jxvfs/PackageMgr.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kCheck = u"JxSetup::Data::JxData::CheckDownloadedFiles";
constexpr DWORD kMountSkipChecks = 0x40;

struct CDownloadedFile {
    std::u16string name;
    std::u16string sha;
    std::u16string length; // read, not compared
};

enum class CDownloadList { Missing, Read, Malformed };

CDownloadList _dl_ReadList(JxLog* log, const std::u16string& path, std::vector<CDownloadedFile>& files) {
    if (!JxFile::FileExists(path))
        return CDownloadList::Missing;
    log->Log(LP_INFO, kRemoveModule, kCheck, u"Parsing file %s.", path.c_str());
    CXMLDOMDocument document;
    CXMLDOMElement root;
    if (document.Create())
        root = document.Load(path.c_str());
    if (root.IsEmpty()) {
        log->Log(LP_WARNING, kRemoveModule, kCheck, u"File %s cannot be read: %s", path.c_str(),
                 document.GetParseError().GetReason().c_str());
        return CDownloadList::Malformed;
    }
    for (CXMLDOMNode row = root.GetFirstChildByName(u"Updatefile"); !row.IsEmpty();
         row = row.GetNextSibling()) {
        if (row.GetNodeType() == NODE_ELEMENT)
            files.push_back(
                {row.GetAttribute(u"name"), row.GetAttribute(u"sha"), row.GetAttribute(u"length")});
    }
    return CDownloadList::Read;
}

// One listed file: false when it is missing, not readable or corrupt (a corrupt one is deleted).
bool _dl_VerifyFile(JxLog* log, const std::u16string& folder, const CDownloadedFile& file) {
    if (!IsPathInsideFolder(file.name) || file.sha.empty()) {
        log->Log(LP_WARNING, kRemoveModule, kCheck, u"Invalid entry \"%s\" (sha \"%s\"): file not checked.",
                 file.name.c_str(), file.sha.c_str());
        return false;
    }
    const std::u16string path = JxFile::CombinePath(folder, file.name);
    if (!JxFile::FileExists(path)) {
        log->Log(LP_WARNING, kRemoveModule, kCheck, u"File %s not found.", path.c_str());
        return false;
    }
    const std::u16string sha = JxFile::CalcSHA256(path);
    if (sha.empty()) {
        // Unreadable is not corrupt: the file stays.
        log->Log(LP_WARNING, kRemoveModule, kCheck, u"Checksum of file %s cannot be computed.", path.c_str());
        return false;
    }
    if (jxtext::EqualsNoCase(sha, file.sha)) {
        log->Log(LP_INFO, kRemoveModule, kCheck, u"Checksum of file %s is ok.", path.c_str());
        return true;
    }
    log->Log(LP_WARNING, kRemoveModule, kCheck, u"Checksum invalid. Deleting file %s.", path.c_str());
    if (!DeleteFileW(path.c_str()))
        log->Log(LP_WARNING, kRemoveModule, kCheck, u"Failed to delete file %s", path.c_str());
    return false;
}

bool _dl_IsKept(const std::u16string& path, const std::vector<CDownloadedFile>& files,
                const std::vector<std::u16string>& mounted) {
    const std::u16string name = JxFile::GetFilePart(path);
    if (!name.empty() && (name.front() == u'{' || name.front() == u'$'))
        return true;
    for (const CDownloadedFile& file : files)
        if (jxtext::EqualsNoCase(name, file.name))
            return true;
    // A package that is mounted already (the one the wrapper took from the current folder, say)
    // is in use: removing it would pull it away from under the run.
    for (const std::u16string& carrier : mounted)
        if (jxtext::EqualsNoCase(path, carrier))
            return true;
    return false;
}

// The folder's packages that the list does not name; false when one of them stays.
bool _dl_RemoveUnneededPackages(JxLog* log, const std::u16string& folder,
                                const std::vector<CDownloadedFile>& files) {
    bool result = true;
    std::vector<std::u16string> mounted;
    PackageMgr::Instance()->GetPackageFileNames(mounted);
    for (const std::u16string& path : JxFile::GetFilesInDirectory(folder, u"*.wpk")) {
        if (_dl_IsKept(path, files, mounted)) {
            log->Log(LP_INFO, kRemoveModule, kCheck, u"Do not delete file: %s", path.c_str());
            continue;
        }
        log->Log(LP_WARNING, kRemoveModule, kCheck,
                 u"File %s is not needed and must be deleted to prevent update problems!", path.c_str());
        if (DeleteFileW(path.c_str())) {
            log->Log(LP_INFO, kRemoveModule, kCheck, u"File %s deleted.", path.c_str());
        } else {
            log->Log(LP_WARNING, kRemoveModule, kCheck, u"Failed to delete file %s", path.c_str());
            result = false;
        }
    }
    return result;
}

void _dl_DeleteConfigCopy(JxLog* log, const std::u16string& folder) {
    const std::u16string path = JxFile::CombinePath(folder, u"$CONFIG.kpw");
    if (!JxFile::FileExists(path)) {
        log->Log(LP_INFO, kRemoveModule, kCheck, u"File %s not found.", path.c_str());
        return;
    }
    if (DeleteFileW(path.c_str()))
        log->Log(LP_INFO, kRemoveModule, kCheck, u"File %s deleted.", path.c_str());
    else
        log->Log(LP_WARNING, kRemoveModule, kCheck, u"Failed to delet file %s.", path.c_str());
}

} // namespace

bool JxData::CheckDownloadedFiles(DWORD flags) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRemoveModule, kCheck, u"0x%x", static_cast<unsigned>(flags));
    const std::u16string folder = JxFile::RemoveTrailingBackslash(
        m_appDir.empty() ? JxFile::GetPathPart(GetExecutablePath()) : m_appDir);
    bool result = true;
    std::vector<CDownloadedFile> files;
    CDownloadList list = CDownloadList::Missing;
    if (!IsResolvedFolder(folder)) {
        // An empty, relative or root module folder is no folder of downloads to clean.
        log->Log(LP_WARNING, kRemoveModule, kCheck, u"Invalid module folder \"%s\": nothing checked.",
                 folder.c_str());
        result = (flags & kMountSkipChecks) != 0;
    } else {
        list = _dl_ReadList(log, JxFile::CombinePath(folder, u"Requiredfiles.xml"), files);
        if (flags & kMountSkipChecks) {
            log->Log(LP_INFO, kRemoveModule, kCheck, u"Skipping self test...");
        } else if (list == CDownloadList::Malformed) {
            // Without a readable list no package can be told unneeded: all of them stay.
            log->Log(LP_WARNING, kRemoveModule, kCheck, u"No file deleted.");
            result = false;
        } else {
            for (const CDownloadedFile& file : files)
                if (!_dl_VerifyFile(log, folder, file))
                    result = false;
            if (!_dl_RemoveUnneededPackages(log, folder, files))
                result = false;
            _dl_DeleteConfigCopy(log, folder);
        }
    }
    log->Log(LOG_END, kRemoveModule, kCheck, u"%s", result ? u"true" : u"false");
    return result;
}

} // namespace JxSetup::Data

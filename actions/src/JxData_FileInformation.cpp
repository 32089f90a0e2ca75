// File records of the file actions: what the disk, the mounted packages or a metadata row tell
// about one file.
#include "JxData_Files.h"

#include "jxbase/wow64guard.h"
#include "jxvfs/InternalPackageFile.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

// A decimal number of bytes, nothing else.
bool _info_IsByteCount(const std::u16string& text) {
    return !text.empty() && text.size() <= 19 &&
           text.find_first_not_of(u"0123456789") == std::u16string::npos;
}

} // namespace

JxFile& JxData::CollectFileInformation(JxFile& record, std::u16string& path, bool is64Bit) {
    CJxDataLock lock(*this);
    record = JxFile();
    CWow64FsRedirectionGuard redirection(is64Bit);
    path = ExpandProperties(path);
    WIN32_FIND_DATAW data{};
    HANDLE find = path.empty() ? INVALID_HANDLE_VALUE : FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        record.SetFullPath(path);
    } else {
        // The whole 64-bit size: a file above 2 GB must not read as a negative or wrapped size.
        const ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        record.size = jxtext::ToText(static_cast<unsigned long long>(size));
        record.version = JxFile::GetFileVersionString(path);
        record.lastwritetime = JxFile::FileTimeToString(data.ftLastWriteTime);
        record.sha.clear();
        record.SetFullPath(path);
        FindClose(find);
    }
    record.LogFileInformation();
    return record;
}

JxFile& JxData::CollectFileInformationFromVFS(JxFile& record, std::u16string& path) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::CollectFileInformationFromVFS";
    record = JxFile();
    path = ExpandProperties(path);
    if (!m_Vfs) {
        GetLog()->Log(LP_ERROR, kFilesModule, context, u"VFS is not initialized.");
        return record;
    }
    InternalPackageObjBase* entry = nullptr;
    HANDLE search = m_Vfs->FindFirstFile(path, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        GetLog()->Log(LP_WARNING, kFilesModule, context, u"File not found in vfs: %s", path.c_str());
    } else {
        InternalPackageFile* file = m_Vfs->GetFile(path);
        if (!file) {
            GetLog()->Log(LP_WARNING, kFilesModule, context, u"Can't find file object in vfs: %s",
                          path.c_str());
        } else {
            const ULONGLONG size = file->GetSize64();
            if (size == ~0ULL)
                GetLog()->Log(LP_WARNING, kFilesModule, context,
                              u"GetFileSize returned an invalid size for file %s. Errorcode: %d",
                              path.c_str(), static_cast<int>(GetLastError()));
            else
                record.size = jxtext::ToText(static_cast<unsigned long long>(size));
            // Only a recorded version is a version: a file without one has none (not "0.0.0.0").
            DWORD length = 0;
            if (file->GetTaggedValue(40, &length) != 0 || length != 0)
                record.version = file->GetVersionString();
            FILETIME time{};
            file->GetFileTime(&time);
            record.lastwritetime = JxFile::FileTimeToString(time);
            record.sha = file->GetHashText();
            record.m_bInPackage = true;
            record.SetFullPath(path);
        }
        m_Vfs->FindClose(search);
    }
    record.LogFileInformation();
    return record;
}

JxFile& JxData::CollectFileInformationFromPackageEntry(JxFile& record, const JxFile& row) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::CollectFileInformationFromPackageEntry";
    record = JxFile();
    // Records hold bytes, as records of files on disk do. A metadata row's "size" is kilobytes with
    // two decimals; the packaged file's own size is the exact figure, and a row read from a list
    // that carries bytes (a plain decimal number) is taken as it is. Anything else stays unknown
    // rather than being compared as a wrong number of bytes.
    std::u16string packagePath = u"\\" + row.componentid + u"\\";
    if (!row.language.empty())
        packagePath += row.language + u"\\";
    packagePath += row.name;
    InternalPackageFile* file = m_Vfs && !row.componentid.empty() ? m_Vfs->GetFile(packagePath) : nullptr;
    if (file && file->GetSize64() != ~0ULL) {
        record.size = jxtext::ToText(static_cast<unsigned long long>(file->GetSize64()));
    } else if (_info_IsByteCount(row.size)) {
        record.size = row.size;
    } else if (!row.size.empty()) {
        GetLog()->Log(LP_WARNING, kFilesModule, context, u"Size of %s in bytes is unknown (%s).",
                      row.name.c_str(), row.size.c_str());
    }
    record.version = row.version;
    record.lastwritetime = row.lastwritetime;
    record.sha = row.sha;
    record.SetFullPath(row.name);
    record.LogFileInformation();
    return record;
}

} // namespace JxSetup::Data

// Files copied out of the packages to be loaded as libraries or started as programs. Each copy has
// a record (VFS path, disk path, reference count, module or process handle); records are found by
// their VFS path ignoring case, and whether a record holds a module or a process is stored with it,
// never guessed from the handle. The last release unloads the module and deletes the copy.
#include <algorithm>
#include <map>
#include <random>

#include "jxbase/secretmask.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"
#include "jxvfs/InternalPackageObjBase.h"
#include "jxvfs/VirtualFS.h"
#include "jxvfs/container/PackageTrace.h"

namespace {

enum class CPreparedKind { File, Module, Process };

// What each live record holds, by record. Records are made and dropped only in this file.
class CPreparedKinds {
public:
    void Set(const VFS_PREPARED_FILE* record, CPreparedKind kind) {
        std::lock_guard<std::mutex> guard(m_Guard);
        m_Kinds[record] = kind;
    }
    CPreparedKind Get(const VFS_PREPARED_FILE* record) {
        std::lock_guard<std::mutex> guard(m_Guard);
        auto found = m_Kinds.find(record);
        return found == m_Kinds.end() ? CPreparedKind::File : found->second;
    }
    void Erase(const VFS_PREPARED_FILE* record) {
        std::lock_guard<std::mutex> guard(m_Guard);
        m_Kinds.erase(record);
    }

private:
    std::mutex m_Guard;
    std::map<const VFS_PREPARED_FILE*, CPreparedKind> m_Kinds;
};

CPreparedKinds& Kinds() {
    static auto* kinds = new CPreparedKinds; // outlives every VirtualFS, also static ones
    return *kinds;
}

const char16_t kNameAlphabet[] = u"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_~";
constexpr int kNameAttempts = 64;

// "jx" + 8 random characters + ".dll.tmp". The random device, not a clock-seeded generator: two
// processes extracting at the same moment must not draw the same name.
std::u16string _prep_RandomName() {
    static std::mutex guard;
    static std::random_device device;
    std::lock_guard<std::mutex> lock(guard);
    std::u16string name = u"jx";
    for (int i = 0; i < 8; ++i)
        name += kNameAlphabet[device() & 0x3F];
    return name + u".dll.tmp";
}

std::u16string _prep_WithSeparator(std::u16string folder) {
    if (folder.empty() || (folder.back() != u'\\' && folder.back() != u'/'))
        folder += u'\\';
    return folder;
}

// The folder for temporary copies, ending in "\".
std::u16string _prep_TempFolder() {
    WCHAR buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length > 0 && length <= MAX_PATH)
        return _prep_WithSeparator(std::u16string(buffer, length));
    return u"C:\\Windows\\temp\\";
}

// Takes a new name in the folder by creating it exclusively; the extraction then fills it.
bool _prep_ReserveRandomFile(const std::u16string& folder, std::u16string& path) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        path = folder + _prep_RandomName();
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

void LogError(const WCHAR* context, const WCHAR* format, const std::u16string& text) {
    JxSetup::Data::Instance()->Log(JxSetup::Data::LP_ERROR, u"lib", context, format, text.c_str());
}

} // namespace

VFS_PREPARED_FILE* VirtualFS::PrepareForExecution(const std::u16string& path, const WCHAR* folder,
                                                  bool randomName) {
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    for (const auto& record : m_PreparedFiles)
        if (jxtext::EqualsNoCase(record->vfsPath, path))
            return record.get();

    InternalPackageObjBase* entry = ResolvePath(path);
    const bool isFile = entry && entry->IsFile();
    JX_PKG_TRACE(3, u"VirtualFS::PrepareForExecution", u"Resolving file %s: File is %sin VFS.\n",
                 path.c_str(), isFile ? u"" : u"NOT ");
    if (!isFile)
        return nullptr;
    JX_PKG_TRACE(3, u"VirtualFS::PrepareForExecution",
                 u"File %s is not yet decompressed. Generating temp file!\n", path.c_str());

    const std::u16string target =
        _prep_WithSeparator(folder && *folder ? std::u16string(folder) : _prep_TempFolder());
    std::u16string diskPath;
    if (randomName) {
        if (!_prep_ReserveRandomFile(target, diskPath)) {
            JX_PKG_TRACE(1, u"VirtualFS::PrepareForExecution", u"No temporary name in %s (%u).\n",
                         target.c_str(), ::GetLastError());
            return nullptr;
        }
    } else {
        const size_t cut = path.find_last_of(u"\\/");
        diskPath = target + (cut == std::u16string::npos ? path : path.substr(cut + 1));
    }
    JX_PKG_TRACE(3, u"VirtualFS::PrepareForExecution", u"File %s in will be extracted to: %s.\n",
                 path.c_str(), diskPath.c_str());
    if (CopyFile(path, diskPath, 0) != 0) {
        JX_PKG_TRACE(1, u"VirtualFS::PrepareForExecution", u"Extraction failed.\n");
        if (randomName)
            DeleteFileW(diskPath.c_str()); // the reserved name
        return nullptr;
    }
    JX_PKG_TRACE(3, u"VirtualFS::PrepareForExecution", u"Extraction ok.\n");
    auto record = std::make_unique<VFS_PREPARED_FILE>();
    record->vfsPath = path;
    record->diskPath = diskPath;
    Kinds().Set(record.get(), CPreparedKind::File);
    m_PreparedFiles.push_back(std::move(record));
    return m_PreparedFiles.back().get();
}

HMODULE VirtualFS::LoadDll(const std::u16string& path, DWORD loadFlags, LPVOID) {
    if (path.empty())
        return nullptr;
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    VFS_PREPARED_FILE* record = PrepareForExecution(path, nullptr, true);
    if (!record) {
        JX_PKG_TRACE(2, u"VirtualFS::LoadDll", u"DLL could not be prepared: %s\n.\n", path.c_str());
        return nullptr;
    }
    if (record->refCount++ == 0) {
        record->handle = LoadLibraryExW(record->diskPath.c_str(), nullptr, loadFlags);
        Kinds().Set(record, CPreparedKind::Module);
        if (!record->handle) {
            // A copy that does not load is released at once instead of lingering with a reference.
            LogError(u"VirtualFS::LoadDll", u"Loading %s failed", record->diskPath);
            ReleaseReference(path);
            return nullptr;
        }
    }
    JX_PKG_TRACE(3, u"VirtualFS::LoadDll", u"DLL %s loaded. HINSTANCE: %p, Ref: %i\n.\n", path.c_str(),
                 record->handle, record->refCount);
    return static_cast<HMODULE>(record->handle);
}

BOOL VirtualFS::FreeDll(HMODULE module) {
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    auto found = std::find_if(m_PreparedFiles.begin(), m_PreparedFiles.end(), [&](const auto& record) {
        return module && record->handle == module && Kinds().Get(record.get()) == CPreparedKind::Module;
    });
    if (found == m_PreparedFiles.end())
        return FALSE;
    return ReleaseReference((*found)->vfsPath) == 0 ? TRUE : FALSE;
}

HANDLE VirtualFS::Execute(VFS_PREPARED_FILE* record, const WCHAR* commandLine, LPVOID, LPVOID, LPVOID,
                          LPVOID startupInfo, LPVOID) {
    if (!record || record->diskPath.empty())
        return nullptr;
    STARTUPINFOW startup = {};
    if (startupInfo)
        startup = *static_cast<const STARTUPINFOW*>(startupInfo);
    else
        startup.cb = sizeof(startup);
    JX_PKG_TRACE(3, u"VirtualFS::Execute", u"Executing: %s %s\n", record->diskPath.c_str(),
                 MaskProtectedArguments(commandLine ? commandLine : u"").c_str());
    // CreateProcessW may write into the command line.
    std::u16string line = commandLine ? std::u16string(commandLine) : std::u16string();
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(record->diskPath.c_str(), commandLine ? line.data() : nullptr, nullptr, nullptr, TRUE,
                        0, nullptr, nullptr, &startup, &info)) {
        LogError(u"VirtualFS::Execute", u"Starting %s failed", record->diskPath);
        return nullptr;
    }
    CloseHandle(info.hThread);
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    record->handle = info.hProcess;
    Kinds().Set(record, CPreparedKind::Process);
    return info.hProcess;
}

void VirtualFS::CleanupAfterExecution(VFS_PREPARED_FILE* record) {
    if (!record)
        return;
    JX_PKG_TRACE(10, u"VirtualFS::CleanupAfterExecution", u"Cleaning up %s.\n", record->vfsPath.c_str());
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    // The release drops the record: keep what is needed of it.
    const std::u16string vfsPath = record->vfsPath;
    const std::u16string diskPath = record->diskPath;
    if (ReleaseReference(vfsPath) == 0 && GetFileAttributesW(diskPath.c_str()) != INVALID_FILE_ATTRIBUTES)
        m_DeleteLater.push_back(diskPath);
}

const WCHAR* VirtualFS::AddReference(const std::u16string& path) {
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    for (const auto& record : m_PreparedFiles) {
        if (jxtext::EqualsNoCase(record->vfsPath, path)) {
            ++record->refCount;
            return record->diskPath.c_str();
        }
    }
    m_nLastError = -2;
    return nullptr;
}

int VirtualFS::ReleaseReference(const std::u16string& path) {
    JX_PKG_TRACE(10, u"VirtualFS::ReleaseReference", u"-> Release Reference (%s)\n", path.c_str());
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    m_nLastError = -2;
    auto found = std::find_if(m_PreparedFiles.begin(), m_PreparedFiles.end(), [&](const auto& record) {
        return jxtext::EqualsNoCase(record->vfsPath, path);
    });
    if (found == m_PreparedFiles.end()) {
        JX_PKG_TRACE(10, u"VirtualFS::ReleaseReference", u"<- Release Reference\n");
        return 0;
    }
    m_nLastError = 0;
    VFS_PREPARED_FILE& record = **found;
    JX_PKG_TRACE(10, u"VirtualFS::ReleaseReference", u"Found. File has %i references.\n", record.refCount);
    if (--record.refCount > 0) {
        JX_PKG_TRACE(10, u"VirtualFS::ReleaseReference", u"<- Release Reference\n");
        return record.refCount;
    }
    if (Kinds().Get(&record) == CPreparedKind::Module && record.handle) {
        JX_PKG_TRACE(10, u"VirtualFS::ReleaseReference", u"Released last reference. Unloading Library %s.\n",
                     record.diskPath.c_str());
        FreeLibrary(static_cast<HMODULE>(record.handle));
        JX_PKG_TRACE(10, u"VirtualFS::ReleaseReference", u"Unloading %s. LastError code: %i\n",
                     record.diskPath.c_str(), static_cast<int>(::GetLastError()));
    }
    if (!DeleteFileW(record.diskPath.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
        m_DeleteLater.push_back(record.diskPath);
    Kinds().Erase(&record);
    m_PreparedFiles.erase(found);
    JX_PKG_TRACE(10, u"VirtualFS::ReleaseReference", u"<- Release Reference\n");
    return 0;
}

std::u16string VirtualFS::GetModulePath(HMODULE module) {
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    for (const auto& record : m_PreparedFiles)
        if (module && record->handle == module && Kinds().Get(record.get()) == CPreparedKind::Module)
            return record->diskPath;
    m_nLastError = -2;
    return std::u16string();
}

void VirtualFS::UnloadAll() {
    // At most 250 ms for the files mutex; without it the list is left alone.
    std::unique_lock<std::recursive_mutex> guard(m_filesMutex, std::try_to_lock);
    for (int waited = 0; !guard.owns_lock() && waited < 250; waited += 10) {
        Sleep(10);
        guard.try_lock();
    }
    if (!guard.owns_lock()) {
        LogError(u"VirtualFS::UnloadAll", u"%s", u"The prepared files are busy; nothing unloaded");
        return;
    }
    JX_PKG_TRACE(10, u"VirtualFS::UnloadAll", u"Unloading *all* referenced and not yet freed libraries.\n");
    while (!m_PreparedFiles.empty()) {
        VFS_PREPARED_FILE& record = *m_PreparedFiles.back();
        JX_PKG_TRACE(10, u"VirtualFS::UnloadAll", u"%i mapped objects left.\n",
                     static_cast<int>(m_PreparedFiles.size()));
        if (record.handle && Kinds().Get(&record) == CPreparedKind::Module) {
            JX_PKG_TRACE(10, u"VirtualFS::UnloadAll", u"Unloading %s (Handle: %08X, %i references)\n",
                         record.diskPath.c_str(),
                         static_cast<unsigned>(reinterpret_cast<uintptr_t>(record.handle)), record.refCount);
            for (LONG i = 0; i < record.refCount; ++i)
                FreeLibrary(static_cast<HMODULE>(record.handle));
        }
        // The copies stay on the disk.
        Kinds().Erase(&record);
        m_PreparedFiles.pop_back();
    }
}

// The log writer's file: where it lies, opening it with its header, renaming it while the run goes
// on, closing it with its footer, and the worker's writes.
#include "jxsetupdata/JxLog.h"

#include <algorithm>
#include <bit>
#include <ctime>

#include "jxbase/guards.h"
#include "jxbase/trace.h"
#include "jxbase/zippy.h"
#include "jxplat/shlobj.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

static_assert(std::endian::native == std::endian::little, "the log is written as UTF-16LE code units");

constexpr const WCHAR* kModule = u"Logger";
constexpr const char16_t kHeader[] =
    u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"yes\"?>\r\n<LogFile>\r\n";
constexpr const char16_t kFooter[] = u"</LogFile>";
// The worker writes a batch at the latest when it holds this many characters.
constexpr size_t kWriteChunkChars = 32 * 1024;

// The machine's common application data folder; empty when the shell cannot name it.
std::u16string _log_CommonAppDataFolder() {
    WCHAR path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
        return u"";
    return path;
}

} // namespace

bool JxLog::_log_IsPlainFileName(std::u16string_view name) {
    return IsSinglePathSegment(name);
}

std::u16string JxLog::_log_Suffix() const {
    // "_dd_mm_yyyy_HH_MM_SS_<pid>.log", local time of opening.
    const time_t now = std::time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    return jxtext::Format(u"_%02d_%02d_%04d_%02d_%02d_%02d_%i.log", local.tm_mday, local.tm_mon + 1,
                          local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                          static_cast<int>(m_ProcessId));
}

bool JxLog::OpenLogFile() {
    CSectionGuard guard(m_Section);
    if (!m_LogFilePath.empty())
        return m_bOpened;
    if (GetDoNotLog())
        return false;
    const std::u16string appData = _log_CommonAppDataFolder();
    if (appData.empty())
        return false;
    m_LogsFolder = appData + u"\\Tolvane\\Setups\\Logs";
    m_Suffix = _log_Suffix();
    m_LogFilePath =
        m_LogsFolder + u"\\" + (m_CmdLineFileName.empty() ? u"Log" + m_Suffix : m_CmdLineFileName);

    const size_t slash = m_LogFilePath.rfind(u'\\');
    if (slash == std::u16string::npos || slash < 3)
        return false;
    const int created = SHCreateDirectoryExW(nullptr, m_LogFilePath.substr(0, slash).c_str(), nullptr);
    if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS)
        JX_ENGINE_TRACE(0, u"JxSetup::Data::JxLog::OpenLogFile",
                        u"Cannot create the logs folder (error %i)\n", created);
    // The path stays set when the file cannot be made: the run's lines are then dropped.
    if (!_file_Open(true) || !_file_Write(kHeader)) {
        JX_ENGINE_TRACE(0, u"JxSetup::Data::JxLog::OpenLogFile", u"Cannot create the log file %s\n",
                        m_LogFilePath.c_str());
        _file_Close();
        return false;
    }
    m_bOpened = true;
    if (!Start(INFINITE, INFINITE))
        JX_ENGINE_TRACE(0, u"JxSetup::Data::JxLog::OpenLogFile", u"The log writer's thread did not start\n");
    return true;
}

void JxLog::ChangeLogFile(const WCHAR* name) {
    if (!name || !*name)
        return;
    CSectionGuard guard(m_Section);
    if (!m_CmdLineFileName.empty() || !m_bOpened || m_hFile == INVALID_HANDLE_VALUE)
        return;
    if (!_log_IsPlainFileName(name)) {
        Log(LP_ERROR, kModule, u"ChangeLogFile", u"\"%s\" is not a file name; the log file keeps its name",
            name);
        return;
    }
    const std::u16string newPath = m_LogsFolder + u"\\" + name + m_Suffix;
    if (jxtext::EqualsNoCase(newPath, m_LogFilePath))
        return;

    CloseLogFile(false);
    // An existing file of the new name is not replaced.
    const bool renamed = MoveFileW(m_LogFilePath.c_str(), newPath.c_str()) != FALSE;
    if (renamed)
        m_LogFilePath = newPath;
    if (!_file_Open(false)) {
        JX_ENGINE_TRACE(0, u"JxSetup::Data::JxLog::ChangeLogFile", u"Cannot reopen the log file %s\n",
                        m_LogFilePath.c_str());
        return;
    }
    Start(INFINITE, INFINITE);
    const std::u16string current = m_LogFilePath;
    if (renamed)
        Log(LP_INFO, kModule, u"ChangeLogFile", u"New Logfile %s", current.c_str());
    else
        Log(LP_ERROR, kModule, u"ChangeLogFile", u"The log file could not be renamed to %s; %s goes on",
            newPath.c_str(), current.c_str());
}

void JxLog::CloseLogFile(bool final) {
    CSectionGuard guard(m_Section);
    // Once opened, the file is closed even when logging was switched off since: it needs its footer.
    if (!m_bOpened)
        return;
    bool footerWritten = false;
    if (m_hFile != INVALID_HANDLE_VALUE) {
        Stop(); // the worker writes every queued line before it ends
        if (final)
            footerWritten = _file_Write(kFooter);
        _file_Close();
    }
    if (final) {
        // A file closed before without its footer (CloseLogFile(false)) still gets it.
        if (!footerWritten && !m_LogFilePath.empty() && _file_Open(false)) {
            _file_Write(kFooter);
            _file_Close();
        }
        const std::u16string closed = m_LogFilePath;
        m_LogFilePath.clear();
        m_bOpened = false;
        if (!closed.empty())
            _file_Zip(closed);
    }
}

void JxLog::_file_Zip(const std::u16string& path) {
    // The plain file goes only once the archive holds it; otherwise it stays as it is.
    if (!Zippy::CreateZip(path + u".zip", path)) {
        DebugTrace(u"JxLog: %s could not be packed into a zip archive; the log file stays", path.c_str());
        return;
    }
    if (!DeleteFileW(path.c_str()))
        DebugTrace(u"JxLog: %s was packed but cannot be deleted (error %lu)", path.c_str(), GetLastError());
}

void JxLog::ProcessItem(CStringW& line) {
    try {
        m_WriteBuffer += line;
        if (m_WriteBuffer.size() >= kWriteChunkChars)
            _file_Flush();
    } catch (...) {
        // A line that cannot be kept is lost; the run goes on.
    }
}

void JxLog::OnItemsProcessed() {
    _file_Flush();
}

bool JxLog::_file_Open(bool truncate) {
    // CREATE_ALWAYS for a new file; OPEN_ALWAYS and writing at its end for a renamed one. Readers
    // may look at the file while the run writes it.
    m_hFile = CreateFileW(m_LogFilePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER none = {};
    if (!truncate && !SetFilePointerEx(m_hFile, none, nullptr, FILE_END)) {
        _file_Close();
        return false;
    }
    m_bWriteFailed = false;
    return true;
}

bool JxLog::_file_Write(std::u16string_view text) {
    if (m_hFile == INVALID_HANDLE_VALUE)
        return false;
    const BYTE* data = reinterpret_cast<const BYTE*>(text.data());
    size_t left = text.size() * sizeof(char16_t);
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(left, 0x40000000u));
        DWORD written = 0;
        if (!WriteFile(m_hFile, data, chunk, &written, nullptr) || written == 0) {
            // Traced once per file: a full disk would otherwise repeat it for every batch.
            const DWORD error = GetLastError();
            if (!m_bWriteFailed)
                JX_ENGINE_TRACE(0, u"JxSetup::Data::JxLog::_file_Write", u"Writing %s failed (error %lu)\n",
                                m_LogFilePath.c_str(), error);
            m_bWriteFailed = true;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

void JxLog::_file_Flush() {
    // A failed write is not retried: the lines are dropped and the run goes on.
    _file_Write(m_WriteBuffer);
    m_WriteBuffer.clear();
}

void JxLog::_file_Close() {
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

} // namespace JxSetup::Data

// The run's log: every component reports through one call (level, module, context, format). Callers
// format and queue; the writer's worker thread appends the lines to a UTF-16 XML file in the logs
// folder of the machine, so a slow disk never blocks the installation.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include <windows.h>

#include "jxbase/CSvcThreadEx.h"

using CStringW = std::u16string;

namespace JxSetup::Data {

enum JxLogLevel {
    LOG_NONE = 0,
    LP_ERROR = 1,
    LP_WARNING = 2,
    HP_INFO = 3,
    MP_INFO = 4,
    LP_INFO = 5,
    LOG_BEGIN = 6,
    LOG_END = 7,
};

// Name of a level ("ERROR", "WARNING", "HP_INFO", ...), the empty text for 0 and invalid levels.
const WCHAR* LogLevelName(int level);

class JxLog : public CSvcThreadEx<CStringW> {
public:
    using Capture = std::function<void(int level, std::u16string_view module, std::u16string_view context,
                                       std::u16string_view)>;

    JxLog();
    ~JxLog() override;
    JxLog(const JxLog&) = delete;
    JxLog& operator=(const JxLog&) = delete;

    // Closes the file for good and forgets the run: the next Instance() is a writer without a file
    // that reads its registry and command-line options again.
    virtual void Release();
    // One entry line when the level passes the module's threshold and logging is on; a copy to the
    // debugger output when the level is within the registry's DebugLevel.
    virtual void Log(int level, const WCHAR* module, const WCHAR* context, const WCHAR* format, ...);
    // One property line; values of protected properties ("__" names) are masked.
    virtual void LogProperty(const WCHAR* name, const WCHAR* value, const WCHAR* localizable,
                             const WCHAR* locked, const WCHAR* numeric);
    // Creates "Log_<time>_<pid>.log" (or the command line's _LogFile) in the logs folder and starts
    // the worker. False when logging is off or the file cannot be created.
    virtual bool OpenLogFile();
    virtual void SetModuleLevel(int level, const WCHAR* module);
    // Renames the open file to <name><suffix> in the logs folder and goes on writing it.
    virtual void ChangeLogFile(const WCHAR* name);
    virtual void SetDoNotLog(bool flag);
    // Writes every queued line and closes the file; a final close appends the footer and ends the
    // file's use (later lines are dropped).
    virtual void CloseLogFile(bool final);
    virtual void QueueLine(CStringW line);
    // Removes trailing tabs, CR, LF and blanks.
    virtual void TrimTrailingWhitespace(CStringW& buffer);
    // The current log file path (Windows path), empty when there is none.
    virtual CStringW GetLogFileName();
    // Reads _DoNotLog and _LogFile from GetCommandLineW.
    virtual void ReadCommandLineOptions();
    // The same from a given command line (the process's line is fixed once read).
    void ReadCommandLineOptions(std::u16string_view commandLine);

    bool GetDoNotLog() const { return m_bDoNotLog.load(std::memory_order_relaxed); }

    // Hands every Log call of this process (level, module, context, formatted message) to a test
    // as well, whatever the file state; an empty function removes it.
    static void SetCaptureForTesting(Capture capture);

protected:
    // The worker's write of one line (WriteLine), and the end of a batch of them.
    void ProcessItem(CStringW& line) override;
    void OnItemsProcessed() override;

private:
    friend JxLog* Instance();

    // Holds the writer's critical section for one scope.
    class CSectionGuard {
    public:
        explicit CSectionGuard(CRITICAL_SECTION& section) : m_section(section) {
            EnterCriticalSection(&m_section);
        }
        ~CSectionGuard() { LeaveCriticalSection(&m_section); }
        CSectionGuard(const CSectionGuard&) = delete;
        CSectionGuard& operator=(const CSectionGuard&) = delete;

    private:
        CRITICAL_SECTION& m_section;
    };

    void _init_ReadSettings();
    void _init_ResetIfReleased();
    std::u16string _log_Suffix() const;
    bool _file_Open(bool truncate);
    bool _file_Write(std::u16string_view text);
    void _file_Flush();
    void _file_Close();
    // Packs the closed file into "<file>.zip" and deletes it when that succeeded.
    void _file_Zip(const std::u16string& path);
    bool _log_PassesModule(int level, const WCHAR* module);
    void _log_Capture(int level, const WCHAR* module, const WCHAR* context, std::u16string_view message);

    static void _xml_AppendCData(std::u16string& out, std::u16string_view text);
    static void _xml_AppendAttribute(std::u16string& out, std::u16string_view text);
    static void _log_AppendDateTime(std::u16string& out, bool withDate);
    static bool _log_IsPlainFileName(std::u16string_view name);

    CStringW m_LogFilePath;
    const DWORD m_ProcessId;
    const int m_DefaultModuleLevel = 7;
    std::atomic<int> m_DebugLevel{0};
    std::atomic<bool> m_bDoNotLog{false};
    std::map<std::u16string, int, std::less<>> m_ModuleLevels;
    SRWLOCK m_ModuleLock = SRWLOCK_INIT; // guards m_ModuleLevels
    // Guards the file handle, the path and queueing; re-entered by CloseLogFile from ChangeLogFile.
    CRITICAL_SECTION m_Section;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    bool m_bWriteFailed = false; // a write to the open file failed (traced once)
    CStringW m_CmdLineFileName;
    CStringW m_Suffix;
    CStringW m_LogsFolder;
    bool m_bOpened = false;
    std::atomic<bool> m_bNeedsInit{false};
    std::u16string m_WriteBuffer; // the worker's lines of one batch, written at once
};

// The process-wide log writer, created on first use and living until the process ends.
JxLog* Instance();

} // namespace JxSetup::Data

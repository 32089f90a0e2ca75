// The log writer's life and settings: the process-wide instance, its registry and command-line
// options and the module thresholds.
#include "jxsetupdata/JxLog.h"

#include "jxbase/reg.h"
#include "jxbase/trace.h"
#include "jxplat/processenv.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kEngineKey = u"JxSetupEngine";

} // namespace

const WCHAR* LogLevelName(int level) {
    static const WCHAR* const names[] = {u"",        u"ERROR",   u"WARNING", u"HP_INFO",
                                         u"MP_INFO", u"LP_INFO", u"BEGIN",   u"END"};
    return level >= 0 && level <= 7 ? names[level] : u"";
}

JxLog* Instance() {
    // Never destroyed: threads may log until the process ends. Release() only resets it.
    static JxLog* const log = new JxLog;
    log->_init_ResetIfReleased();
    return log;
}

JxLog::JxLog() : m_ProcessId(GetCurrentProcessId()) {
    InitializeCriticalSection(&m_Section);
    _init_ReadSettings();
}

JxLog::~JxLog() {
    CloseLogFile(true);
    Stop();
    DeleteCriticalSection(&m_Section);
}

void JxLog::_init_ReadSettings() {
    AcquireSRWLockExclusive(&m_ModuleLock);
    m_ModuleLevels.clear();
    m_ModuleLevels[u""] = m_DefaultModuleLevel;
    ReleaseSRWLockExclusive(&m_ModuleLock);
    m_DebugLevel = static_cast<int>(
        CReg::GetProductIntFromRegistry(HKEY_LOCAL_MACHINE, kEngineKey, u"DebugLevel", 0, 0));
    // The value's presence switches the file off, whatever its type and data.
    m_bDoNotLog =
        CReg::ValueExists(HKEY_LOCAL_MACHINE, GetProductRegistryPath(kEngineKey).c_str(), u"DoNotLog", 0);
    EnterCriticalSection(&m_Section);
    m_CmdLineFileName.clear();
    LeaveCriticalSection(&m_Section);
    ReadCommandLineOptions();
}

void JxLog::_init_ResetIfReleased() {
    if (!m_bNeedsInit.load(std::memory_order_acquire))
        return;
    EnterCriticalSection(&m_Section);
    if (m_bNeedsInit.load(std::memory_order_relaxed)) {
        _init_ReadSettings();
        m_bNeedsInit.store(false, std::memory_order_release);
    }
    LeaveCriticalSection(&m_Section);
}

void JxLog::Release() {
    EnterCriticalSection(&m_Section);
    CloseLogFile(true);
    Stop();
    m_LogFilePath.clear();
    m_Suffix.clear();
    m_LogsFolder.clear();
    m_bOpened = false;
    m_bNeedsInit.store(true, std::memory_order_release);
    LeaveCriticalSection(&m_Section);
}

void JxLog::SetModuleLevel(int level, const WCHAR* module) {
    AcquireSRWLockExclusive(&m_ModuleLock);
    m_ModuleLevels[module ? module : u""] = level;
    ReleaseSRWLockExclusive(&m_ModuleLock);
}

bool JxLog::_log_PassesModule(int level, const WCHAR* module) {
    AcquireSRWLockShared(&m_ModuleLock);
    auto found = m_ModuleLevels.find(std::u16string_view(module ? module : u""));
    const int threshold = found != m_ModuleLevels.end() ? found->second : m_DefaultModuleLevel;
    ReleaseSRWLockShared(&m_ModuleLock);
    return level <= threshold;
}

void JxLog::SetDoNotLog(bool flag) {
    m_bDoNotLog = flag;
}

CStringW JxLog::GetLogFileName() {
    EnterCriticalSection(&m_Section);
    CStringW path = m_LogFilePath;
    LeaveCriticalSection(&m_Section);
    return path;
}

void JxLog::ReadCommandLineOptions() {
    const WCHAR* line = GetCommandLineW();
    ReadCommandLineOptions(line ? line : u"");
}

void JxLog::ReadCommandLineOptions(std::u16string_view commandLine) {
    // Pieces are separated by " /"; each "name=value" piece may set an option.
    std::u16string text(commandLine);
    for (size_t at = text.find(u" /"); at != std::u16string::npos; at = text.find(u" /", at + 1))
        text.replace(at, 2, u"\t");
    for (const std::u16string& piece : jxtext::Split(text, u'\t')) {
        const size_t equals = piece.find(u'=');
        if (equals == std::u16string::npos)
            continue;
        std::u16string_view name(piece.data(), equals);
        if (!name.empty() && name.front() == u'/')
            name.remove_prefix(1);
        std::u16string value;
        for (char16_t c : std::u16string_view(piece).substr(equals + 1))
            if (c != u'"')
                value += c;
        value = jxtext::Trim(value, u" \t");
        if (jxtext::EqualsNoCase(name, u"_DoNotLog") && jxtext::EqualsNoCase(value, u"true")) {
            m_bDoNotLog = true;
        } else if (jxtext::EqualsNoCase(name, u"_LogFile") && !value.empty()) {
            // Only a name inside the logs folder: a path would let the line place the file anywhere.
            if (!_log_IsPlainFileName(value)) {
                JX_ENGINE_TRACE(0, u"JxSetup::Data::JxLog::ReadCommandLineOptions",
                                u"_LogFile \"%s\" is not a file name\n", value.c_str());
                continue;
            }
            EnterCriticalSection(&m_Section);
            m_CmdLineFileName = value;
            LeaveCriticalSection(&m_Section);
        }
    }
}

} // namespace JxSetup::Data

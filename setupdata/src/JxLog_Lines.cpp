// The log writer's lines: formatting a call into an entry or property line and queueing it for the
// worker, the copy to the debugger output and the test capture.
#include "jxsetupdata/JxLog.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "jxplat/debugapi.h"
#include "jxbase/secretmask.h"
#include "jxplat/text.h"
#include "jxsetupdata/PropertyCache.h"

namespace JxSetup::Data {
namespace {

// A message keeps at most this many characters; the rest is cut.
constexpr size_t kMaxMessageChars = 4095;

std::mutex& _log_CaptureLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

JxLog::Capture& _log_CaptureSlot() {
    static auto* capture = new JxLog::Capture;
    return *capture;
}

// Lets Log skip the capture's lock when no test installed one.
std::atomic<bool> g_logCaptureSet{false};

bool _log_IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

void JxLog::SetCaptureForTesting(Capture capture) {
    std::lock_guard<std::mutex> guard(_log_CaptureLock());
    _log_CaptureSlot() = std::move(capture);
    g_logCaptureSet = static_cast<bool>(_log_CaptureSlot());
}

void JxLog::_log_Capture(int level, const WCHAR* module, const WCHAR* context, std::u16string_view message) {
    std::lock_guard<std::mutex> guard(_log_CaptureLock());
    if (_log_CaptureSlot())
        _log_CaptureSlot()(level, module ? module : u"", context ? context : u"", message);
}

void JxLog::Log(int level, const WCHAR* module, const WCHAR* context, const WCHAR* format, ...) {
    if (!format)
        return;
    const bool toFile = !GetDoNotLog() && _log_PassesModule(level, module);
    const int debugLevel = m_DebugLevel.load(std::memory_order_relaxed);
    const bool toDebugger = debugLevel != 0 && level <= debugLevel;
    const bool toCapture = g_logCaptureSet.load(std::memory_order_relaxed);
    if (!toFile && !toDebugger && !toCapture)
        return;

    std::u16string message;
    va_list args;
    va_start(args, format);
    jxtext::AppendFormatV(message, format, args);
    va_end(args);
    if (message.size() > kMaxMessageChars) {
        message.resize(kMaxMessageChars);
        if (_log_IsHighSurrogate(message.back())) // never keep half of a pair
            message.pop_back();
    }
    TrimTrailingWhitespace(message);
    const std::u16string_view moduleText = module ? module : u"";
    const std::u16string_view contextText = context ? context : u"";

    if (toCapture)
        _log_Capture(level, module, context, message);
    if (toFile) {
        std::u16string line;
        line.reserve(128 + moduleText.size() + contextText.size() + message.size());
        line += u"    <Entry datetime=\"";
        _log_AppendDateTime(line, true);
        line += u"\" pid=\"";
        line += jxtext::ToText(m_ProcessId);
        line += u"\" msgtype=\"";
        line += LogLevelName(level);
        line += u"\" module=\"";
        _xml_AppendAttribute(line, moduleText);
        line += u"\" context=\"";
        _xml_AppendAttribute(line, contextText);
        line += u"\"><![CDATA[";
        _xml_AppendCData(line, message);
        line += u"]]></Entry>\r\n";
        QueueLine(std::move(line));
    }
    if (toDebugger) {
        std::u16string line = u"(";
        _log_AppendDateTime(line, false);
        line += u")";
        line += LogLevelName(level);
        line += u"[";
        line += moduleText;
        line += u"|";
        line += contextText;
        line += u"]: ";
        line += message;
        OutputDebugStringW(line.c_str());
        OutputDebugStringW(u"\n");
    }
}

void JxLog::LogProperty(const WCHAR* name, const WCHAR* value, const WCHAR* localizable, const WCHAR* locked,
                        const WCHAR* numeric) {
    if (GetDoNotLog())
        return;
    const std::u16string_view nameText = name ? name : u"";
    // Protected values ("__" names, with or without a lock prefix) never appear in the log; another
    // value may still hold one (a whole quoted "/__X=..." taken into the piece before it, a text
    // expanded from a protected property), so it is masked as an argument text.
    std::u16string valueText = value ? value : u"";
    if (!valueText.empty())
        valueText = IsProtectedPropertyName(std::u16string(nameText)) || IsProtectedName(nameText)
                        ? std::u16string(kMaskedSecret)
                        : MaskProtectedArguments(valueText);
    std::u16string line;
    line.reserve(160 + nameText.size() + valueText.size());
    line += u"    <Property datetime=\"";
    _log_AppendDateTime(line, true);
    line += u"\" pid=\"";
    line += jxtext::ToText(m_ProcessId);
    line += u"\" name=\"";
    _xml_AppendAttribute(line, nameText);
    line += u"\" localizable=\"";
    _xml_AppendAttribute(line, localizable ? localizable : u"");
    line += u"\" locked=\"";
    _xml_AppendAttribute(line, locked ? locked : u"");
    line += u"\" numeric=\"";
    _xml_AppendAttribute(line, numeric ? numeric : u"");
    line += u"\"><![CDATA[";
    _xml_AppendCData(line, valueText);
    line += u"]]></Property>\r\n";
    QueueLine(std::move(line));
}

void JxLog::QueueLine(CStringW line) {
    if (line.empty())
        return;
    // Under the section, so that a close or a change of the file never happens between the path
    // check and the queueing.
    EnterCriticalSection(&m_Section);
    if (!m_LogFilePath.empty())
        PostItem(std::move(line));
    LeaveCriticalSection(&m_Section);
}

void JxLog::TrimTrailingWhitespace(CStringW& buffer) {
    while (!buffer.empty() && (buffer.back() == u'\t' || buffer.back() == u'\n' || buffer.back() == u'\r' ||
                               buffer.back() == u' '))
        buffer.pop_back();
}

void JxLog::_log_AppendDateTime(std::u16string& out, bool withDate) {
    // Local time as "dd.mm.yyyy HH:MM:SS"; the text of the current second is kept per thread.
    // (The stand-in has no GetLocalTime yet; the host's local time is the machine's.)
    struct Cached {
        time_t second = -1;
        char16_t text[20] = {};
    };
    thread_local Cached cached;
    const time_t now = std::time(nullptr);
    if (now != cached.second) {
        struct tm local = {};
        localtime_r(&now, &local);
        char narrow[32];
        std::snprintf(narrow, sizeof(narrow), "%02d.%02d.%04d %02d:%02d:%02d", local.tm_mday,
                      local.tm_mon + 1, (local.tm_year + 1900) % 10000, local.tm_hour, local.tm_min,
                      local.tm_sec);
        for (size_t i = 0; i < 19; ++i)
            cached.text[i] = static_cast<char16_t>(narrow[i]);
        cached.second = now;
    }
    if (withDate)
        out.append(cached.text, 19);
    else
        out.append(cached.text + 11, 8);
}

} // namespace JxSetup::Data

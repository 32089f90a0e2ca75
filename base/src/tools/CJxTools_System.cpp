// The computer name and the run's event-log entry.
#include "jxbase/CJxTools.h"

#include <cstdarg>
#include <vector>

#include "jxbase/trace.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr size_t kEventTextChars = 4096;
constexpr WCHAR kEventSource[] = u"Brellwick Client";
constexpr WORD kEventCategory = 3;

} // namespace

std::u16string CJxTools::GetComputerName(COMPUTER_NAME_FORMAT nameFormat) {
    DWORD size = 0;
    GetComputerNameExW(nameFormat, nullptr, &size);
    if (size == 0)
        return {};
    std::vector<WCHAR> buffer(size + 1, 0);
    if (!GetComputerNameExW(nameFormat, buffer.data(), &size))
        return {};
    return std::u16string(buffer.data());
}

void CJxTools::WriteToEventLog(const WCHAR* format, ...) {
    WCHAR text[kEventTextChars] = {};
    va_list args;
    va_start(args, format);
    jxtext::FormatToBuffer(text, kEventTextChars, format ? format : u"", args);
    va_end(args);
    if (g_JxSetupEngineLibDebugLevel >= 1)
        DebugTrace(u"(%u) JxSetupEngineLib: JxSetup::Data::CJxTools::WriteToEventLog(): %s",
                   GetCurrentThreadId(), text);
    HANDLE source = RegisterEventSourceW(nullptr, kEventSource);
    if (!source)
        return;
    LPCWSTR strings[] = {text};
    ReportEventW(source, EVENTLOG_INFORMATION_TYPE, kEventCategory, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

} // namespace JxSetup::Data

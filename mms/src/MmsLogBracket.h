// The BEGIN line of an operation on entry and its END line on every way out, with the result the
// operation sets ("true" or "false"; empty when it sets none).
#pragma once

#include <string>

#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

inline const WCHAR* const kMmsModule = u"lib";

class CMmsBracket {
public:
    CMmsBracket(JxLog* log, std::u16string context, const std::u16string& beginText = u"")
        : m_Log(log), m_Context(std::move(context)) {
        m_Log->Log(LOG_BEGIN, kMmsModule, m_Context.c_str(), u"%s", beginText.c_str());
    }
    ~CMmsBracket() { m_Log->Log(LOG_END, kMmsModule, m_Context.c_str(), u"%s", m_Result.c_str()); }
    CMmsBracket(const CMmsBracket&) = delete;
    CMmsBracket& operator=(const CMmsBracket&) = delete;

    bool Result(bool value) {
        m_Result = value ? u"true" : u"false";
        return value;
    }
    const WCHAR* Context() const { return m_Context.c_str(); }
    // A line of the operation at a level.
    template <typename... Args> void Log(int level, const WCHAR* format, Args... args) {
        m_Log->Log(level, kMmsModule, m_Context.c_str(), format, args...);
    }

private:
    JxLog* m_Log;
    std::u16string m_Context;
    std::u16string m_Result;
};

} // namespace JxSetup::Data

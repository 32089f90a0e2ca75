// Captures the run log's lines of a test as "LEVEL|message" (header only: it needs the setup-data
// library, which the test executables link and the support library does not).
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"

namespace jxtest {

class CLogCapture {
public:
    // With the context, lines read "LEVEL|context|message".
    explicit CLogCapture(bool withContext = false) {
        JxSetup::Data::JxLog::SetCaptureForTesting([this, withContext](int level, std::u16string_view,
                                                                       std::u16string_view context,
                                                                       std::u16string_view message) {
            std::string line = jxtext::N(JxSetup::Data::LogLevelName(level)) + "|";
            if (withContext)
                line += jxtext::N(context) + "|";
            std::lock_guard<std::mutex> guard(m_Lock);
            m_Lines.push_back(line + jxtext::N(message));
        });
    }
    ~CLogCapture() { JxSetup::Data::JxLog::SetCaptureForTesting(nullptr); }
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    // Lines of that level holding the text.
    size_t Count(const std::string& level, const std::string& text) const {
        std::lock_guard<std::mutex> guard(m_Lock);
        size_t count = 0;
        for (const std::string& line : m_Lines)
            if (line.rfind(level + "|", 0) == 0 && line.find(text) != std::string::npos)
                ++count;
        return count;
    }
    bool Has(const std::string& level, const std::string& text) const { return Count(level, text) > 0; }
    void Clear() {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_Lines.clear();
    }
    std::string Dump() const {
        std::lock_guard<std::mutex> guard(m_Lock);
        std::string all;
        for (const std::string& line : m_Lines)
            all += line + "\n";
        return all;
    }

private:
    mutable std::mutex m_Lock;
    std::vector<std::string> m_Lines;
};

} // namespace jxtest

// Helpers of the install-sequence tests: a fresh machine root with the sequence definition loaded,
// handlers that record what ran, a progress callback and the log lines of a test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"

namespace jxseqtest {

using namespace JxSetup::Data;

inline const std::u16string kAppDir = u"C:\\SetupSource\\";

inline std::string FixturePath(const std::string& name) {
    return (std::filesystem::path(__FILE__).parent_path() / "fixtures" / "sequence" / name).string();
}

// The lines of a golden file, one action per line.
inline std::vector<std::string> ReadGolden(const std::string& name) {
    std::ifstream in(FixturePath(name));
    EXPECT_TRUE(in.good()) << "missing golden file " << name;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// Every log line of the test as "LEVEL|context|message".
class CLogLines {
public:
    CLogLines() {
        JxLog::SetCaptureForTesting(
            [this](int level, std::u16string_view, std::u16string_view context, std::u16string_view message) {
                std::lock_guard<std::mutex> guard(m_Lock);
                m_Lines.push_back(jxtext::N(LogLevelName(level)) + "|" + jxtext::N(context) + "|" +
                                  jxtext::N(message));
            });
    }
    ~CLogLines() { JxLog::SetCaptureForTesting(nullptr); }
    CLogLines(const CLogLines&) = delete;
    CLogLines& operator=(const CLogLines&) = delete;

    // The messages of one level and context ending ("...::LOGProgressMax"), in order.
    std::vector<std::string> Messages(const std::string& level, const std::string& contextEnd) const {
        std::lock_guard<std::mutex> guard(m_Lock);
        std::vector<std::string> out;
        for (const std::string& line : m_Lines) {
            const size_t first = line.find('|');
            const size_t second = line.find('|', first + 1);
            const std::string context = line.substr(first + 1, second - first - 1);
            if (line.compare(0, first, level) == 0 && context.size() >= contextEnd.size() &&
                context.compare(context.size() - contextEnd.size(), contextEnd.size(), contextEnd) == 0)
                out.push_back(line.substr(second + 1));
        }
        return out;
    }
    // The contexts of one level's lines that begin with the prefix, in order.
    std::vector<std::string> Contexts(const std::string& level, const std::string& prefix) const {
        std::lock_guard<std::mutex> guard(m_Lock);
        std::vector<std::string> out;
        for (const std::string& line : m_Lines) {
            const size_t first = line.find('|');
            const size_t second = line.find('|', first + 1);
            const std::string context = line.substr(first + 1, second - first - 1);
            if (line.compare(0, first, level) == 0 && context.rfind(prefix, 0) == 0)
                out.push_back(context);
        }
        return out;
    }
    bool Has(const std::string& level, const std::string& text) const {
        std::lock_guard<std::mutex> guard(m_Lock);
        for (const std::string& line : m_Lines)
            if (line.rfind(level + "|", 0) == 0 && line.find(text) != std::string::npos)
                return true;
        return false;
    }

private:
    mutable std::mutex m_Lock;
    std::vector<std::string> m_Lines;
};

// What the progress callback was given.
struct CProgressCall {
    int position;
    int maximum;
};

// A fresh machine root, the sequence definition loaded, and handlers that only record.
class SequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ifstream in(FixturePath("setup.jxsetup"), std::ios::binary);
        const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(utf8.empty());
        // The setup carries its definition as UTF-16LE with a byte-order mark.
        std::string bytes("\xFF\xFE", 2);
        for (char16_t c : jxtext::W(utf8)) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            bytes.push_back(static_cast<char>(c >> 8));
        }
        const std::string hostPath = jxplat::WindowsToHostPath(kAppDir + u"setup.jxsetup");
        std::filesystem::create_directories(std::filesystem::path(hostPath).parent_path());
        std::ofstream(hostPath, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        m_Data.SetAppDir(kAppDir);
        ASSERT_TRUE(m_Data.LoadConfiguration());
    }

    // Replaces every handler by one that records the action (custom actions with their function)
    // and then runs the test's hook of that action, if any. The counting pass records nothing.
    void RecordHandlers() {
        m_Data.m_BindSequenceHandlerForTesting = [this](JxSequenceAction& action) {
            std::string name = jxtext::N(action.m_Name);
            if (action.m_Name == u"ExecuteCustomAction")
                name += "(" + jxtext::N(action.m_Entry.functionname) + ")";
            action.m_Handler = [this, name, bound = action]() {
                if (!m_Data.IsCountingProcessSteps())
                    m_Ran.push_back(name);
                auto hook = m_Hooks.find(name);
                if (hook != m_Hooks.end())
                    hook->second(bound);
            };
        };
    }

    // Registers a progress callback: the run then counts its steps and polls for a cancel.
    void UseProgressCallback() {
        m_Data.m_ProgressCallback.m_Context = this;
        m_Data.m_ProgressCallback.m_Function = [](LPVOID context, int position, int maximum, const WCHAR*) {
            static_cast<SequenceTest*>(context)->m_Progress.push_back({position, maximum});
        };
    }

    void MakeBackupActivatable() {
        for (JxFeature& feature : m_Data.m_Features)
            if (feature.name == u"Backup")
                feature.m_Activatable = true;
    }

    void Set(const std::u16string& name, const std::u16string& value) { m_Data.SetProperty(name, value, 1); }

    jxtest::TempMachineRoot m_Root;
    CLogLines m_Log;
    JxData m_Data;
    std::vector<std::string> m_Ran;
    std::map<std::string, std::function<void(const JxSequenceAction&)>> m_Hooks;
    std::vector<CProgressCall> m_Progress;
};

} // namespace jxseqtest

// Helpers of the data object's and the loader's tests: a definition folder on a fresh machine
// root, definitions written in the encodings the loader reads, and the log lines of a test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"

namespace jxloadertest {

// The Windows folder the tests load definitions from.
inline const std::u16string kAppDir = u"C:\\SetupSource\\";

// The fixtures beside this file.
inline std::string FixturePath(const std::string& name) {
    return (std::filesystem::path(__FILE__).parent_path() / "fixtures" / name).string();
}

inline std::string ReadFixture(const std::string& name) {
    const std::string text = jxtest::ReadHostFile(FixturePath(name));
    EXPECT_FALSE(text.empty()) << "missing fixture " << name;
    return text;
}

// The UTF-16LE bytes of a text, optionally with a byte-order mark (the form the setup carries).
inline std::string Utf16LeBytes(const std::u16string& text, bool bom) {
    std::string bytes = bom ? std::string("\xFF\xFE", 2) : std::string();
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

inline void WriteHostFile(const std::string& hostPath, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(hostPath).parent_path());
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Puts bytes as "setup.jxsetup" into the definition folder.
inline void WriteDefinitionBytes(const std::string& bytes) {
    WriteHostFile(jxplat::WindowsToHostPath(kAppDir + u"setup.jxsetup"), bytes);
}

// Puts UTF-8 text as the definition, in UTF-16LE with a byte-order mark.
inline void WriteDefinition(const std::string& utf8) {
    WriteDefinitionBytes(Utf16LeBytes(jxtext::W(utf8), true));
}

// Every log line of the test, as "LEVEL|context|message".
class CLogLines {
public:
    CLogLines() {
        JxSetup::Data::JxLog::SetCaptureForTesting(
            [this](int level, std::u16string_view, std::u16string_view context, std::u16string_view message) {
                std::lock_guard<std::mutex> guard(m_Lock);
                m_Lines.push_back(jxtext::N(JxSetup::Data::LogLevelName(level)) + "|" + jxtext::N(context) +
                                  "|" + jxtext::N(message));
            });
    }
    ~CLogLines() { JxSetup::Data::JxLog::SetCaptureForTesting(nullptr); }
    CLogLines(const CLogLines&) = delete;
    CLogLines& operator=(const CLogLines&) = delete;

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> guard(m_Lock);
        return m_Lines;
    }
    // Whether a line of that level holds the text.
    bool Has(const std::string& level, const std::string& text) const {
        for (const std::string& line : Lines())
            if (line.rfind(level + "|", 0) == 0 && line.find(text) != std::string::npos)
                return true;
        return false;
    }
    size_t Count(const std::string& level, const std::string& text) const {
        const std::vector<std::string> lines = Lines();
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind(level + "|", 0) == 0 && line.find(text) != std::string::npos;
        });
    }
    std::string Dump() const {
        std::string all;
        for (const std::string& line : Lines())
            all += line + "\n";
        return all;
    }

private:
    mutable std::mutex m_Lock;
    std::vector<std::string> m_Lines;
};

// A fresh machine root, a data object that loads from kAppDir, and the log lines.
class LoaderTest : public ::testing::Test {
protected:
    LoaderTest() { m_Data.SetAppDir(kAppDir); }

    jxtest::TempMachineRoot m_Root;
    CLogLines m_Log;
    JxSetup::Data::JxData m_Data;
};

} // namespace jxloadertest

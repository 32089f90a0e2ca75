// Programs and log capture for the application tests: the exit-code program at paths with
// blanks, and scripts that run until the test opens their gate (a FIFO they read).
#pragma once

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"

namespace jxapptest {

using namespace JxSetup::Data;

// Every log line as "LEVEL|message".
class CLogCapture {
public:
    CLogCapture() {
        JxLog::SetCaptureForTesting(
            [this](int level, std::u16string_view, std::u16string_view, std::u16string_view message) {
                std::lock_guard<std::mutex> guard(m_Lock);
                m_Lines.push_back(jxtext::N(LogLevelName(level)) + "|" + jxtext::N(message));
            });
    }
    ~CLogCapture() { JxLog::SetCaptureForTesting(nullptr); }
    bool Has(const std::string& level, const std::string& text) const {
        std::lock_guard<std::mutex> guard(m_Lock);
        for (const std::string& line : m_Lines)
            if (line.rfind(level + "|", 0) == 0 && line.find(text) != std::string::npos)
                return true;
        return false;
    }
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

inline void WriteText(const std::u16string& windowsPath, const std::string& text, bool runnable = false) {
    const std::string target = jxplat::WindowsToHostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    std::ofstream(target, std::ios::binary) << text;
    if (runnable)
        ::chmod(target.c_str(), 0755);
}

// exitcode.exe <code> [<file>] copied to a Windows path of the machine.
inline void PlaceExitCodeProgram(const std::u16string& windowsPath) {
    const std::string target = jxplat::WindowsToHostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    std::filesystem::copy_file(jxtest::BuildDir() + "/tests/programs/exitcode.exe", target,
                               std::filesystem::copy_options::overwrite_existing);
}

// A script at the path that ends with the code once the test opens the gate.
class CGate {
public:
    explicit CGate(const std::u16string& program, int code = 0) {
        m_fifo = jxplat::MachinePath("gate");
        ::unlink(m_fifo.c_str());
        EXPECT_EQ(::mkfifo(m_fifo.c_str(), 0600), 0);
        WriteText(program, "#!/bin/sh\nread line < \"" + m_fifo + "\"\nexit " + std::to_string(code) + "\n",
                  true);
    }
    // Lets one waiting script go on (blocks until a script reads the gate).
    void Open() {
        const int gate = ::open(m_fifo.c_str(), O_WRONLY);
        ASSERT_GE(gate, 0);
        ASSERT_EQ(::write(gate, "go\n", 3), 3);
        ::close(gate);
    }

private:
    std::string m_fifo;
};

} // namespace jxapptest

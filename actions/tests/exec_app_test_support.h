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
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

namespace jxapptest {

using namespace JxSetup::Data;

using jxtest::CLogCapture;

inline void WriteText(const std::u16string& windowsPath, const std::string& text, bool runnable = false) {
    const std::string target = jxplat::WindowsToHostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    std::ofstream(target, std::ios::binary) << text;
    if (runnable)
        ::chmod(target.c_str(), 0755);
}

// A definition text written as the loader expects it: UTF-16 LE with its byte-order mark.
inline void WriteUtf16Text(const std::u16string& windowsPath, const std::string& utf8) {
    std::string bytes("\xFF\xFE", 2);
    for (char16_t c : jxtext::W(utf8)) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    WriteText(windowsPath, bytes);
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

// A process of the machine root (a shell script under a Windows name) that runs until the test
// lets it end: it reads a line from a FIFO below the machine root.
#pragma once

#include <string>

#include <windows.h>

namespace jxtest {

class CWaitingProcess {
public:
    // `program`: the Windows path of the script to write and start; `gate`: the FIFO's name below
    // the machine root (one per process).
    CWaitingProcess(const std::u16string& program, const std::string& gate = "gate");
    ~CWaitingProcess(); // lets it end and waits for it
    CWaitingProcess(const CWaitingProcess&) = delete;
    CWaitingProcess& operator=(const CWaitingProcess&) = delete;

    bool Started() const { return m_info.hProcess != nullptr; }
    // Opens the gate and waits until the process has ended.
    void Release();

    PROCESS_INFORMATION m_info = {};

private:
    std::string m_gate;
    bool m_released = false;
};

} // namespace jxtest

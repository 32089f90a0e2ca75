// The waiting process of the tests.
#include "jxtest/waiting_process.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxplat/text.h"

namespace jxtest {

CWaitingProcess::CWaitingProcess(const std::u16string& program, const std::string& gate) {
    m_gate = jxplat::MachinePath(gate);
    if (::mkfifo(m_gate.c_str(), 0600) != 0)
        return;
    const std::string host = jxplat::WindowsToHostPath(program);
    jxplat::EnsureHostDirectory(host.substr(0, host.find_last_of('/')));
    FILE* file = std::fopen(host.c_str(), "wb");
    if (!file)
        return;
    std::fputs("#!/bin/sh\nread line < \"$1\"\n", file);
    std::fclose(file);
    std::u16string line = jxplat::QuoteArgument(program) + u" " + jxtext::W(m_gate);
    STARTUPINFOW startup = {sizeof(STARTUPINFOW)};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &m_info))
        m_info = {};
}

CWaitingProcess::~CWaitingProcess() {
    Release();
    if (m_info.hThread)
        CloseHandle(m_info.hThread);
    if (m_info.hProcess)
        CloseHandle(m_info.hProcess);
}

void CWaitingProcess::Release() {
    if (m_released || !m_info.hProcess)
        return;
    m_released = true;
    const int gate = ::open(m_gate.c_str(), O_WRONLY);
    if (gate >= 0) {
        (void)!::write(gate, "go\n", 3);
        ::close(gate);
    }
    WaitForSingleObject(m_info.hProcess, 30000);
}

} // namespace jxtest

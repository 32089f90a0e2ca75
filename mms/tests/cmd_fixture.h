// The fixture of the command-channel tests: a fresh 64-bit machine with a computer name and a
// current subject, and helpers to answer requests.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "cmdserver.h"
#include "jxmms/MmsAccessKeys.h"
#include "jxmms/MmsCmdHost.h"
#include "jxmms/MmsCmdSession.h"
#include "jxtest/machine_root.h"

namespace cmdtest {

inline void SetMachineString(const std::u16string& path, const std::u16string& name,
                             const std::u16string& value, REGSAM view = 0) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * 2));
    RegCloseKey(key);
}

inline void SetMachineDword(const std::u16string& path, const std::u16string& name, DWORD value) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
}

// The raw bytes of a value below HKLM, empty when missing.
inline std::string MachineValueBytes(const std::u16string& path, const std::u16string& name, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return {};
    BYTE data[256];
    DWORD size = sizeof data;
    std::string bytes;
    if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, data, &size) == ERROR_SUCCESS)
        bytes.assign(reinterpret_cast<char*>(data), size);
    RegCloseKey(key);
    return bytes;
}

inline Reply Answer(int status, const std::string& body = {}) {
    Reply reply;
    reply.answer.set_status(status);
    if (!body.empty())
        reply.answer.set_body(body);
    return reply;
}

inline std::string HeaderOf(const pb::MmsCmdReq& request, const std::string& name) {
    for (const auto& header : request.headers())
        if (header.name() == name)
            return header.value();
    return {};
}

inline int HeaderCount(const pb::MmsCmdReq& request, const std::string& name) {
    int count = 0;
    for (const auto& header : request.headers())
        count += header.name() == name;
    return count;
}

class CmdChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMachineString(u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                         u"PROCESSOR_ARCHITECTURE", u"AMD64");
        SetMachineString(u"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", u"ComputerName",
                         u"JXTEST-PC");
        SetMachineString(u"System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
                         u"ComputerName", u"JXTEST-PC");
        MmsAuthSubject = 3;
        CommandServer::ForgetKeys();
    }
    void TearDown() override { MmsAuthSubject = 0; }

    jxtest::TempMachineRoot m_Root;
};

} // namespace cmdtest

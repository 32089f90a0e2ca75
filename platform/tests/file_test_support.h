// Helpers of the file tests: a fresh machine root with a work folder on drive C:.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

inline LARGE_INTEGER MakeLarge(LONGLONG value) {
    LARGE_INTEGER out;
    out.QuadPart = value;
    return out;
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateDirectoryW(u"C:\\work", nullptr)); }

    // Creates (or overwrites) a file with the given bytes.
    static void WriteBytes(const std::u16string& path, const std::string& bytes) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        ASSERT_EQ(written, bytes.size());
        CloseHandle(file);
    }

    static std::string ReadBytes(const std::u16string& path) {
        return jxtest::ReadHostFile(jxplat::WindowsToHostPath(path));
    }

    jxtest::TempMachineRoot m_root;
};

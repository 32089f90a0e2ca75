// Zip archives, checked with an independent reader (unzip).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <windows.h>

#include "jxbase/zippy.h"
#include "jxplat/machine.h"
#include "jxtest/machine_root.h"

namespace {

// The output of a command (stdout and stderr) and whether it ended with status 0.
bool RunCommand(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return false;
    char buffer[4096];
    std::string text;
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        text.append(buffer, n);
    if (output)
        *output = text;
    return ::pclose(pipe) == 0;
}

class Zip : public ::testing::Test {
protected:
    std::string Host(const std::u16string& path) { return jxplat::WindowsToHostPath(path); }
    void Write(const std::u16string& path, const std::string& content) {
        std::filesystem::create_directories(std::filesystem::path(Host(path)).parent_path());
        std::ofstream(Host(path), std::ios::binary) << content;
    }
    jxtest::TempMachineRoot m_Root;
};

TEST_F(Zip, AddsFilesToANewAndAnExistingArchive) {
    Write(u"C:\\Logs\\one.log", std::string(10000, 'a'));
    Write(u"C:\\Logs\\Grüße.log", "second");
    ASSERT_TRUE(Zippy::CreateZip(u"C:\\Logs\\all.zip", u"C:\\Logs\\one.log"));
    ASSERT_TRUE(Zippy::CreateZip(u"C:\\Logs\\all.zip", u"C:\\Logs\\Grüße.log"));
    const std::string zip = Host(u"C:\\Logs\\all.zip");
    std::string listing;
    EXPECT_TRUE(RunCommand("unzip -t '" + zip + "'", &listing)) << listing;
    ASSERT_TRUE(RunCommand("unzip -l '" + zip + "'", &listing));
    EXPECT_NE(listing.find("one.log"), std::string::npos);
    EXPECT_NE(listing.find("Grüße.log"), std::string::npos) << "UTF-8 entry name: " << listing;
    std::string content;
    ASSERT_TRUE(RunCommand("unzip -p '" + zip + "' one.log", &content));
    EXPECT_EQ(content, std::string(10000, 'a'));

    // The same entry again: refused, the archive keeps what it had.
    EXPECT_FALSE(Zippy::CreateZip(u"C:\\Logs\\all.zip", u"C:\\Logs\\one.log"));
    EXPECT_TRUE(RunCommand("unzip -t '" + zip + "'", &listing)) << listing;
}

TEST_F(Zip, RefusesWhatItCannotReadAndLeavesNoArchive) {
    EXPECT_FALSE(Zippy::CreateZip(u"C:\\Logs\\missing.zip", u"C:\\Logs\\missing.log"));
    EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Logs\\missing.zip")));

    // A file held open without sharing is not skipped silently: the result is false.
    Write(u"C:\\Logs\\busy.log", "busy");
    HANDLE busy = CreateFileW(u"C:\\Logs\\busy.log", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Zippy::CreateZip(u"C:\\Logs\\busy.zip", u"C:\\Logs\\busy.log"));
    EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Logs\\busy.zip")))
        << "an archive without entries is no file";
    CloseHandle(busy);
    EXPECT_TRUE(Zippy::CreateZip(u"C:\\Logs\\busy.zip", u"C:\\Logs\\busy.log"));
}

TEST_F(Zip, AFolderAddsOneFolderEntryOnly) {
    Write(u"C:\\Data\\Sub\\inner.txt", "x");
    ASSERT_TRUE(Zippy::CreateZip(u"C:\\Data\\folder.zip", u"C:\\Data\\Sub"));
    std::string listing;
    ASSERT_TRUE(RunCommand("unzip -l '" + Host(u"C:\\Data\\folder.zip") + "'", &listing));
    EXPECT_NE(listing.find("Sub/"), std::string::npos);
    EXPECT_EQ(listing.find("inner.txt"), std::string::npos);
}

} // namespace

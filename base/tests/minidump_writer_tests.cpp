// The minidump writer: its settings text, and the dumps it writes of the machine's processes (read
// back by an independent reader).
#include <gtest/gtest.h>

#include <windows.h>

#include "jxbase/MinidumpWriter.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxtest/minidump_reader.h"
#include "jxtest/waiting_process.h"

namespace {

bool Exists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

jxtest::MinidumpView Read(const std::u16string& path) {
    return jxtest::ReadMinidump(jxplat::WindowsToHostPath(path));
}

} // namespace

TEST(MinidumpWriter, ReadsTheSettingsText) {
    const struct {
        const char16_t* text;
        std::set<std::u16string> names;
        const char16_t* destination;
        const char16_t* prefix;
        MINIDUMP_TYPE type;
    } rows[] = {
        // The text the shutdown of services builds.
        {u"/destination=\"C:\\Dumps\\pre\" /fileprefix=\"x_\" /dumplevel=\"MiniDumpWithFullMemory\" "
         u"/processname=\"svc.exe,tray.exe,svc.exe\"",
         {u"svc.exe", u"tray.exe"},
         u"C:\\Dumps\\pre",
         u"x_",
         MiniDumpWithFullMemory},
        // Names ignore case; unknown names and settings without a value are ignored.
        {u" /DESTINATION=C:\\d /colour=red /fileprefix /DumpLevel=minidumpvalidtypeflags",
         {},
         u"C:\\d",
         u"",
         MiniDumpValidTypeFlags},
        // An unknown level is a normal dump; a value is cut at its first "=" and loses every "/".
        {u"/dumplevel=\"Full\" /destination=\"C:/a=b\"", {}, u"C:a", u"", MiniDumpNormal},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(jxtext::N(row.text));
        MinidumpWriter writer;
        writer.ReadDumpSettings(row.text);
        EXPECT_EQ(writer.ProcessNames(), row.names);
        EXPECT_EQ(writer.Destination(), row.destination);
        EXPECT_EQ(writer.FilePrefix(), row.prefix);
        EXPECT_EQ(writer.DumpType(), row.type);
    }
}

TEST(MinidumpWriter, DumpsTheFirstProcessOfEachNameAndReplacesAnOldDump) {
    jxtest::TempMachineRoot root;
    jxtest::CWaitingProcess first(u"C:\\Program Files\\Product\\agent.exe", "gate1");
    jxtest::CWaitingProcess second(u"C:\\Other\\AGENT.exe", "gate2");
    ASSERT_TRUE(first.Started() && second.Started());
    ASSERT_EQ(SHCreateDirectoryExW(nullptr, u"C:\\Dumps\\pre", nullptr), ERROR_SUCCESS);
    const std::u16string dump = u"C:\\Dumps\\pre\\x_agent.exe_MiniDump.dmp";
    HANDLE old = CreateFileW(dump.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(old, INVALID_HANDLE_VALUE);
    CloseHandle(old);

    MinidumpWriter writer;
    writer.ReadDumpSettings(u"/destination=\"C:\\Dumps\\pre\" /fileprefix=\"x_\" "
                            u"/dumplevel=\"MiniDumpWithHandleData\" /processname=\"agent.exe,absent.exe\"");
    writer.WriteProcessDump();

    const jxtest::MinidumpView view = Read(dump);
    ASSERT_EQ(view.error, "");
    EXPECT_EQ(view.flags, static_cast<uint64_t>(MiniDumpWithHandleData));
    ASSERT_FALSE(view.threads.empty());
    EXPECT_EQ(view.threads[0], first.m_info.dwProcessId);
    EXPECT_FALSE(Exists(u"C:\\Dumps\\pre\\x_absent.exe_MiniDump.dmp"));
}

TEST(MinidumpWriter, WritesNothingWithoutADestinationOrOutsideIt) {
    jxtest::TempMachineRoot root;
    jxtest::CWaitingProcess agent(u"C:\\Tools\\agent.exe");
    ASSERT_TRUE(agent.Started());
    const char16_t* texts[] = {
        u"/processname=\"agent.exe\" /fileprefix=\"x_\"",
        u"/destination=\"C:\\Dumps\" /processname=\"agent.exe\" /fileprefix=\"..\\\"",
        u"/destination=\"C:\\Dumps\\..\" /processname=\"agent.exe\"",
    };
    for (const char16_t* text : texts) {
        MinidumpWriter writer;
        writer.ReadDumpSettings(text);
        writer.WriteProcessDump();
    }
    EXPECT_FALSE(Exists(u"C:\\Dumps"));
    EXPECT_FALSE(Exists(u"C:\\agent.exe_MiniDump.dmp"));
    EXPECT_FALSE(Exists(u"C:\\x_agent.exe_MiniDump.dmp"));
}

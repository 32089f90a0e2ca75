// Restart requests, pending-restart detection and the cross-process locks of a run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <windows.h>

#include "jxbase/reg.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"
#include "jxtest/run_program.h"

namespace {

using JxSetup::Data::JxData;

const WCHAR* const kRunOnce = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::u16string ProgramPath(const char* name) {
    return jxplat::HostToWindowsPath(jxtest::BuildDir() + "/tests/programs/" + name);
}

// A started test program.
struct CChild {
    PROCESS_INFORMATION info = {};
    bool Start(const std::u16string& commandLine) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        std::u16string line = commandLine;
        return CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info);
    }
    DWORD Finish() {
        WaitForSingleObject(info.hProcess, 60000);
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return code;
    }
};

// Writes one byte to the fifo: blocks until a holder has opened it, then lets it end.
void ReleaseFifo(const std::string& fifo) {
    int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "x", 1), 1);
    ::close(fd);
}

class RunState : public ::testing::Test {
protected:
    void SetUp() override {
        m_Data.m_ProductInfo.productid = u"{PRODUCT-1}";
        m_Fifo = m_Root.Path() + "/go.fifo";
        ASSERT_EQ(::mkfifo(m_Fifo.c_str(), 0600), 0);
    }
    jxtest::TempMachineRoot m_Root;
    JxData m_Data;
    std::string m_Fifo;
};

TEST_F(RunState, RestartEntryIsWrittenTaggedAndRemoved) {
    ASSERT_TRUE(m_Data.RestartSetupAfterRebootXP(u"/quiet /x=1", true));
    std::u16string self(MAX_PATH, u'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kRunOnce, u"{PRODUCT-1}", u"", 0),
              u"\"" + self + u"\" /quiet /x=1");
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, u"{PRODUCT-1}_TAG", 0));

    {
        // The removal is the registry action's, with its lines.
        jxtest::CLogCapture log(true);
        ASSERT_TRUE(m_Data.RemoveRestartAfterReboot());
        EXPECT_EQ(log.Dump(), "BEGIN|JxSetup::Data::JxData::DeleteRegistyObject|Root: HKLM Key: "
                              "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce Subkey: {PRODUCT-1}\n"
                              "END|JxSetup::Data::JxData::DeleteRegistyObject|\n"
                              "END|JxSetup::Data::JxData::RemoveRestartAfterReboot|true\n");
    }
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, u"{PRODUCT-1}", 0));
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, u"{PRODUCT-1}_TAG", 0))
        << "Windows removes it";

    // An empty command line: the bare path. An empty product id: nothing is written.
    m_Data.RestartSetupAfterRebootXP(u"", false);
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kRunOnce, u"{PRODUCT-1}", u"", 0), self);
    JxData unnamed;
    EXPECT_TRUE(unnamed.RestartSetupAfterRebootXP(u"/x", false));
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, u"", 0));
}

TEST_F(RunState, RebootCarriesOutPendingRenamesAndRunsTheRunOnceCommand) {
    // A file replaced at the restart, and the program that runs after it.
    const std::string folder = m_Root.Path() + "/drive_c/Product";
    std::filesystem::create_directories(folder);
    { std::ofstream(folder + "/new.dll") << "new"; }
    { std::ofstream(folder + "/app.dll") << "old"; }
    ASSERT_TRUE(MoveFileExW(u"C:\\Product\\new.dll", u"C:\\Product\\app.dll",
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    const std::u16string seen = u"C:\\Product\\seen.txt";
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kRunOnce, u"{PRODUCT-1}",
                              u"\"" + ProgramPath("exitcode.exe") + u"\" 0 " + seen, CRegStringType::Sz, 0);

    const auto result = jxtest::RunProgram(jxtest::BuildDir() + "/tools/jxmachine", {"reboot"});
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.hostStatus, 0);
    EXPECT_EQ(jxtest::ReadHostFile(folder + "/app.dll"), "new");
    EXPECT_FALSE(std::filesystem::exists(folder + "/new.dll"));
    EXPECT_NE(jxtest::ReadHostFile(jxplat::WindowsToHostPath(seen)).find("exitcode.exe\" 0"),
              std::string::npos)
        << "the RunOnce command ran";
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, u"{PRODUCT-1}", 0));
}

// Any text in either property makes the run quiet: "false" too, as a command line writes it.
TEST_F(RunState, AnyTextMakesTheRunQuiet) {
    const struct {
        const char16_t* installation;
        const char16_t* update;
        bool quiet;
    } rows[] = {
        {u"", u"", false}, {u"true", u"", true},  {u"false", u"", true},
        {u"0", u"", true}, {u"", u"false", true}, {u"", u"1", true},
    };
    for (const auto& row : rows) {
        m_Data.SetProperty(u"_QuietInstallation", row.installation, 1);
        m_Data.SetProperty(u"_QuietUpdate", row.update, 1);
        EXPECT_EQ(m_Data.IsQuiet(), row.quiet)
            << jxtext::N(row.installation) << " / " << jxtext::N(row.update);
    }
}

TEST_F(RunState, PerformRestartRecordsTheRebootOnlyWhenInteractive) {
    m_Data.SetProperty(u"_QuietInstallation", u"true", 1);
    m_Data.PerformRestart();
    EXPECT_TRUE(jxplat::ReadShutdownRequests().empty());

    m_Data.SetProperty(u"_QuietInstallation", u"", 1);
    m_Data.PerformRestart();
    const auto requests = jxplat::ReadShutdownRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].reboot);
    EXPECT_EQ(requests[0].flags, EWX_REBOOT | EWX_FORCEIFHUNG);
    EXPECT_EQ(requests[0].reason, 0x80040001u);
}

struct PendingCase {
    const char* name;
    std::u16string mode;
    bool renameOfProductFile;
    bool requestFile;
    bool tag;
    bool servicing;
    bool property;
    const char* pendingProperty;
    bool failure;
    bool rebootRequired;
    const char16_t* installDir = u"C:\\Product";
    // The run is the one the restart entry started ("_SeqLastState" set).
    bool resumed = false;
};

class PendingRestart : public RunState, public ::testing::WithParamInterface<PendingCase> {};

TEST_P(PendingRestart, DecidesAsTheEvidenceAndTheModeSay) {
    const PendingCase& c = GetParam();
    m_Data.SetInstallMode(c.mode);
    m_Data.SetProperty(u"INSTALLDIR", c.installDir, 1);
    JxSetup::Data::JxFeature feature;
    feature.name = u"Main";
    JxSetup::Data::JxComponent component;
    component.id = u"core";
    component.destinationdir = u"[INSTALLDIR]";
    feature.components.push_back(component);
    m_Data.m_Features.push_back(feature);
    JxSetup::Data::JxFile file;
    file.name = u"App.dll";
    file.featurename = u"Main";
    file.componentid = u"core";
    m_Data.m_Files.push_back(file);

    std::vector<std::u16string> renames;
    if (c.renameOfProductFile)
        renames = {u"\\??\\c:\\product\\app.dll", u"\\??\\C:\\Other\\y.dll"};
    else
        renames = {u"\\??\\C:\\Other\\x.dll", u"!\\??\\C:\\Product\\App.dll"}; // "!" never matches
    if (c.requestFile) {
        std::filesystem::create_directories(m_Root.Path() + "/drive_c/Product");
        std::ofstream(m_Root.Path() + "/drive_c/Product/SetupReboot.req") << "";
        renames.push_back(u"\\??\\C:\\Product\\SetupReboot.req");
    }
    ASSERT_TRUE(CReg::PutMultiStringToRegistryVec(HKEY_LOCAL_MACHINE,
                                                  u"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                                  u"PendingFileRenameOperations", renames, 0));
    if (c.tag)
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kRunOnce, u"{PRODUCT-1}_TAG", u"", CRegStringType::Sz,
                                  0);
    if (c.servicing)
        CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE,
                               u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing",
                               u"RebootPending", 1, 0);
    m_Data.SetProperty(u"CheckPendingRestartProperties", u"NEEDS_A;NEEDS_B", 1);
    if (c.property)
        m_Data.SetProperty(u"NEEDS_B", u"1", 1);
    if (c.resumed)
        m_Data.SetProperty(u"_SeqLastState", u"InstallPrerequisite", 1);

    m_Data.DetectPendingRestartRequest();
    if (c.tag)
        EXPECT_EQ(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, u"{PRODUCT-1}_TAG", 0), !c.resumed);
    EXPECT_EQ(jxtext::N(m_Data.GetPropertyValue(u"_PENDINGRESTARTREQUEST")), c.pendingProperty);
    const auto& sequence = m_Data.GetSequenceData();
    EXPECT_EQ(sequence.m_bFailure, c.failure);
    EXPECT_EQ(sequence.m_bRebootRequired, c.rebootRequired);
    if (c.failure) {
        EXPECT_EQ(sequence.m_Error.m_nCode, -101);
        EXPECT_EQ(sequence.m_Error.m_nSubCode, -1004);
        EXPECT_EQ(sequence.m_Error.m_Keyword, u"RestartRequest");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PendingRestart,
    ::testing::Values(PendingCase{"Nothing", u"Install", false, false, false, false, false, "", false, false},
                      PendingCase{"RenameOfOwnFileFailsInstall", u"Install", true, false, false, false, false,
                                  "true", true, false},
                      // A destination folder with its closing backslash.
                      PendingCase{"RenameOfOwnFileBelowAFolderWithBackslash", u"Install", true, false, false,
                                  false, false, "true", true, false, u"C:\\Product\\"},
                      PendingCase{"ServicingFailsInstall", u"Install", false, false, false, true, false,
                                  "true", true, false},
                      PendingCase{"ServicingOnlyFlagsMaintenance", u"Maintenance", false, false, false, true,
                                  false, "true", false, false},
                      PendingCase{"ServicingOnlyFlagsUninstall", u"Uninstall", false, false, false, true,
                                  false, "true", false, false},
                      PendingCase{"ScheduledRequestFile", u"Install", false, true, false, false, false,
                                  "true", true, false},
                      PendingCase{"TagIsPrior", u"Maintenance", false, false, true, false, false, "true",
                                  false, false},
                      PendingCase{"TagFailsAnotherInstall", u"Install", false, false, true, false, false,
                                  "true", true, false},
                      // The run that the restart started removes the tag it finds.
                      PendingCase{"TagOfTheRestartThisRunResumesIsRemoved", u"Install", false, false, true,
                                  false, false, "", false, false, u"C:\\Product", true},
                      PendingCase{"PropertyAsksForReboot", u"Install", false, false, false, true, true,
                                  "true", false, true},
                      PendingCase{"PropertyIgnoredInUninstall", u"Uninstall", false, false, false, false,
                                  true, "", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunState, SingleInstanceMutexLetsOnlyOneOfTwoRunsGoOn) {
    const std::u16string line =
        u"\"" + ProgramPath("instance.exe") + u"\" mutex {EXCLUSIVE-1} " + jxplat::HostToWindowsPath(m_Fifo);
    CChild first, second;
    ASSERT_TRUE(first.Start(line));
    ASSERT_TRUE(second.Start(line));
    // The loser ends at once; the winner holds the lock until the fifo is written.
    HANDLE both[] = {first.info.hProcess, second.info.hProcess};
    const DWORD ended = WaitForMultipleObjects(2, both, FALSE, 60000);
    ASSERT_LT(ended, 2u) << "neither run ended: both think they hold the lock";
    CChild& loser = ended == 0 ? first : second;
    CChild& winner = ended == 0 ? second : first;
    EXPECT_EQ(loser.Finish(), 1u);
    ReleaseFifo(m_Fifo);
    EXPECT_EQ(winner.Finish(), 0u);

    // In this process: a run of a setup that is not exclusive touches no mutex.
    m_Data.m_ProductInfo.exclusive = u"false";
    EXPECT_TRUE(m_Data.OpenGlobalMutex());
    EXPECT_EQ(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, u"{PRODUCT-1}"), nullptr);
}

TEST_F(RunState, MachineWideLockIsSharedWithAnotherProcessAndRecoveredWhenItsHolderDies) {
    CMachineWideLock mine(u"ServiceShutdown");
    CChild holder;
    ASSERT_TRUE(holder.Start(u"\"" + ProgramPath("instance.exe") + u"\" lock ServiceShutdown " +
                             jxplat::HostToWindowsPath(m_Fifo)));
    // The fifo opens once the holder has the lock.
    int fd = ::open(m_Fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(mine.Acquire(0));
    EXPECT_TRUE(CMachineWideLock(u"OtherLock").Acquire(0));
    ASSERT_EQ(::write(fd, "x", 1), 1);
    ::close(fd);
    EXPECT_EQ(holder.Finish(), 0u);
    EXPECT_TRUE(mine.Acquire(0));
    mine.Release();

    // The mutex lives on while this process keeps a handle; its holder ends without releasing it.
    HANDLE raw = CreateMutexW(nullptr, FALSE, mine.GetName().c_str());
    ASSERT_NE(raw, nullptr);
    CChild dying;
    ASSERT_TRUE(dying.Start(u"\"" + ProgramPath("instance.exe") + u"\" die ServiceShutdown"));
    EXPECT_EQ(dying.Finish(), 7u);
    EXPECT_EQ(WaitForSingleObject(raw, 0), WAIT_ABANDONED);
    ReleaseMutex(raw);
    CloseHandle(raw);
    EXPECT_TRUE(mine.Acquire(0));
}

TEST_F(RunState, ShutdownLocksAreTakenFromTheirListAndReleased) {
    m_Data.SetProperty(u"ShutdownArguments", u"A,,B", 1);
    m_Data.AcquireShutdownLocks();
    ASSERT_EQ(m_Data.m_GlobalLocks.size(), 3u);
    for (const auto& lock : m_Data.m_GlobalLocks)
        EXPECT_TRUE(lock->IsHeld());
    m_Data.ReleaseGlobalLocks();
    for (const auto& lock : m_Data.m_GlobalLocks)
        EXPECT_FALSE(lock->IsHeld());
}

} // namespace

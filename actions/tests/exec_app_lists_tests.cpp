// The application lists: the install list with its reboot codes, flags and time limits, the
// end-of-setup list with its run decisions, and stopping the processes of setup files.
#include <gtest/gtest.h>

#include "exec_app_test_support.h"

using namespace jxapptest;

namespace {

const std::u16string kAppDir = u"C:\\SetupSource\\";
const std::u16string kProgram = u"C:\\Program Files\\Jx\\exit code.exe";

// The definition with one feature "Core" and the given application and file rows.
void WriteDefinition(const std::string& installApps, const std::string& endApps = "",
                     const std::string& files = "") {
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-16"?>
<Setup productid="{11111111-2222-3333-4444-555555555555}" productname="Jx Test" version="1.0.0.0">
  <SetupFeatures>
    <SetupFeature name="Core">
      <SetupComponents>
        <SetupComponent id="{C1}" destinationdir="[INSTALLDIR]" installmode="custom"/>
      </SetupComponents>
    </SetupFeature>
  </SetupFeatures>
  <SetupProperties>
    <SetupProperty name="INSTALLDIR" value="C:\Program Files\Jx\"/>
  </SetupProperties>
  <SetupFiles>)" + files + R"(</SetupFiles>
  <SetupInstallExecuteApplications>)" +
                            installApps + R"(</SetupInstallExecuteApplications>
  <LaunchAtEndOfSetupApps>)" +
                            endApps +
                            R"(</LaunchAtEndOfSetupApps>
</Setup>
)";
    WriteUtf16Text(kAppDir + u"setup.jxsetup", xml);
}

// One install-list row of the exit-code program; `extra` adds attributes.
std::string InstallRow(const std::string& arguments, const std::string& extra = "") {
    return "<SetupInstallExecuteApplication featurename=\"Core\" componentid=\"{C1}\" "
           "path=\"[INSTALLDIR]exit code.exe\" argument=\"" +
           arguments + "\" " + extra + "/>\n";
}

JxSequenceAction InstallAction() {
    return JxSequenceAction(u"ExecuteAppSequenceInst", u"[AT_EXECUTEAPPSEQUENCEINST]", 0x1bb);
}

class ExecAppLists : public ::testing::Test {
protected:
    void SetUp() override { PlaceExitCodeProgram(kProgram); }
    // A fresh data object over the definition, in an install run of "Core".
    std::unique_ptr<JxData> Load(const std::string& installApps, const std::string& endApps = "",
                                 const std::string& files = "") {
        WriteDefinition(installApps, endApps, files);
        auto data = std::make_unique<JxData>();
        data->SetAppDir(kAppDir);
        EXPECT_TRUE(data->LoadConfiguration()) << m_Log.Dump();
        data->m_SequenceData.m_bInstallModeInstall = true;
        data->SetProperty(u"InstallMode", u"Install", 1);
        data->SetProperty(u"FeatureStateAbsent", u"$Core$", 1);
        data->SetProperty(u"FeatureActionInstall", u"$Core$", 1);
        return data;
    }
    void Run(JxData& data) { data.ExecuteAppSequence(data.m_InstallApps, u"Install", InstallAction()); }

    jxtest::TempMachineRoot m_Root;
    CLogCapture m_Log;
};

} // namespace

TEST_F(ExecAppLists, TheRebootCodeOfARowAsksForARestart) {
    struct Row {
        const char* name;
        std::string row;
        bool restart;
    } rows[] = {
        {"3010", InstallRow("3010", "wait=\"true\" rebootcode=\"3010\""), true},
        {"1641", InstallRow("1641", "wait=\"true\" rebootcode=\"1641\""), true},
        {"other code", InstallRow("0", "wait=\"true\" rebootcode=\"3010\""), false},
        {"ignored", InstallRow("3010", "wait=\"true\" rebootcode=\"3010\" ignorereturncode=\"TRUE\""), false},
        {"crash", InstallRow("3221225477", "wait=\"true\" rebootcode=\"-1073741819\""), true},
        // A packaged program that is missing is not started; its result counts as 0.
        {"missing packaged", InstallRow("5", "wait=\"true\" rebootcode=\"0\" execfromwrap=\"True\""), true},
        {"bad reboot code", InstallRow("3010", "wait=\"true\" rebootcode=\"30x\""), false},
        {"condition", InstallRow("3010", "wait=\"true\" rebootcode=\"3010\" condition=\"1 = 2\""), false},
        {"not copied", InstallRow("3010", "wait=\"true\" rebootcode=\"3010\" execonlyifcopied=\"true\""),
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_Log.Clear();
        auto data = Load(row.row);
        Run(*data);
        EXPECT_EQ(data->IsRestartRequired(), row.restart) << m_Log.Dump();
        EXPECT_FALSE(data->m_Mutex.IsHeldByCurrentThread());
    }
    EXPECT_TRUE(m_Log.Has("LP_INFO", "No file of component {C1} has been copied. Canceling execution."));
}

TEST_F(ExecAppLists, FlagsCountOnlyInTheirSpellingAndOnlyAPackagedProgramHasATimeLimit) {
    auto data = Load(InstallRow("0", "wait=\"TRUE\"") + InstallRow("0", "wait=\"true\" timeout=\"30\"") +
                     InstallRow("0", "wait=\"true\" hidden=\"true\" plattform=\"x86,x64\""));
    std::vector<DWORD> waits;
    data->m_WaitForProcessForTesting = [&](HANDLE process, DWORD milliseconds) {
        waits.push_back(milliseconds);
        return WaitForSingleObject(process, INFINITE);
    };
    Run(*data);
    EXPECT_EQ(waits, (std::vector<DWORD>{INFINITE, INFINITE})) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("BEGIN",
                          "Arg: \"C:\\Program Files\\Jx\\exit code.exe\" 0 ShellExecute: false Hide: "
                          "false Wait: false TimeOut -1"));
    EXPECT_TRUE(m_Log.Has("BEGIN", "ShellExecute: false Hide: true Wait: true TimeOut -1"));
}

TEST_F(ExecAppLists, AnAddressRowOpensTheBrowser) {
    auto data = Load("<SetupInstallExecuteApplication featurename=\"Core\" componentid=\"{C1}\" path=\"\" "
                     "argument=\"HTTPS://example.test/thanks\"/>\n");
    Run(*data);
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Open default Browser with url: HTTPS://example.test/thanks"))
        << m_Log.Dump();
    EXPECT_NE(
        jxtest::ReadHostFile(jxplat::MachinePath("shellexecute.jsonl")).find("HTTPS://example.test/thanks"),
        std::string::npos);
}

// A time limit that is not an unsigned 32-bit decimal is the action's failure: the list ends there.
TEST_F(ExecAppLists, ABadTimeoutFailsTheActionAndEndsTheList) {
    const std::u16string seen = u"C:\\seen.txt";
    for (const char* timeout : {"5 min", "30s", "-1", "+30", " 30", "4294967296", "99999999999999999999"}) {
        SCOPED_TRACE(timeout);
        m_Log.Clear();
        WriteText(seen, "");
        auto data = Load(InstallRow("0", std::string("wait=\"true\" timeout=\"") + timeout + "\"") +
                         InstallRow("0 C:\\seen.txt", "wait=\"true\""));
        Run(*data);
        EXPECT_FALSE(data->m_Mutex.IsHeldByCurrentThread());
        EXPECT_EQ(jxtest::ReadHostFile(jxplat::WindowsToHostPath(seen)), ""); // the next row did not run
        EXPECT_TRUE(m_Log.Has("ERROR", std::string("Invalid timeout \"") + timeout + "\"")) << m_Log.Dump();
        const JxSequenceData& state = data->m_SequenceData;
        EXPECT_TRUE(state.m_bFailure);
        EXPECT_EQ(state.m_Error.m_ActionName, u"ExecuteAppSequenceInst");
        EXPECT_EQ(state.m_Error.m_Description, u"Invalid timeout of application [INSTALLDIR]exit code.exe");
    }
    // The largest limit is a limit, not a failure.
    auto data = Load(InstallRow("0", "wait=\"true\" timeout=\"4294967295\""));
    Run(*data);
    EXPECT_FALSE(data->m_SequenceData.m_bFailure) << m_Log.Dump();
}

TEST_F(ExecAppLists, EndOfSetupAppsRunOnlyWhenEveryCheckLetsThemAndLogEachReason) {
    const std::string end =
        "<LaunchAtEndOfSetupApp featurename=\"Core\" path=\"[INSTALLDIR]exit code.exe\" argument=\"0 "
        "C:\\seen.txt\" "
        "wait=\"TRUE\"/>\n"
        "<LaunchAtEndOfSetupApp featurename=\"Core\" path=\"[INSTALLDIR]missing.exe\" condition=\"1 = 2\"/>\n"
        "<LaunchAtEndOfSetupApp featurename=\"Core\" path=\"[INSTALLDIR]exit code.exe\" "
        "plattform=\"X64\"/>\n";
    struct Row {
        const char* name;
        bool installed;
        bool is64Bit;
        std::vector<std::string> logged;
        int waits;
    } rows[] = {
        {"installed, 64-bit Windows",
         true,
         true,
         {"Run app in current session", "Do not run app. Condition failed.", "Do not run app. App not found",
          "Disable FSRedirection", "Revert FSRedirection"},
         1},
        {"not installed", false, true, {"Do not run app. Feautre Core is not installed."}, 0},
        {"32-bit Windows", true, false, {"Do not run app. 64 Bit app can't run on 32 Bit OS."}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_Log.Clear();
        auto data = Load("", end);
        if (row.installed) {
            data->SetProperty(u"FeatureStateAbsent", u"", 1);
            data->SetProperty(u"FeatureStateInstalled", u"$Core$", 1);
        }
        data->SetProperty(u"VersionNT64", row.is64Bit ? u"603" : u"", 1);
        int waits = 0;
        data->m_WaitForProcessForTesting = [&](HANDLE process, DWORD milliseconds) {
            ++waits;
            EXPECT_EQ(milliseconds, INFINITE);
            return WaitForSingleObject(process, INFINITE);
        };
        data->LaunchAppsAtEndOfSetup();
        EXPECT_EQ(waits, row.waits); // "TRUE" waits in this list
        for (const std::string& text : row.logged)
            EXPECT_TRUE(m_Log.Has("LP_INFO", text)) << text << "\n" << m_Log.Dump();
    }
}

TEST_F(ExecAppLists, StopProcessesEndsTheRunningProcessesOfRowsThatAskForIt) {
    const std::string files =
        "<SetupFile name=\"agent.exe\" featurename=\"Core\" componentid=\"{C1}\" stopprocess=\"true\" "
        "isstopable=\"TRUE\"/>\n"
        "<SetupFile name=\"Tray.EXE\" featurename=\"Core\" componentid=\"{C1}\" stopprocess=\"true\"/>\n"
        "<SetupFile name=\"keep.exe\" featurename=\"Core\" componentid=\"{C1}\" stopprocess=\"TRUE\"/>\n";
    auto data = Load("", "", files);
    CGate gate(u"C:\\Program Files\\Jx\\agent.exe");
    WriteText(u"C:\\Program Files\\Jx\\tray.exe",
              jxtest::ReadHostFile(jxplat::WindowsToHostPath(u"C:\\Program Files\\Jx\\agent.exe")), true);
    WriteText(u"C:\\Program Files\\Jx\\keep.exe",
              jxtest::ReadHostFile(jxplat::WindowsToHostPath(u"C:\\Program Files\\Jx\\agent.exe")), true);
    std::vector<PROCESS_INFORMATION> started;
    for (const WCHAR* name : {u"agent.exe", u"tray.exe", u"keep.exe"}) {
        std::u16string line = u"\"C:\\Program Files\\Jx\\" + std::u16string(name) + u"\"";
        STARTUPINFOW startup = {sizeof(STARTUPINFOW)};
        PROCESS_INFORMATION info = {};
        ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &info));
        started.push_back(info);
    }
    auto ended = [&](size_t index) {
        return WaitForSingleObject(started[index].hProcess, 0) == WAIT_OBJECT_0;
    };
    data->StopProcesses(1);
    ASSERT_EQ(WaitForSingleObject(started[1].hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = 1;
    EXPECT_TRUE(GetExitCodeProcess(started[1].hProcess, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(ended(0)); // may keep running in mode 1
    EXPECT_FALSE(ended(2)); // "TRUE" does not ask for it
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Killing process Tray.EXE.")) << m_Log.Dump();
    data->StopProcesses(0);
    EXPECT_EQ(WaitForSingleObject(started[0].hProcess, INFINITE), WAIT_OBJECT_0);
    EXPECT_FALSE(ended(2));
    gate.Open();
    EXPECT_EQ(WaitForSingleObject(started[2].hProcess, INFINITE), WAIT_OBJECT_0);
    for (const PROCESS_INFORMATION& info : started) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
}

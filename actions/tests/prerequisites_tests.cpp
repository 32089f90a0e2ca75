// Prerequisite installers: extracted from their component's package, run hidden, their result read
// against the row's reboot and error codes; a reboot or an error passes the rest of the list over.
#include <filesystem>
#include <map>
#include <stdexcept>

#include <gtest/gtest.h>

#include "exec_app_test_support.h"
#include "jxtest/hostile_paths.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/container/CPackageWriter.h"

using namespace jxapptest;

namespace {

const std::u16string kFeature = u"Main";
const std::u16string kPackage = u"C:\\SetupSource\\prq.wpk";
const std::u16string kDestination = u"C:\\Program Files\\Prod";
const std::u16string kRuns = u"C:\\runs.txt";

// A script that notes its Windows command line in kRuns and ends with its first argument.
std::string InstallerScript() {
    return "#!/bin/sh\necho \"$JX_COMMAND_LINE\" >> \"" + jxplat::WindowsToHostPath(kRuns) +
           "\"\necho \"$1\" > \"$JX_EXIT_CODE_FILE\"\n";
}

// One package holding the folder of each component: id -> (file name -> content).
void WritePackage(const std::map<std::u16string, std::map<std::u16string, std::string>>& components) {
    PACKAGE_WRITER_OPTIONS options;
    options.name = "prq";
    CPackageWriter writer(options);
    for (const auto& [id, files] : components) {
        for (const auto& [name, content] : files) {
            PACKAGE_FILE_INPUT input;
            input.content.assign(content.begin(), content.end());
            input.lastWrite = FILETIME{0x12345678u, 0x01D80000u};
            ASSERT_TRUE(writer.AddFile(id + u"\\" + name, std::move(input)));
        }
    }
    const std::string host = jxplat::WindowsToHostPath(kPackage);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    ASSERT_TRUE(writer.WriteToHostFile(host));
}

JxComponent Component(const std::u16string& id) {
    JxComponent component;
    component.id = id;
    component.destinationdir = kDestination;
    component.installmode = u"custom";
    return component;
}

// A prerequisite row of the component whose installer ends with the code.
JxFile Prerequisite(const std::u16string& componentId, const std::u16string& code) {
    JxFile row;
    row.name = u"prereq.exe";
    row.featurename = kFeature;
    row.componentid = componentId;
    row.isprerequisite = u"true";
    row.prerequisitearg = code;
    return row;
}

JxSequenceAction PrerequisiteAction() {
    return JxSequenceAction(u"InstallPrerequisite", u"[AT_INSTALLPREREQUISITE]", 0x1bb);
}

void SetQaMode(DWORD mode) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TOLVANE\\JxSetupEngine", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExW(key, u"QaPrqMode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode), sizeof(mode)),
        ERROR_SUCCESS);
    RegCloseKey(key);
}

bool Exists(const std::u16string& path) {
    return std::filesystem::exists(jxplat::WindowsToHostPath(path));
}

class Prerequisites : public ::testing::Test {
protected:
    void SetUp() override {
        WritePackage({{u"prq1", {{u"prereq.exe", InstallerScript()}, {u"readme.txt", "r"}}},
                      {u"prq2", {{u"prereq.exe", InstallerScript()}}}});
    }
    // A data object of an installation of kFeature with components prq1, prq2 (and the extra ones),
    // the package mounted.
    std::unique_ptr<JxData> Make(const std::vector<JxComponent>& extra = {}, bool mount = true) {
        auto data = std::make_unique<JxData>();
        JxFeature feature;
        feature.name = kFeature;
        feature.components = {Component(u"prq1"), Component(u"prq2")};
        feature.components.insert(feature.components.end(), extra.begin(), extra.end());
        data->m_Features = {feature};
        data->m_SequenceData.m_bInstallModeInstall = true;
        data->SetProperty(u"InstallMode", u"Install", 1);
        data->SetProperty(u"FeatureStateAbsent", u"$" + kFeature + u"$", 1);
        data->SetProperty(u"FeatureActionInstall", u"$" + kFeature + u"$", 1);
        if (mount)
            EXPECT_TRUE(data->MountExternalPackage(kPackage, kScanModeReplace)) << m_Log.Dump();
        return data;
    }
    std::string Runs() { return jxtest::ReadHostFile(jxplat::WindowsToHostPath(kRuns)); }
    void Run(JxData& data, const std::vector<JxFile>& list) {
        data.ExecutePrerequisites(PrerequisiteAction(), list);
        EXPECT_FALSE(data.m_Mutex.IsHeldByCurrentThread());
    }

    jxtest::TempMachineRoot m_Root;
    CLogCapture m_Log;
};

} // namespace

TEST_F(Prerequisites, TheResultCodeRecordsARebootOrAnError) {
    struct Case {
        const char* name;
        std::u16string code;
        std::u16string rebootCodes;
        std::u16string requiresReboot;
        std::u16string cancelOnFail;
        std::u16string errorCodes;
        std::u16string errorMessage;
        bool reboot;
        bool failure;
    } cases[] = {
        {"success", u"0", u"3010,1641", u"", u"true", u"1603", u"ERR_PRQ", false, false},
        {"reboot code", u"1641", u"3010,1641", u"", u"", u"", u"", true, false},
        {"reboot code from a property", u"3010", u"[PRQ_REBOOT]", u"", u"", u"", u"", true, false},
        {"pieces are not trimmed", u"1641", u"3010, 1641", u"", u"", u"", u"", false, false},
        {"reboot whatever it returns", u"0", u"", u"TRUE", u"", u"", u"", true, false},
        {"error code", u"1603", u"", u"", u"True", u"1,1603", u"ERR_PRQ", false, true},
        {"error code without a message", u"1603", u"", u"", u"true", u"1603", u"", false, false},
        {"error check not enabled", u"1603", u"", u"", u"false", u"1603", u"ERR_PRQ", false, false},
        {"both", u"3010", u"3010", u"", u"true", u"3010", u"ERR_PRQ", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Log.Clear();
        std::filesystem::remove(jxplat::WindowsToHostPath(kRuns));
        auto data = Make();
        data->SetProperty(u"PRQ_REBOOT", u"3010", 1);
        JxFile row = Prerequisite(u"prq1", c.code);
        row.prqrebootcode = c.rebootCodes;
        row.prqrequiresreboot = c.requiresReboot;
        row.prqcancelonfail = c.cancelOnFail;
        row.prqerrorcode = c.errorCodes;
        row.prqerrormessage = c.errorMessage;

        EXPECT_TRUE(data->ExecutePrerequisiteItem(PrerequisiteAction(), row)) << m_Log.Dump();
        const JxSequenceData& state = data->m_SequenceData;
        EXPECT_EQ(Runs(), "\"" + jxtext::N(kDestination) + "\\prereq.exe\" " + jxtext::N(c.code) + "\n");
        EXPECT_EQ(state.m_bRebootRequired, c.reboot);
        EXPECT_EQ(state.m_bPrerequisiteReboot, c.reboot);
        EXPECT_EQ(state.m_bFailure, c.failure);
        if (c.reboot) {
            EXPECT_EQ(state.m_RestartRequest.m_Reason, u"Prerequisite needs reboot");
            EXPECT_EQ(state.m_RestartRequest.m_Message, u"[PRQ_NEEDS_REBOOT_MSG]");
            EXPECT_EQ(state.m_RestartRequest.m_Context, u"InstallPrerequisite");
            EXPECT_EQ(state.m_RestartRequest.m_PrerequisiteName, kFeature);
            EXPECT_EQ(state.m_RestartRequest.m_Arguments,
                      u"/_noUAC=\"true\" /_SeqLastState=\"InstallPrerequisite\"");
        }
        if (c.failure) {
            EXPECT_EQ(state.m_Error.m_Message, u"ERR_PRQ");
            EXPECT_EQ(state.m_Error.m_ActionName, u"InstallPrerequisite");
            EXPECT_EQ(state.m_Error.m_FeatureName, kFeature);
            EXPECT_EQ(state.m_Error.m_Description, u"Failed to install prerequisite");
        }
        // The extracted files leave the destination folder again.
        EXPECT_FALSE(Exists(kDestination + u"\\prereq.exe"));
        EXPECT_FALSE(Exists(kDestination + u"\\readme.txt"));
    }
}

TEST_F(Prerequisites, ARebootOrAnErrorPassesTheRestOfTheListOver) {
    struct Case {
        const char* name;
        DWORD qaMode;
        std::u16string firstCode;
        const char* skipLine;
        bool reboot;
        std::u16string errorMessage;
    } cases[] = {
        {"reboot code", 0, u"1641", "Reboot required. Skipping action.", true, u""},
        {"error code", 0, u"1603", "An error occoured. Skipping action.", false, u"ERR_PRQ"},
        {"QaPrqMode 1", 1, u"0", "Reboot required. Skipping action.", true, u""},
        {"QaPrqMode 2", 2, u"0", "An error occoured. Skipping action.", false, u"QA_PRQ_ERROR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Log.Clear();
        std::filesystem::remove(jxplat::WindowsToHostPath(kRuns));
        SetQaMode(c.qaMode);
        auto data = Make();
        JxFile first = Prerequisite(u"prq1", c.firstCode);
        first.prqrebootcode = u"3010,1641";
        first.prqcancelonfail = u"true";
        first.prqerrorcode = u"1603";
        first.prqerrormessage = u"ERR_PRQ";
        Run(*data, {first, Prerequisite(u"prq2", u"0")});

        EXPECT_EQ(Runs(), "\"" + jxtext::N(kDestination) + "\\prereq.exe\" " + jxtext::N(c.firstCode) + "\n")
            << m_Log.Dump();
        EXPECT_EQ(m_Log.Count(c.reboot ? "LP_INFO" : "ERROR", c.skipLine), 1u) << m_Log.Dump();
        EXPECT_EQ(data->m_SequenceData.m_bRebootRequired, c.reboot);
        EXPECT_EQ(data->m_SequenceData.m_bFailure, !c.reboot);
        EXPECT_EQ(data->m_SequenceData.m_Error.m_Message, c.errorMessage);
        EXPECT_FALSE(data->m_UserCancelled);
    }
    SetQaMode(0);
}

TEST_F(Prerequisites, QaPrqModeTwoRecordsItsOwnError) {
    SetQaMode(2);
    auto data = Make();
    Run(*data, {Prerequisite(u"prq1", u"0")});
    const JxErrorInfo& error = data->m_SequenceData.m_Error;
    EXPECT_EQ(error.m_FeatureName, u"QA_PRQ_ERROR_FEATURE");
    EXPECT_EQ(error.m_Description, u"QA_PRQ_ERROR: Failed to install prerequisite");
    EXPECT_EQ(error.m_ActionName, u"InstallPrerequisite");
}

TEST_F(Prerequisites, RowsThatAreNotRunStillLeaveTheListGoingOn) {
    JxComponent unmet = Component(u"prq2");
    unmet.id = u"unmet";
    unmet.condition = u"[REMOTE] == 'n'";
    JxComponent wpk = Component(u"wpk");
    wpk.extractaswpk = u"TRUE";
    auto data = Make({unmet, wpk});
    data->SetProperty(u"REMOTE", u"y", 1);

    JxFile notFlagged = Prerequisite(u"prq1", u"1");
    notFlagged.isprerequisite = u"false";
    JxFile warned = Prerequisite(u"wpk", u"2");
    warned.checkremotewarning = u"true";
    warned.remotewarningcondition = u"[REMOTE] == 'y'";
    warned.remotewarningcomponent = u"Remote Agent";
    Run(*data, {notFlagged, Prerequisite(u"unmet", u"3"), warned, Prerequisite(u"prq2", u"4")});

    // Only the last row ran; the row of the packaged component still recorded its warning.
    EXPECT_EQ(Runs(), "\"" + jxtext::N(kDestination) + "\\prereq.exe\" 4\n") << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Skip action of component: wpk"));
    const JxSequenceData& state = data->m_SequenceData;
    EXPECT_FALSE(state.m_bFailure);
    EXPECT_TRUE(state.m_bWarning);
    EXPECT_EQ(state.m_Warning.m_Description, u"Prq detected install warning");
    EXPECT_EQ(state.m_Warning.m_FeatureName, kFeature);
    EXPECT_EQ(state.m_Warning.m_nCode, -100);
    EXPECT_EQ(state.m_Warning.m_nSubCode, -10001);
    EXPECT_EQ(state.m_Warning.m_Keyword, u"Remote Agent");
}

TEST_F(Prerequisites, AnInstallerThatCannotBePreparedEndsTheListAsCancelled) {
    struct Case {
        const char* name;
        bool mounted;
        std::u16string installerName;
        bool packagedCopyRow; // a copy row of the component makes its package required
        const char* logged;
    } cases[] = {
        {"file not found", true, u"missing.exe", false,
         "File not found: C:\\Program Files\\Prod\\missing.exe"},
        {"no package file system", false, u"prereq.exe", false, "VirtualFS is not initialized."},
        {"component not mounted", true, u"prereq.exe", true, "Required component is not mounted: prq1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Log.Clear();
        auto data = Make({}, c.mounted);
        if (c.packagedCopyRow) {
            JxFile copy;
            copy.name = u"notpackaged.dll";
            copy.featurename = kFeature;
            copy.componentid = u"prq1";
            copy.copymode = u"bycrc";
            data->m_Files = {copy};
        }
        JxFile row = Prerequisite(u"prq1", u"0");
        row.name = c.installerName;
        row.prqerrormessage = u"ERR_PRQ";
        EXPECT_FALSE(data->ExecutePrerequisiteItem(PrerequisiteAction(), row));
        EXPECT_TRUE(m_Log.Has("ERROR", c.logged)) << m_Log.Dump();
        EXPECT_TRUE(data->m_SequenceData.m_bFailure);
        EXPECT_EQ(data->m_SequenceData.m_Error.m_Description, u"Failed to install prerequisite");

        // In the list, the next row is not reached and the run counts as cancelled.
        data->m_SequenceData = JxSequenceData();
        data->m_SequenceData.m_bInstallModeInstall = true;
        row.prqerrormessage.clear();
        Run(*data, {row, Prerequisite(u"prq2", u"0")});
        EXPECT_TRUE(data->m_UserCancelled);
        EXPECT_EQ(Runs(), "");
    }
}

TEST_F(Prerequisites, TheWorkingFolderIsEmptiedAfterEveryRowWhenItIsSafe) {
    const std::u16string work = u"C:\\Prq Work";
    auto data = Make({[] {
        JxComponent unmet = Component(u"unmet");
        unmet.condition = u"[REMOTE] == 'n'";
        return unmet;
    }()});
    data->SetProperty(u"_ExecPrqDir", work, 1);
    WriteText(work + u"\\left.txt", "x");
    WriteText(work + u"\\sub\\kept.txt", "x");
    // A row passed over by its component's condition still empties the folder.
    EXPECT_TRUE(data->ExecutePrerequisiteItem(PrerequisiteAction(), Prerequisite(u"unmet", u"0")));
    EXPECT_FALSE(Exists(work + u"\\left.txt"));
    EXPECT_TRUE(Exists(work + u"\\sub\\kept.txt")); // its own files only

    // The installer runs from the working folder, its path quoted for the blank.
    WriteText(work + u"\\left.txt", "x");
    EXPECT_TRUE(data->ExecutePrerequisiteItem(PrerequisiteAction(), Prerequisite(u"prq1", u"0")));
    EXPECT_EQ(Runs(), "\"C:\\Prq Work\\prereq.exe\" 0\n");
    EXPECT_FALSE(Exists(work + u"\\left.txt"));
    EXPECT_FALSE(Exists(work + u"\\prereq.exe"));

    // A working folder that is a root, relative, unresolved or climbs out is never emptied.
    for (const std::u16string& folder : jxtest::HostileFolders()) {
        SCOPED_TRACE(jxtext::N(folder));
        WriteText(u"C:\\root.txt", "x");
        WriteText(u"C:\\x\\root.txt", "x");
        data->SetProperty(u"_ExecPrqDir", folder, 1);
        data->ExecutePrerequisiteItem(PrerequisiteAction(), Prerequisite(u"unmet", u"0"));
        EXPECT_TRUE(Exists(u"C:\\root.txt"));
        EXPECT_TRUE(Exists(u"C:\\x\\root.txt"));
    }
}

TEST_F(Prerequisites, FilesTheProductAlreadyHasInTheComponentFolderStay) {
    // Without "_ExecPrqDir" the installer is unpacked into the component's own folder: what the
    // unpacking added goes again, what was there before is the product's and stays as it was, also
    // when the package holds a file of its name.
    auto data = Make();
    WriteText(kDestination + u"\\readme.txt", "installed");
    EXPECT_TRUE(data->ExecutePrerequisiteItem(PrerequisiteAction(), Prerequisite(u"prq1", u"0")));
    EXPECT_FALSE(Runs().empty());
    EXPECT_FALSE(Exists(kDestination + u"\\prereq.exe"));
    EXPECT_EQ(jxtest::ReadHostFile(jxplat::WindowsToHostPath(kDestination + u"\\readme.txt")), "installed");
    EXPECT_FALSE(Exists(kDestination + u"\\readme.txt.jxprq"));
}

TEST_F(Prerequisites, PrqcmdTimeoutAndBitnessReachTheStart) {
    const std::u16string other = u"C:\\Tools\\other.exe";
    WriteText(other, InstallerScript(), true);
    auto data = Make();
    std::vector<DWORD> waits;
    data->m_WaitForProcessForTesting = [&](HANDLE process, DWORD milliseconds) {
        waits.push_back(milliseconds);
        return WaitForSingleObject(process, INFINITE);
    };
    JxFile command = Prerequisite(u"prq1", u"/quiet");
    command.prqcmd = other + u" 5";
    command.prqtimeout = u"30";
    JxFile plain = Prerequisite(u"prq2", u"0");
    plain.prqtimeout = u"600";
    plain.prq64bit = u"TRUE";
    Run(*data, {command, plain, Prerequisite(u"prq1", u"0")});
    EXPECT_EQ(Runs(), "C:\\Tools\\other.exe 5 /quiet\n\"" + jxtext::N(kDestination) + "\\prereq.exe\" 0\n\"" +
                          jxtext::N(kDestination) + "\\prereq.exe\" 0\n");
    // A limit is at least five minutes; an empty one is none.
    EXPECT_EQ(waits, (std::vector<DWORD>{300000, 600000, INFINITE}));
}

TEST_F(Prerequisites, ABadTimeoutEndsTheActionAsFailedWithoutStartingTheInstaller) {
    auto data = Make();
    JxFile row = Prerequisite(u"prq1", u"0");
    row.prqtimeout = u"5 min";
    row.prqerrormessage = u"ERR_PRQ";
    EXPECT_THROW(data->ExecutePrerequisiteItem(PrerequisiteAction(), row), std::invalid_argument);
    EXPECT_FALSE(Exists(kDestination + u"\\prereq.exe"));

    Run(*data, {row, Prerequisite(u"prq2", u"0")});
    EXPECT_EQ(Runs(), "");
    EXPECT_TRUE(data->m_SequenceData.m_bFailure);
    EXPECT_EQ(data->m_SequenceData.m_Error.m_Message, u"ERR_PRQ");
    EXPECT_TRUE(m_Log.Has("ERROR", "Invalid timeout \"5 min\"")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("END", ""));
}

TEST_F(Prerequisites, TheActionTakesTheOrderedListWhenThereIsOne) {
    auto data = Make();
    JxFile copy = Prerequisite(u"prq1", u"1");
    JxFile ordered = Prerequisite(u"prq2", u"2");
    data->m_Files = {copy};
    data->m_Prerequisites = {ordered};
    data->action_InstallPrerequisite(PrerequisiteAction());
    EXPECT_EQ(Runs(), "\"" + jxtext::N(kDestination) + "\\prereq.exe\" 2\n");
    EXPECT_TRUE(m_Log.Has("MP_INFO", "Execute order prq sequence."));

    std::filesystem::remove(jxplat::WindowsToHostPath(kRuns));
    data->m_Prerequisites.clear();
    data->action_InstallPrerequisite(PrerequisiteAction());
    EXPECT_EQ(Runs(), "\"" + jxtext::N(kDestination) + "\\prereq.exe\" 1\n");
    EXPECT_TRUE(m_Log.Has("MP_INFO", "Execute unorderd prq sequence (compatibility mode)."));
}

// Runs of the real program through initialization: its packages appended or beside it, the
// definition and the language it chooses, the hand-over to the trusted engine in its packages, and
// the elevated relaunch.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxtest/run_program.h"

#include "e2e_support.h"

namespace {

namespace fs = std::filesystem;

const char* const kQuiet = "/_QuietInstallation=true";

std::string Fixture(const std::string& name) {
    return (fs::path(__FILE__).parent_path() / "fixtures" / "init" / name).string();
}

void WriteHostFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A setup as a product ships it: "setup.exe" in a folder whose name has a blank, with its packages
// appended or beside it. Everything lies below the machine root and goes with it.
class CShippedSetup {
public:
    explicit CShippedSetup(const jxtest::TempMachineRoot& root)
        : m_work(root.Path() + "/work"), m_folder(root.Path() + "/Setup Files") {
        fs::create_directories(m_folder);
    }

    const std::string& Program() const { return m_program; }
    std::u16string WindowsProgram() const { return jxplat::HostToWindowsPath(m_program); }
    const std::string& Folder() const { return m_folder; }

    // A package "<top>" holding the files (name -> content).
    std::string Package(const std::string& top, const std::map<std::string, std::string>& files) {
        const std::string stage = m_work + "/" + std::to_string(m_count) + "/" + top;
        for (const auto& [name, content] : files)
            WriteHostFile(stage + "/" + name, content);
        // Named as a product ships it ("$CONFIG.wpk", "{...}.wpk").
        const std::string out = m_work + "/" + std::to_string(m_count++) + "/" + top + ".wpk";
        const auto made = jxtest::RunProgram(JxPack(), {"make", out, stage, "--root", top});
        EXPECT_EQ(made.exitCode, 0) << "jxpack make " << top;
        return out;
    }

    // The definition, metadata and requirements of the fixture.
    std::vector<std::string> ProductPackages(const std::string& definition) {
        std::map<std::string, std::string> config = {
            {"metainfo.xml", jxtest::ReadHostFile(Fixture("metainfo.xml"))}};
        if (!definition.empty())
            config["setup.jxsetup"] = definition;
        return {
            Package("$CONFIG", config),
            Package("$UNINSTALL", {{"requirements.xml", jxtest::ReadHostFile(Fixture("requirements.xml"))}})};
    }

    // setup.exe, a copy of the built program, with the packages appended to it.
    void Append(const std::vector<std::string>& packages) {
        _CopyProgram();
        std::vector<std::string> args = {"append", m_program};
        args.insert(args.end(), packages.begin(), packages.end());
        EXPECT_EQ(jxtest::RunProgram(JxPack(), args).exitCode, 0) << "jxpack append";
    }

    // setup.exe with the packages as files beside it.
    void Beside(const std::vector<std::string>& packages) {
        _CopyProgram();
        for (const std::string& package : packages)
            fs::copy_file(package, m_folder + "/" + fs::path(package).filename().string());
    }

private:
    static std::string JxPack() { return jxtest::BuildDir() + "/tools/jxpack"; }

    void _CopyProgram() {
        m_program = m_folder + "/setup.exe";
        fs::copy_file(jxe2e::Program(), m_program, fs::copy_options::overwrite_existing);
    }

    std::string m_work;
    std::string m_folder;
    std::string m_program;
    int m_count = 0;
};

using jxe2e::AllLogs;
using jxe2e::RunLogs;

std::string Escape(const std::string& text) {
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

// The log holds the property with this value.
bool PropertyLogged(const std::string& log, const std::string& name, const std::string& value) {
    return std::regex_search(log, std::regex("<Property [^>]*name=\"" + Escape(name) +
                                             "\"[^>]*><!\\[CDATA\\[" + Escape(value) + "\\]\\]>"));
}

// The log holds an entry of the context with this message.
bool EntryLogged(const std::string& log, const std::string& context, const std::string& message) {
    return std::regex_search(
        log, std::regex("context=\"" + Escape(context) + "\"><!\\[CDATA\\[" + Escape(message) + "\\]\\]>"));
}

bool DefinitionLoaded(const std::string& log) {
    return EntryLogged(log, "JxSetup::Data::JxData::LoadConfiguration", "true") &&
           EntryLogged(log, "JxSetup::Data::JxData::LoadConfiguration", "Product version 1.0.0.5");
}

std::string Text(const std::u16string& text) {
    return jxtext::Utf16ToUtf8(text);
}

// ---- the packages, the definition, the properties and the language ----

TEST(InitializeRun, PackagesAppendedOrBesideLoadTheDefinitionAndDescribeTheMachine) {
    for (const bool appended : {true, false}) {
        SCOPED_TRACE(appended ? "appended" : "beside");
        jxtest::TempMachineRoot root;
        CShippedSetup setup(root);
        const auto packages = setup.ProductPackages(jxtest::ReadHostFile(Fixture("setup.jxsetup")));
        appended ? setup.Append(packages) : setup.Beside(packages);
        jxplat::MachineDescription machine = jxe2e::TrustingMachine(setup.Program());
        machine.language = 1031;
        machine.computerName = "Brell-Test-07";
        machine.user.name = "Mara";
        root.Describe(machine);

        const auto run = jxtest::RunProgram(setup.Program(), {"/MYPROP=x", kQuiet});
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(jxplat::ReadRecordedMessageBoxes().empty());
        const std::string log = AllLogs(root);
        ASSERT_FALSE(log.empty());
        EXPECT_TRUE(PropertyLogged(log, "MYPROP", "x")) << log;
        EXPECT_TRUE(DefinitionLoaded(log)) << log;
        if (!appended)
            EXPECT_NE(log.find("File mounted: " + Text(jxplat::HostToWindowsPath(setup.Folder())) + "\\"),
                      std::string::npos);
        // Metadata from $CONFIG, requirements from $UNINSTALL: both found.
        EXPECT_NE(log.find("Load xml file \\$CONFIG\\metainfo.xml"), std::string::npos);
        EXPECT_NE(log.find("Load xml file \\$UNINSTALL\\requirements.xml"), std::string::npos);
        EXPECT_EQ(log.find("metainfo.xml not found"), std::string::npos);
        EXPECT_EQ(log.find("requirements.xml not found"), std::string::npos);
        // The system properties describe this machine.
        EXPECT_TRUE(PropertyLogged(log, "VersionNT", "1000"));
        EXPECT_TRUE(PropertyLogged(log, "_ComputerNameNetBIOS", "BRELL-TEST-07"));
        EXPECT_TRUE(PropertyLogged(log, "AppDataFolder", "C:\\Users\\Mara\\AppData\\Roaming"));
        EXPECT_TRUE(
            PropertyLogged(log, "SetupFolder", Text(jxplat::HostToWindowsPath(setup.Folder())) + "\\"));
        // German Windows, a product in English and German: German.
        EXPECT_TRUE(PropertyLogged(log, "SelectedLanguage", "de"));
        EXPECT_TRUE(EntryLogged(log, "JxSetup::Data::JxData::SetCurrentLanguage", "de"));
    }
}

TEST(InitializeRun, MissingOrBrokenDefinitionShowsTheInitErrorBoxAndEndsWithOne) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"no definition in $CONFIG", ""},
        {"not well-formed", "<?xml version=\"1.0\"?><Setup productname=\"Brellwick Lite\"><SetupFeatures>"},
        {"not XML", "\x01\x02 definitely not a definition"},
    };
    for (const auto& [name, definition] : cases) {
        SCOPED_TRACE(name);
        jxtest::TempMachineRoot root;
        CShippedSetup setup(root);
        setup.Append(setup.ProductPackages(definition));
        root.Describe(jxe2e::TrustingMachine(setup.Program()));

        const auto run = jxtest::RunProgram(setup.Program(), {});
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exitCode, 1);
        const auto boxes = jxplat::ReadRecordedMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, u"Setup error");
        EXPECT_EQ(boxes[0].text.rfind(u"Error while initializing the setup.\n", 0), 0u);
        const std::string log = AllLogs(root);
        EXPECT_TRUE(EntryLogged(log, "JxSetup::Data::JxSetupEngineControl::_init_LoadConfiguration",
                                "Error while loading configuration!"))
            << log;
    }
}

// ---- packages a common update left beside the program ----

// Before the packages beside the program are mounted they are checked against "Requiredfiles.xml":
// a listed package with its checksum stays and is mounted, a package the list does not name and the
// stored configuration copy are removed. A listed package that is corrupt is removed and the run
// ends at its initialization, before anything is mounted from the folder.
TEST(InitializeRun, DownloadedPackagesBesideTheProgramAreCheckedBeforeTheyAreMounted) {
    for (const bool corrupt : {false, true}) {
        SCOPED_TRACE(corrupt ? "corrupt" : "sound");
        jxtest::TempMachineRoot root;
        CShippedSetup setup(root);
        setup.Append(setup.ProductPackages(jxtest::ReadHostFile(Fixture("setup.jxsetup"))));
        root.Describe(jxe2e::TrustingMachine(setup.Program()));
        const std::string listed = setup.Package("{5A3E9C21-0009-4000-8000-000000000009}", {{"x.txt", "x"}});
        const std::string downloaded = setup.Folder() + "/{5A3E9C21-0009-4000-8000-000000000009}.wpk";
        fs::copy_file(listed, downloaded);
        const std::string sha = corrupt ? std::string(64, '0') : jxe2e::HostFileSha256(listed);
        WriteHostFile(setup.Folder() + "/Requiredfiles.xml",
                      "<Updatefiles><Updatefile name=\"{5A3E9C21-0009-4000-8000-000000000009}.wpk\" sha=\"" +
                          sha + "\" length=\"1\"/></Updatefiles>");
        WriteHostFile(setup.Folder() + "/stale.wpk", "a package of an older version");
        WriteHostFile(setup.Folder() + "/$CONFIG.kpw", "a stored configuration");

        const auto run = jxtest::RunProgram(setup.Program(), {kQuiet});
        ASSERT_TRUE(run.started);
        const std::string log = AllLogs(root);
        EXPECT_FALSE(fs::exists(setup.Folder() + "/stale.wpk"));
        EXPECT_FALSE(fs::exists(setup.Folder() + "/$CONFIG.kpw"));
        EXPECT_NE(log.find("stale.wpk is not needed and must be deleted"), std::string::npos) << log;
        if (corrupt) {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_FALSE(fs::exists(downloaded));
            EXPECT_NE(log.find("Checksum invalid. Deleting file"), std::string::npos) << log;
            EXPECT_EQ(log.find("File mounted: " + Text(jxplat::HostToWindowsPath(setup.Folder()))),
                      std::string::npos)
                << log;
        } else {
            EXPECT_EQ(run.exitCode, 0);
            EXPECT_TRUE(fs::exists(downloaded));
            EXPECT_NE(log.find("File mounted: " + Text(jxplat::HostToWindowsPath(downloaded))),
                      std::string::npos)
                << log;
        }
    }
}

// ---- the trusted engine in the packages ----

// setup.exe, which the machine does not trust, carrying the product and the trusted engine.
void ShipUntrusted(CShippedSetup& setup,
                   const std::string& definition = jxtest::ReadHostFile(Fixture("setup.jxsetup"))) {
    auto packages = setup.ProductPackages(definition);
    packages.push_back(setup.Package("$SETUP", {{"JxSetup.exe", jxtest::ReadHostFile(jxe2e::Program())}}));
    setup.Append(packages);
}

// The process of the machine's table has ended (or is gone): a hand-over was waited for.
bool ProcessHasEnded(DWORD processId) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!process)
        return true;
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

// A hand-over waits for the process that took the run over and ends with its code: the child runs
// the product (0), or finds no definition in the caller's packages (1).
struct HandOverCase {
    const char* name;
    bool definition;
    long long code;
};
const HandOverCase kHandOverCases[] = {{"child succeeds", true, 0}, {"child fails", false, 1}};

// Runs the setup, which hands its run over to one other process: that process's row.
std::optional<jxplat::ProcessTableEntry> RunHandedOver(const CShippedSetup& setup, const HandOverCase& c) {
    const auto run = jxtest::RunProgram(setup.Program(), {"/MYPROP=x", kQuiet});
    EXPECT_TRUE(run.started);
    const auto table = jxplat::ReadProcessTable();
    EXPECT_EQ(table.size(), 1u);
    if (table.size() != 1)
        return std::nullopt;
    // The first process waited for the second and ended with its code.
    EXPECT_TRUE(ProcessHasEnded(table[0].processId));
    EXPECT_EQ(run.exitCode, c.code);
    return table[0];
}

TEST(InitializeRun, UntrustedProgramStartsThePackagedEngineWhichMountsTheCallersPackages) {
    for (const HandOverCase& c : kHandOverCases) {
        SCOPED_TRACE(c.name);
        jxtest::TempMachineRoot root(jxe2e::TrustingMachine());
        CShippedSetup setup(root);
        ShipUntrusted(setup, c.definition ? jxtest::ReadHostFile(Fixture("setup.jxsetup")) : "");

        const auto child = RunHandedOver(setup, c);
        ASSERT_TRUE(child);

        const std::string extracted = root.Path() + "/drive_c/ProgramData/Tolvane/Setups/tmp/setup.exe";
        EXPECT_EQ(jxe2e::HostFileSha256(extracted), jxe2e::HostFileSha256(jxe2e::Program()));
        EXPECT_EQ(child->path, u"C:\\ProgramData\\Tolvane\\Setups\\tmp\\setup.exe");
        const std::string commandLine = Text(child->commandLine);
        EXPECT_NE(commandLine.find("/MYPROP=x"), std::string::npos) << commandLine;
        // The caller's path has a blank: it is quoted.
        EXPECT_NE(commandLine.find("/_mountExe=\"" + Text(setup.WindowsProgram()) + "\""), std::string::npos)
            << commandLine;

        // The engine started from the extracted copy found the product in the caller's packages.
        const auto logs = RunLogs(root);
        ASSERT_EQ(logs.size(), 2u);
        const auto childLog = std::find_if(logs.begin(), logs.end(), [](const std::string& log) {
            return log.find("Mounting external packages:") != std::string::npos;
        });
        ASSERT_NE(childLog, logs.end());
        EXPECT_NE(childLog->find("Mounting external packages: " + Text(setup.WindowsProgram())),
                  std::string::npos);
        EXPECT_EQ(DefinitionLoaded(*childLog), c.definition) << *childLog;
        if (c.definition)
            EXPECT_TRUE(PropertyLogged(*childLog, "MYPROP", "x"));
        EXPECT_EQ(childLog->find("Extracted setup is invalid."), std::string::npos);
        EXPECT_EQ(childLog->find("No trusted packages found"), std::string::npos);
    }
}

TEST(InitializeRun, UntrustedProgramAskedToMountAnotherProgramAborts) {
    jxtest::TempMachineRoot root(jxe2e::TrustingMachine());
    CShippedSetup setup(root);
    ShipUntrusted(setup);

    const auto run = jxtest::RunProgram(setup.Program(), {"/_mountExe=C:\\caller\\setup.exe", kQuiet});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(jxplat::ReadProcessTable().empty());
    EXPECT_FALSE(fs::exists(root.Path() + "/drive_c/ProgramData/Tolvane/Setups/tmp/setup.exe"));
    const std::string log = AllLogs(root);
    EXPECT_TRUE(EntryLogged(log, "JxSetup::Data::JxSetupEngineControl::_run_TrustedPackage",
                            "No trusted packages found. Aborting process."))
        << log;
    EXPECT_FALSE(DefinitionLoaded(log));
}

TEST(InitializeRun, TrustedProgramGoesOnItself) {
    jxtest::TempMachineRoot root;
    CShippedSetup setup(root);
    ShipUntrusted(setup);
    root.Describe(jxe2e::TrustingMachine(setup.Program()));

    const auto run = jxtest::RunProgram(setup.Program(), {kQuiet});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(jxplat::ReadProcessTable().empty());
    EXPECT_FALSE(fs::exists(root.Path() + "/drive_c/ProgramData/Tolvane/Setups/tmp/setup.exe"));
    const auto logs = RunLogs(root);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_TRUE(DefinitionLoaded(logs[0])) << logs[0];
}

// ---- elevation ----

jxplat::MachineDescription NonElevatedAdministrator(const std::string& program) {
    jxplat::MachineDescription machine = jxe2e::TrustingMachine(program);
    machine.user.administrator = true;
    machine.user.elevated = false;
    machine.user.uac = true;
    return machine;
}

TEST(InitializeRun, NonElevatedAdministratorRelaunchesElevated) {
    for (const HandOverCase& c : kHandOverCases) {
        SCOPED_TRACE(c.name);
        jxtest::TempMachineRoot root;
        CShippedSetup setup(root);
        setup.Append(
            setup.ProductPackages(c.definition ? jxtest::ReadHostFile(Fixture("setup.jxsetup")) : ""));
        root.Describe(NonElevatedAdministrator(setup.Program()));

        const auto child = RunHandedOver(setup, c);
        ASSERT_TRUE(child);

        const auto boxes = jxplat::ReadRecordedMessageBoxes();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes[0].caption, u"User Account Control");
        EXPECT_EQ(boxes[0].answer, IDYES);
        EXPECT_TRUE(child->elevated);
        EXPECT_EQ(child->path, setup.WindowsProgram());
        const std::string commandLine = Text(child->commandLine);
        EXPECT_EQ(commandLine.rfind("\"" + Text(setup.WindowsProgram()) + "\"", 0), 0u) << commandLine;
        EXPECT_NE(commandLine.find("/MYPROP=x"), std::string::npos) << commandLine;

        // Only the elevated run writes a log.
        const auto logs = RunLogs(root);
        ASSERT_EQ(logs.size(), 1u);
        EXPECT_EQ(DefinitionLoaded(logs[0]), c.definition) << logs[0];
        if (c.definition)
            EXPECT_TRUE(PropertyLogged(logs[0], "_IsAdmin", "true"));
    }
}

TEST(InitializeRun, RefusedElevationPromptEndsWithOneAndALogLine) {
    jxtest::TempMachineRoot root;
    CShippedSetup setup(root);
    setup.Append(setup.ProductPackages(jxtest::ReadHostFile(Fixture("setup.jxsetup"))));
    jxplat::MachineDescription machine = NonElevatedAdministrator(setup.Program());
    machine.messageBoxAnswers.push_back({"", "User Account Control", IDNO});
    root.Describe(machine);

    const auto run = jxtest::RunProgram(setup.Program(), {kQuiet});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(jxplat::ReadProcessTable().empty());
    const auto boxes = jxplat::ReadRecordedMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].answer, IDNO);
    const std::string log = AllLogs(root);
    EXPECT_TRUE(EntryLogged(log, "JxSetup::Data::JxSetupEngineControl::_run_ElevatedProcess",
                            "Elevation was refused or failed (1223)."))
        << log;
    EXPECT_FALSE(DefinitionLoaded(log));
}

// A standard user on a machine whose policy refuses standard users' requests, or without UAC at
// all, cannot elevate: nothing is asked or started, the run ends with 1 and says why.
TEST(InitializeRun, StandardUserWhoCannotElevateEndsWithOne) {
    for (const bool uac : {true, false}) {
        jxtest::TempMachineRoot root;
        CShippedSetup setup(root);
        setup.Append(setup.ProductPackages(jxtest::ReadHostFile(Fixture("setup.jxsetup"))));
        jxplat::MachineDescription machine = jxe2e::TrustingMachine(setup.Program());
        machine.user.administrator = false;
        machine.user.elevated = false;
        machine.user.uac = uac;
        if (uac) { // written while the test process is still the elevated administrator
            HKEY key = nullptr;
            DWORD refuse = 0;
            ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", 0,
                                      nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            ASSERT_EQ(RegSetValueExW(key, u"ConsentPromptBehaviorUser", 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&refuse), sizeof(refuse)),
                      ERROR_SUCCESS);
            RegCloseKey(key);
        }
        root.Describe(machine);

        const auto run = jxtest::RunProgram(setup.Program(), {kQuiet});
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exitCode, 1) << "uac " << uac;
        EXPECT_TRUE(jxplat::ReadProcessTable().empty());
        EXPECT_TRUE(jxplat::ReadRecordedMessageBoxes().empty());
        const std::string log = AllLogs(root);
        EXPECT_TRUE(EntryLogged(log, "JxSetup::Data::JxSetupEngineControl::_run_ElevatedProcess",
                                "Setup must run elevated and cannot elevate."))
            << log;
        EXPECT_FALSE(DefinitionLoaded(log));
    }
}

// The trusted engine mounts the packages of the program that started it ("/_mountExe") only when
// their engine is the running one, and never a path that still holds a bracket (a property
// reference that was not resolved).
TEST(InitializeRun, TrustedEngineMountsOnlyACallerThatCarriesIt) {
    const struct {
        const char* name;
        const char* folder; // of the caller, below drive C:
        bool sameEngine;
        bool mounted;
        bool invalid;
        int exitCode;
    } rows[] = {
        {"same engine", "Kit", true, true, false, 0},
        {"other engine", "Kit", false, true, true, 1},
        {"bracket", "Kit[", true, false, false, 1},
    };
    for (const auto& row : rows) {
        jxtest::TempMachineRoot root;
        const std::string engine = root.Path() + "/Engine/setup.exe";
        fs::create_directories(fs::path(engine).parent_path());
        fs::copy_file(jxe2e::Program(), engine);
        root.Describe(jxe2e::TrustingMachine(engine));
        CShippedSetup setup(root);
        auto packages = setup.ProductPackages(jxtest::ReadHostFile(Fixture("setup.jxsetup")));
        packages.push_back(setup.Package(
            "$SETUP",
            {{"JxSetup.exe", row.sameEngine ? jxtest::ReadHostFile(engine) : "MZ another engine"}}));
        setup.Append(packages);
        const std::u16string caller = u"C:\\" + jxtext::W(row.folder) + u"\\setup.exe";
        const std::string callerHost = jxplat::WindowsToHostPath(caller);
        fs::create_directories(fs::path(callerHost).parent_path());
        fs::copy_file(setup.Program(), callerHost);

        const auto run = jxtest::RunProgram(engine, {"/_mountExe=" + Text(caller), kQuiet});
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.name;
        const std::string log = AllLogs(root);
        EXPECT_EQ(EntryLogged(log, "JxSetup::Data::JxSetupEngineControl::_mount_ExternalSetupEXE",
                              "Mounting external packages: " + Text(caller)),
                  row.mounted)
            << row.name;
        EXPECT_EQ(EntryLogged(log, "JxSetup::Data::JxSetupEngineControl::_mount_ExternalSetupEXE",
                              "Extracted setup is invalid."),
                  row.invalid)
            << row.name;
        EXPECT_EQ(DefinitionLoaded(log), row.exitCode == 0) << row.name << "\n" << log;
    }
}

} // namespace

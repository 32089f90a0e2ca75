// An update of the sample whose service is running: the run shuts the service down before it
// replaces the service's program, starts it again afterwards with the start type it had before
// (the user's choice, not the definition's), and leaves no repair entry behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <windows.h>

#include "e2e_support.h"
#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;

const std::string kCore = "{5A3E9C21-0001-4000-8000-000000000001}";
const WCHAR* const kService = u"QuillmereSync";

// The sample with its service shut down through the Service Control Manager and started at the end;
// the product asks for its services to be shut down before the sequence.
jxe2e::ProductVariant ServiceVariant(const std::string& version) {
    jxe2e::ProductVariant variant;
    EXPECT_EQ(jxe2e::ReplaceAll(
                  variant.definition, "file=\"quillsync.exe\" argument=\"/regserver [SERVICENAME] 3\"",
                  "file=\"quillsync.exe\" argument=\"/regserver [SERVICENAME] 3\" start=\"true\" "
                  "shutdownoption=\"SCM\""),
              1);
    jxe2e::AddRows(variant, "</SetupProperties>",
                   "  <SetupProperty name=\"UnprotectProduct\" value=\"true\"/>");
    if (version != "1.0.0.1") {
        EXPECT_EQ(jxe2e::ReplaceAll(variant.definition, "1.0.0.1", version), 2);
        EXPECT_EQ(jxe2e::ReplaceAll(variant.definition, "PKG-SAMPLE-1", "PKG-SAMPLE-" + version), 1);
        // Another build of the service program: the same program with a different tail.
        std::string program = jxtest::ReadHostFile(
            (fs::path(jxtest::BuildDir()) / "samples/work/payload" / kCore / "quillsync.exe").string());
        program += "build " + version;
        variant.payload[kCore + "/quillsync.exe"] = program;
    }
    return variant;
}

DWORD ServicePid() {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceW(scm, kService, SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (service)
        QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                             sizeof(status), &needed);
    CloseServiceHandle(service);
    CloseServiceHandle(scm);
    return status.dwCurrentState == SERVICE_RUNNING ? status.dwProcessId : 0;
}

class ServiceUpdate : public ::testing::Test {
protected:
    ServiceUpdate() : m_Root(jxe2e::TrustingMachine()) {}
    std::string Pack(const jxe2e::ProductVariant& variant, const std::string& name) {
        const std::string setup =
            jxe2e::PackTrusted(variant, fs::path(m_Root.Path()) / "packs" / name, m_Machine, m_Root);
        EXPECT_FALSE(setup.empty()) << "could not pack " << name;
        return setup;
    }
    int Run(const std::string& setup) {
        const auto result = jxtest::RunProgram(setup, {"/_QuietInstallation=true"});
        EXPECT_TRUE(result.started);
        return result.exitCode;
    }
    jxplat::MachineDescription m_Machine = jxe2e::TrustingMachine();
    jxtest::TempMachineRoot m_Root;
};

} // namespace

TEST_F(ServiceUpdate, TheServiceIsStoppedForTheUpdateAndComesBackWithItsStartType) {
    ASSERT_EQ(Run(Pack(ServiceVariant("1.0.0.1"), "first")), 0) << jxe2e::AllLogs(m_Root);
    const DWORD before = ServicePid();
    ASSERT_NE(before, 0u) << "the installation starts the service";
    EXPECT_EQ(ServiceController::QueryStartType(kService, nullptr), SERVICE_DEMAND_START);
    // The user lets the service start with the machine.
    {
        ServiceController service;
        ASSERT_TRUE(service.Open(kService, nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS));
        ASSERT_TRUE(service.ChangeConfig(SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    }

    ASSERT_EQ(Run(Pack(ServiceVariant("1.0.0.2"), "newer")), 0) << jxe2e::AllLogs(m_Root);
    const std::string program =
        jxtest::ReadHostFile(jxplat::WindowsToHostPath(jxe2e::kInstallDir + u"\\quillsync.exe"));
    EXPECT_NE(program.rfind("build 1.0.0.2"), std::string::npos) << "the service program was replaced";
    const DWORD after = ServicePid();
    EXPECT_NE(after, 0u) << "the service runs again";
    EXPECT_NE(after, before) << "it was stopped and started";
    EXPECT_EQ(ServiceController::QueryStartType(kService, nullptr), SERVICE_AUTO_START)
        << "the start type it had before the update";
    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, u"JxSetup\\ServiceStates", 0));
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE,
                                   u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                   u"{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}_FixSvc", 0));
    // The log of the update: stopped before the files were copied, started after.
    const std::vector<std::string> logs = jxe2e::RunLogs(m_Root);
    ASSERT_FALSE(logs.empty());
    const std::string& update = logs.back();
    const size_t stopped = update.find("Stopped service.");
    const size_t copied = update.find("action_CopyFiles");
    const size_t started = update.find("Service started: QuillmereSync");
    ASSERT_NE(stopped, std::string::npos) << update;
    ASSERT_NE(copied, std::string::npos);
    ASSERT_NE(started, std::string::npos);
    EXPECT_LT(stopped, copied);
    EXPECT_LT(copied, started);
}

// An update whose shutdown fails (the engine's "CancelUpdate" setting forces the failure without
// touching a service) ends as a failed run: the files stay, the service keeps running as it was, and
// no repair entry is left behind.
TEST_F(ServiceUpdate, AFailedShutdownFailsTheUpdateAndLeavesTheServiceRunning) {
    ASSERT_EQ(Run(Pack(ServiceVariant("1.0.0.1"), "first")), 0) << jxe2e::AllLogs(m_Root);
    const DWORD before = ServicePid();
    ASSERT_NE(before, 0u);
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"CancelUpdate", 1, 0);

    EXPECT_NE(Run(Pack(ServiceVariant("1.0.0.2"), "newer")), 0) << jxe2e::AllLogs(m_Root);
    const std::string program =
        jxtest::ReadHostFile(jxplat::WindowsToHostPath(jxe2e::kInstallDir + u"\\quillsync.exe"));
    EXPECT_EQ(program.rfind("build 1.0.0.2"), std::string::npos) << "the service program was not replaced";
    EXPECT_EQ(ServicePid(), before) << "the service was not stopped";
    EXPECT_EQ(ServiceController::QueryStartType(kService, nullptr), SERVICE_DEMAND_START);
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE,
                                   u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                   u"{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}_FixSvc", 0));
    const std::vector<std::string> logs = jxe2e::RunLogs(m_Root);
    ASSERT_FALSE(logs.empty());
    EXPECT_NE(logs.back().find("CancelUpdate setted. Testing fallback scenario."), std::string::npos);
    EXPECT_EQ(logs.back().find("action_CopyFiles"), std::string::npos) << "the sequence did not start";
}

// The setup's own service comes with the sample: installed with the product, kept by a run with
// the same program, replaced by a build that carries another, removed with the product.
TEST_F(ServiceUpdate, TheSetupServiceFollowsTheProduct) {
    const auto withSetupService = [](const std::string& version) {
        jxe2e::ProductVariant variant = ServiceVariant(version);
        jxe2e::AddRows(variant, "<SetupFeatures>",
                       "<SetupSVC setupsvcdir=\"[ProgramFilesFolder]\\Tolvane\\SetupSVC\" "
                       "setupsvcfile=\"SetupSVC.exe\" setupsvcname=\"JxSetupSvc\"/>");
        variant.setupTexts["SetupSVC.exe"] =
            "#!/bin/sh\n# build " + version + (version == "1.0.0.1" ? "" : " with fixes") + "\n'" +
            jxtest::BuildDir() +
            "/tools/jxmachine' --root \"$JX_MACHINE_ROOT\" set "
            "'HKLM\\SYSTEM\\CurrentControlSet\\Services\\JxSetupSvc' ImagePath "
            "'sz:C:\\Program Files (x86)\\Tolvane\\SetupSVC\\SetupSVC.exe' >/dev/null\n"
            "echo run >> \"$JX_MACHINE_ROOT/setupsvc.runs\"\n";
        return variant;
    };
    const std::string program =
        jxplat::WindowsToHostPath(u"C:\\Program Files (x86)\\Tolvane\\SetupSVC\\SetupSVC.exe");
    const auto runs = [&] {
        const std::string text = jxtest::ReadHostFile(m_Root.Path() + "/setupsvc.runs");
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    };
    const std::string first = Pack(withSetupService("1.0.0.1"), "first");
    ASSERT_EQ(Run(first), 0) << jxe2e::AllLogs(m_Root);
    EXPECT_TRUE(ServiceController::IsRegistered(u"JxSetupSvc", nullptr));
    EXPECT_EQ(runs(), 1);

    // The same build again: the installed service is up to date and stays as it is.
    ASSERT_EQ(Run(first), 0) << jxe2e::AllLogs(m_Root);
    EXPECT_EQ(runs(), 1);

    ASSERT_EQ(Run(Pack(withSetupService("1.0.0.2"), "newer")), 0) << jxe2e::AllLogs(m_Root);
    EXPECT_EQ(runs(), 2);
    EXPECT_NE(jxtest::ReadHostFile(program).find("build 1.0.0.2"), std::string::npos);

    const auto uninstall = jxtest::RunProgram(Pack(withSetupService("1.0.0.2"), "remove"),
                                              {"/_QuietInstallation=true", "/InstallMode=Uninstall"});
    EXPECT_EQ(uninstall.exitCode, 0) << jxe2e::AllLogs(m_Root);
    EXPECT_FALSE(ServiceController::IsRegistered(u"JxSetupSvc", nullptr));
    EXPECT_FALSE(fs::exists(program));
    EXPECT_EQ(runs(), 2);
}

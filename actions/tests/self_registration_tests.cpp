// Self-registration of COM servers through the system's registration program (the tests' own
// regsvr32.exe, which writes the class keys of a server file and notes every run).
#include <gtest/gtest.h>

#include "jxbase/reg.h"
#include "services_test_support.h"

using namespace jxsvctest;

namespace {

const std::u16string kSystem32 = u"C:\\Windows\\system32";
const std::u16string kSysWow64 = u"C:\\Windows\\SysWOW64";
const std::u16string kClassKey = u"SOFTWARE\\Classes\\CLSID\\{6B1D0C2E-0000-4000-8000-00000000AA01}";

std::string Server(const std::string& extra = "") {
    return "CLSID={6B1D0C2E-0000-4000-8000-00000000AA01}\nName=Jx Preview\n" + extra;
}

class SelfRegistration : public ::testing::Test {
protected:
    SelfRegistration() {
        const std::string program = jxtest::BuildDir() + "/tests/programs/regsvr32.exe";
        PlaceFile(program, kSysWow64 + u"\\regsvr32.exe");
        PlaceFile(program, u"C:\\Windows\\System32\\regsvr32.exe"); // placed as is, not redirected
        m_Data.SetProperty(u"SystemFolder", kSysWow64, 1);
        m_Data.SetProperty(u"System64Folder", kSystem32, 1);
        m_Data.SetProperty(u"INSTALLDIR", kInstallDir, 1);
        JxFeature feature;
        feature.name = u"Core";
        JxComponent component;
        component.id = u"{C1}";
        component.destinationdir = u"[INSTALLDIR]com";
        component.installmode = u"custom";
        feature.components.push_back(component);
        m_Data.m_Features.push_back(feature);
        AddFile(u"preview.dll");
        WriteText(kServer, Server());
        MakeInstallRun(m_Data);
    }
    void AddFile(const std::u16string& name) {
        JxFile file;
        file.name = name;
        file.featurename = u"Core";
        file.componentid = u"{C1}";
        m_Data.m_Files.push_back(file);
    }
    static JxSelfRegFile Row(const std::u16string& plattform = u"x86",
                             const std::u16string& unregonupdate = u"") {
        JxSelfRegFile row;
        row.featurename = u"Core";
        row.componentid = u"{C1}";
        row.plattform = plattform;
        row.file = u"preview.dll";
        row.unregonupdate = unregonupdate;
        return row;
    }
    // The runs of the registration program so far, one "<bits> <verb> <server>" line each.
    static std::string Runs() { return jxtest::ReadHostFile(jxplat::MachinePath("selfreg.runs")); }
    static std::u16string InprocServer(REGSAM view) {
        return CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, (kClassKey + u"\\InprocServer32").c_str(), u"",
                                           u"", view);
    }
    static bool Registered(REGSAM view) {
        return CReg::IsValidPath(HKEY_LOCAL_MACHINE, kClassKey.c_str(), view);
    }
    static void RemoveClass(REGSAM view) {
        CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, kClassKey.c_str(), u"InprocServer32", view);
        CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\CLSID",
                                    u"{6B1D0C2E-0000-4000-8000-00000000AA01}", view);
    }
    void Register() { m_Data.SelfRegFile(JxSequenceAction(u"SelfRegFile", u"", 0x1bb)); }

    const std::u16string kServer = kInstallDir + u"com\\preview.dll";
    const std::string kServerText = jxtext::N(kServer);
    jxtest::TempMachineRoot m_Root;
    CLogCapture m_Log;
    JxData m_Data;
};

TEST_F(SelfRegistration, AServerIsUnregisteredThenRegisteredByTheProgramOfItsPlatform) {
    struct Case {
        const char16_t* plattform;
        const char* bits;
        REGSAM view;
        REGSAM otherView;
    };
    // Only "x64" in this case names a 64-bit server.
    for (const Case& c : {Case{u"x86", "32", KEY_WOW64_32KEY, KEY_WOW64_64KEY},
                          Case{u"x64", "64", KEY_WOW64_64KEY, KEY_WOW64_32KEY},
                          Case{u"X64", "32", KEY_WOW64_32KEY, KEY_WOW64_64KEY}}) {
        SCOPED_TRACE(jxtext::N(c.plattform));
        std::remove(jxplat::MachinePath("selfreg.runs").c_str());
        m_Data.m_SelfRegFiles = {Row(c.plattform)};
        Register();
        EXPECT_EQ(Runs(), std::string(c.bits) + " unregister " + kServerText + "\n" + c.bits + " register " +
                              kServerText + "\n")
            << m_Log.Dump();
        EXPECT_EQ(InprocServer(c.view), kServer);
        EXPECT_FALSE(Registered(c.otherView));
        EXPECT_TRUE(m_Log.Has("LP_INFO", "Uregister " + kServerText + "."));
        EXPECT_TRUE(m_Log.Has("LP_INFO", "Register file " + kServerText + "."));
        RemoveClass(c.view);
    }
    EXPECT_FALSE(m_Data.m_SequenceData.m_bFailure);
}

TEST_F(SelfRegistration, EveryFileRowOfTheNameIsRegisteredAndOtherComponentsAreNot) {
    AddFile(u"preview.dll"); // a second row of the name (another target condition, say)
    JxFile other;
    other.name = u"preview.dll";
    other.featurename = u"Core";
    other.componentid = u"{C2}";
    m_Data.m_Files.push_back(other);
    m_Data.m_SelfRegFiles = {Row()};
    Register();
    const std::string runs = Runs();
    size_t registrations = 0;
    for (size_t at = runs.find("32 register "); at != std::string::npos;
         at = runs.find("32 register ", at + 1))
        ++registrations;
    EXPECT_EQ(registrations, 2u) << runs;
}

TEST_F(SelfRegistration, ARowUnregisteredOnUpdateIsOnlyUnregisteredAndAgainInAnUpdate) {
    m_Data.m_SelfRegFiles = {Row(u"x86", u"TRUE")};
    Register();
    EXPECT_EQ(Runs(), "32 unregister " + kServerText + "\n");

    // Outside an update nothing is started.
    std::remove(jxplat::MachinePath("selfreg.runs").c_str());
    m_Data.SelfUnRegOnUpdate();
    EXPECT_EQ(Runs(), "");
    for (int mode : {1, 2}) {
        m_Data.m_UpdateMode = mode;
        m_Data.SelfUnRegOnUpdate();
    }
    EXPECT_EQ(Runs(), "32 unregister " + kServerText + "\n32 unregister " + kServerText + "\n");
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Uregister " + kServerText + "."));
}

TEST_F(SelfRegistration, UninstallationRemovesTheClassKey) {
    m_Data.m_SelfRegFiles = {Row()};
    Register();
    ASSERT_TRUE(Registered(KEY_WOW64_32KEY)) << m_Log.Dump();
    MakeUninstallRun(m_Data);
    m_Data.m_SelfUnregFiles = {Row()};
    m_Data.SelfUnRegFiles(JxSequenceAction(u"SelfUnRegFile", u"", 0x1de));
    EXPECT_FALSE(Registered(KEY_WOW64_32KEY));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "SelfReg of file " + kServerText + "."));
}

// A server that refuses, a server file that is missing and a missing registration program show in
// the log of the start; the run goes on.
TEST_F(SelfRegistration, AFailingRegistrationIsLoggedAndTheRunGoesOn) {
    WriteText(kServer, Server("ExitCode=5\n"));
    m_Data.m_SelfRegFiles = {Row()};
    Register();
    EXPECT_FALSE(Registered(KEY_WOW64_32KEY));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Exit code is 5.")) << m_Log.Dump();

    std::filesystem::remove(jxplat::WindowsToHostPath(kSysWow64 + u"\\regsvr32.exe"));
    Register();
    EXPECT_TRUE(m_Log.Has("ERROR", "Can't create Process using CreateProcess")) << m_Log.Dump();
    EXPECT_FALSE(m_Data.m_SequenceData.m_bFailure);
    EXPECT_FALSE(m_Data.m_SequenceData.m_bWarning);
}

TEST_F(SelfRegistration, AComponentExtractedAsAPackageIsPassedOver) {
    m_Data.m_Features[0].components[0].extractaswpk = u"True";
    m_Data.m_SelfRegFiles = {Row()};
    m_Data.m_SelfUnregFiles = {Row()};
    m_Data.m_UpdateMode = 1;
    m_Data.m_SelfRegFiles[0].unregonupdate = u"true";
    Register();
    m_Data.SelfUnRegOnUpdate();
    MakeUninstallRun(m_Data);
    m_Data.SelfUnRegFiles(JxSequenceAction(u"SelfUnRegFile", u"", 0x1de));
    EXPECT_EQ(Runs(), "");
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Skip action of component: {C1}"));
}

} // namespace

// Message boxes of the install sequence in a paged run: each goes through the GUI module, which
// answers it; the journal shows the box and its answer.
#include <gtest/gtest.h>

#include <filesystem>

#include "jxbase/reg.h"
#include "paged_support.h"

namespace {

using jxe2e::Exists;
using jxe2e::kAcceptLicence;
using jxe2e::kInstallDir;
using jxe2e::kUninstallKey;

const std::string kCore = "{5A3E9C21-0001-4000-8000-000000000001}";

class PagedMessages : public jxe2e::PagedRuns {
protected:
    static void AddText(jxe2e::ProductVariant& variant, const std::string& name, const std::string& value) {
        jxe2e::AddRows(variant, "</SetupProperties>",
                       "  <SetupProperty name=\"" + name + "\" value=\"" + value + "\"/>");
    }
    // The journal's lines from the first message box on, without the progress and cancel queries.
    std::vector<std::string> BoxesAndEnd() const {
        return Steps({"PrepareMessageBox", "MessageBox", "Finish"});
    }
};

TEST_F(PagedMessages, AFailedCopyShowsItsErrorThroughTheModuleAndEndsWithOne) {
    jxe2e::ProductVariant variant;
    AddText(variant, "ERR_CREATE_FOLDER", "A folder of [PRODUCTNAME] could not be created.");
    const std::string setup = Pack(variant, "sample");
    // A file stands where the tools folder goes.
    const std::string blocker = jxplat::WindowsToHostPath(kInstallDir + u"\\tools");
    jxe2e::WriteText(blocker, "not a folder\n");
    const auto run = Run(setup, kAcceptLicence);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(BoxesAndEnd(),
              (std::vector<std::string>{
                  "PrepareMessageBox 1",
                  "MessageBox 16 Quillmere Notes | A folder of Quillmere Notes could not be created. -> 1",
                  "Finish 2"}));
    EXPECT_EQ(jxtest::ReadHostFile(blocker), "not a folder\n");
    EXPECT_FALSE(Exists(kInstallDir + u"\\notes.txt"));
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"UninstallString", 0));
}

// A service that cannot register is a warning: the box goes through the module and the
// installation ends normally.
TEST_F(PagedMessages, AServiceThatCannotRegisterIsAWarningThroughTheModule) {
    jxe2e::ProductVariant variant;
    AddText(variant, "MSG_ERR_INSTALLSERVICE", "The service [_FailedServiceName] could not be registered.");
    // A service program that cannot be started.
    variant.payload[kCore + "/quillsync.exe"] = "not a program\n";
    const auto run = Run(Pack(variant, "service"), kAcceptLicence);
    EXPECT_EQ(run.exitCode, 0) << jxe2e::ReadText(Journal());
    EXPECT_EQ(BoxesAndEnd(),
              (std::vector<std::string>{
                  "MessageBox 48 Quillmere Notes | The service QuillmereSync could not be registered. -> 1",
                  "Finish 0"}));
    EXPECT_TRUE(Exists(kInstallDir + u"\\notes.txt"));
}

// The end message of the installation: its "\n" are line breaks (the journal writes them as blanks).
TEST_F(PagedMessages, TheEndMessageIsShownThroughTheModule) {
    jxe2e::ProductVariant variant;
    AddText(variant, "MSG_USER_ENDOFINSTALLATION", "[PRODUCTNAME] is installed.\\nHave fun.");
    const auto run = Run(Pack(variant, "end"), kAcceptLicence);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(
        BoxesAndEnd(),
        (std::vector<std::string>{
            "MessageBox 64 Quillmere Notes | Quillmere Notes is installed. Have fun. -> 1", "Finish 0"}));
}

} // namespace

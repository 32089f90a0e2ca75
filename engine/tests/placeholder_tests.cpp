// Operations that a later part of the engine builds: reached with work of their kind, each fails the
// run (an ERROR line naming it and the run's failure record, so the run ends with 1); with nothing
// to do, each passes without an ERROR line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "jxengine/JxSetupEngineControl.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

JxSequenceEntry PropertyAction(bool startup) {
    JxSequenceEntry row;
    row.modulename = u"addon.dll";
    row.functionname = u"SetValues";
    row.startupaction = startup ? u"true" : u"";
    return row;
}

struct Case {
    const char* name;
    std::function<void(JxData&)> prepare;
    std::function<void(JxData&)> reach;
    const char* failedOperation; // "" when there is nothing to do
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class Placeholder : public ::testing::TestWithParam<Case> {};

TEST_P(Placeholder, FailsTheRunOnlyWithWorkToDo) {
    const Case& c = GetParam();
    jxtest::TempMachineRoot root;
    jxtest::CLogCapture log(true);
    JxData data;
    data.SetProperty(u"InstallMode", u"Install", 1);
    c.prepare(data);
    c.reach(data);
    const JxSequenceData& state = data.m_SequenceData;
    if (*c.failedOperation == 0) {
        EXPECT_FALSE(state.m_bFailure) << jxtext::N(state.m_Error.m_Description);
        EXPECT_FALSE(log.Has("ERROR", "is not built yet")) << log.Dump();
        return;
    }
    const std::string text = std::string(c.failedOperation) + " is not built yet";
    EXPECT_TRUE(log.Has("ERROR", text)) << log.Dump();
    ASSERT_TRUE(state.m_bFailure);
    EXPECT_EQ(jxtext::N(state.m_Error.m_Description), text);
    // The message stops the install sequence before its first action and reaches a paged run's end.
    EXPECT_EQ(jxtext::N(state.m_Error.m_Message), text);
}

const auto kNothing = [](JxData&) {};

INSTANTIATE_TEST_SUITE_P(Operations, Placeholder,
                         ::testing::Values(
                             // Startup and shutdown rows run with the services, not here.
                             Case{"OnlyAStartupPropertyAction",
                                  [](JxData& d) { d.m_PropertyActions.push_back(PropertyAction(true)); },
                                  [](JxData& d) { d.SetPropertiesSequence(); }, ""},
                             Case{"NoRestorePoint", kNothing,
                                  [](JxData& d) {
                                      d.action_SystemRestore(JxSequenceAction(u"CreateSysRestore", u"", 0));
                                      d.action_FinishSysRestore(
                                          JxSequenceAction(u"FinishSysRestore", u"", 0));
                                  },
                                  ""},
                             Case{"NoManagementServerWork", kNothing,
                                  [](JxData& d) {
                                      d.AuthorizeClient();
                                      d.DeleteMMSDB();
                                  },
                                  ""}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

} // namespace

namespace {

const std::filesystem::path kSourceDir =
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The README's list of what the engine does not do yet names every file that still holds a
// placeholder, and nothing that is built: a placeholder added or removed changes this table.
TEST(PlaceholderList, TheReadmeNamesThePlaceholdersThatRemain) {
    const std::map<std::string, std::vector<std::string>> expected = {};
    std::map<std::string, std::vector<std::string>> found;
    for (const char* folder : {"actions", "base", "engine", "mms", "platform", "propertybag", "setupdata",
                               "tools", "vfs", "web"}) {
        if (!std::filesystem::exists(kSourceDir / folder))
            continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(kSourceDir / folder)) {
            const std::string relative = std::filesystem::relative(entry.path(), kSourceDir).string();
            const std::string extension = entry.path().extension().string();
            if (!entry.is_regular_file() || relative.find("/tests/") != std::string::npos ||
                (extension != ".cpp" && extension != ".h"))
                continue;
            if (ReadText(entry.path()).find("JX_NOT_BUILT") != std::string::npos)
                found[relative] =
                    expected.count(relative) ? expected.at(relative) : std::vector<std::string>{};
        }
    }
    std::vector<std::string> foundFiles, expectedFiles;
    for (const auto& [file, phrases] : found)
        foundFiles.push_back(file);
    for (const auto& [file, phrases] : expected)
        expectedFiles.push_back(file);
    EXPECT_EQ(foundFiles, expectedFiles)
        << "a placeholder was added or removed: update the README and this table";

    const std::string readme = ReadText(kSourceDir / "README.md");
    const size_t start = readme.find("## What the engine does not do yet");
    ASSERT_NE(start, std::string::npos);
    const std::string section = readme.substr(start, readme.find("\n## ", start + 1) - start);
    for (const auto& [file, phrases] : expected)
        for (const std::string& phrase : phrases)
            EXPECT_NE(section.find("- " + phrase), std::string::npos) << file << ": " << phrase;
}

} // namespace

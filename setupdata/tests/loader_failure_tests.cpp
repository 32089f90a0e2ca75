// Definitions that cannot be used: missing, empty or malformed. Loading fails with the reason in
// the log and, for a developer who asked for it, a dump of the text; it never crashes.
#include <gtest/gtest.h>

#include <unistd.h>

#include "jxbase/trace.h"
#include "loader_support.h"

using namespace JxSetup::Data;
using jxloadertest::LoaderTest;

namespace {

class LoaderFailure : public LoaderTest {};

TEST_F(LoaderFailure, MissingDefinitionFailsWithoutPackagesToLookIn) {
    EXPECT_FALSE(m_Data.LoadConfiguration());
    EXPECT_TRUE(m_Log.Has("WARNING", "File \\$CONFIG\\setup.jxsetup not found.")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("ERROR", "XML content is empty."));
    EXPECT_TRUE(m_Log.Has("END", "false"));
    EXPECT_FALSE(m_Log.Has("ERROR", "is not built yet")) << "no packages are mounted: nothing to read there";
}

TEST_F(LoaderFailure, EmptyDefinitionFails) {
    jxloadertest::WriteDefinitionBytes("");
    EXPECT_FALSE(m_Data.LoadConfiguration());
    EXPECT_TRUE(m_Log.Has("WARNING", "Content of file is empty")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("ERROR", "XML content is empty."));
}

// Runs the test in a fresh current folder, where the error dump is written.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder) {
        m_Previous = std::filesystem::current_path();
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    ~CurrentFolder() { std::filesystem::current_path(m_Previous); }

private:
    std::filesystem::path m_Previous;
};

// Sets the engine's trace level for one test.
class DebugLevel {
public:
    explicit DebugLevel(int level) : m_Previous(g_JxSetupEngineLibDebugLevel) {
        g_JxSetupEngineLibDebugLevel = level;
    }
    ~DebugLevel() { g_JxSetupEngineLibDebugLevel = m_Previous; }

private:
    int m_Previous;
};

struct Malformed {
    const char* name;
    std::string text;
};

class LoaderMalformed : public LoaderTest, public ::testing::WithParamInterface<Malformed> {};

TEST_P(LoaderMalformed, FailsWithTheParseErrorAndDumpsTheTextForDevelopers) {
    const std::string text = GetParam().text;
    const std::u16string wide = jxtext::W(text);
    for (int level : {5, 6}) {
        SCOPED_TRACE("debug level " + std::to_string(level));
        const std::string folder = m_Root.Path() + "/cwd" + std::to_string(level);
        CurrentFolder current(folder);
        DebugLevel debug(level);
        jxloadertest::WriteDefinition(text);
        EXPECT_FALSE(m_Data.LoadConfiguration());
        EXPECT_TRUE(m_Log.Has("ERROR", " at line: ")) << m_Log.Dump();
        EXPECT_TRUE(m_Log.Has("END", "false"));
        EXPECT_TRUE(m_Data.m_Files.empty());
        EXPECT_TRUE(m_Data.GetConfigurationRootElement().IsEmpty());

        const std::string dump = jxtest::ReadHostFile(folder + "/errordata.txt");
        if (level == 5) {
            EXPECT_TRUE(dump.empty()) << "only above level 5";
            continue;
        }
        EXPECT_TRUE(m_Log.Has("ERROR", "Dumping XML file and error information to errordata.txt."));
        const std::string expected =
            jxloadertest::Utf16LeBytes(u"(No detailed error information)\n" + wide, false);
        EXPECT_EQ(dump, expected) << "UTF-16LE without a byte-order mark";
    }
}

INSTANTIATE_TEST_SUITE_P(
    LoaderTexts, LoaderMalformed,
    ::testing::Values(Malformed{"Truncated", "<Setup productid=\"x\"><SetupFiles><SetupFile name=\"a\"/>"},
                      Malformed{"MismatchedTags", "<Setup><SetupFiles></SetupFeatures></Setup>"},
                      Malformed{"TwoRoots", "<Setup/><Setup/>"},
                      Malformed{"BrokenAttribute", "<Setup productid=\"x></Setup>"},
                      Malformed{"UndefinedEntity", "<Setup productname=\"&brand;\"/>"},
                      Malformed{"NotXml", "setup=true\r\nversion=1\r\n"}),
    [](const ::testing::TestParamInfo<Malformed>& info) { return std::string(info.param.name); });

TEST_F(LoaderFailure, ParseErrorLineNamesCodeLineAndColumn) {
    jxloadertest::WriteDefinition("<Setup>\n  <SetupFiles>\n  </SetupFeatures>\n</Setup>");
    EXPECT_FALSE(m_Data.LoadConfiguration());
    bool found = false;
    for (const std::string& line : m_Log.Lines()) {
        // "Error 8004024C at line: 3 (c: 18): ..." with the parser's code in eight hex digits.
        const size_t at = line.find("|Error ");
        if (line.rfind("ERROR|", 0) != 0 || at == std::string::npos)
            continue;
        found = true;
        EXPECT_EQ(line.substr(at + 7 + 8, 11), " at line: 3") << line;
        EXPECT_NE(line.find("(c: "), std::string::npos) << line;
    }
    EXPECT_TRUE(found) << m_Log.Dump();
}

} // namespace

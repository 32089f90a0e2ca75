// Page sequences of a definition that cannot be walked: no sequences or no stages, stages that
// jump in a cycle, and a jump to a special page that does not exist. Each run fails cleanly with
// exit 1 and leaves nothing installed.
#include <gtest/gtest.h>

#include <filesystem>

#include "jxbase/reg.h"
#include "jxplat/winuser.h"
#include "paged_support.h"

namespace {

using jxe2e::Exists;
using jxe2e::kInstallDir;

// The sample with its UISequence replaced by these children.
jxe2e::ProductVariant WithPages(const std::string& children) {
    jxe2e::ProductVariant variant;
    std::string& definition = variant.definition;
    const size_t begin = definition.find("<UISequence>");
    const size_t end = definition.find("</UISequence>");
    EXPECT_TRUE(begin != std::string::npos && end != std::string::npos);
    definition.replace(begin, end - begin, "<UISequence>\n" + children + "\n");
    return variant;
}

const std::string kWelcome =
    "<stage name=\"Welcome\"><execute page=\"Welcome\"/><next stage=\"#start\"/></stage>";

class PagedDefinition : public jxe2e::PagedRuns {
protected:
    PagedDefinition() {
        // The page sequencer's lines are in the machine's trace from level 1 on.
        CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"DebugLevel", 1, 0);
    }
};

TEST_F(PagedDefinition, AUiSequenceWithoutSequencesOrStagesEndsWithTheInterfaceErrorBox) {
    const struct {
        const char* name;
        std::string children;
        const char* trace;
    } cases[] = {
        {"no sequences", kWelcome, "No sequences defined!"},
        {"no stages", "<sequence name=\"Install\" stage=\"Welcome\"/>", "No stages defined!"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(std::filesystem::path(m_Root.Path()) / "messageboxes.jsonl");
        std::filesystem::remove(std::filesystem::path(m_Root.Path()) / "trace.log");
        const auto run = Run(Pack(WithPages(c.children), c.name), "");
        EXPECT_EQ(run.exitCode, 1) << c.name;
        EXPECT_NE(MessageBoxes().find("Error while initializing the setup user interface"), std::string::npos)
            << c.name << ": " << MessageBoxes();
        EXPECT_NE(jxe2e::AllLogs(m_Root).find("Error processing UiSequences."), std::string::npos) << c.name;
        const std::string trace = jxe2e::Trace(m_Root);
        EXPECT_NE(trace.find(c.trace), std::string::npos) << c.name;
        EXPECT_NE(trace.find("Error while processing UI sequences. No sequences, no pages or parse error!"),
                  std::string::npos)
            << c.name;
        // The module was never asked to start, and no page was shown.
        EXPECT_EQ(Steps({"Initialize", "page "}), std::vector<std::string>()) << c.name;
        EXPECT_FALSE(Exists(kInstallDir)) << c.name;
    }
}

TEST_F(PagedDefinition, StagesThatJumpInACycleFailTheSequence) {
    const auto run = Run(Pack(WithPages("<sequence name=\"Install\" stage=\"Welcome\"/>\n"
                                        "<stage name=\"Welcome\"><execute page=\"Welcome\"/>"
                                        "<next stage=\"Loop1\"/></stage>\n"
                                        "<stage name=\"Loop1\"><next stage=\"Loop2\"/></stage>\n"
                                        "<stage name=\"Loop2\"><next stage=\"Loop1\"/></stage>"),
                              "cycle"),
                         "");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Steps({"page ", "end"}), (std::vector<std::string>{"page Welcome", "end 4"}));
    EXPECT_NE(jxe2e::Trace(m_Root).find("The stages jump in a cycle without a page"), std::string::npos);
    EXPECT_FALSE(Exists(kInstallDir));
}

TEST_F(PagedDefinition, AnUnknownSpecialPageShowsTheFatalErrorBox) {
    const auto run = Run(Pack(WithPages("<sequence name=\"Install\" stage=\"Welcome\"/>\n"
                                        "<stage name=\"Welcome\"><execute page=\"Welcome\"/>"
                                        "<next stage=\"#bogus\"/></stage>"),
                              "bogus"),
                         "");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Steps({"page ", "end"}), (std::vector<std::string>{"page Welcome", "end 7"}));
    const std::vector<jxplat::RecordedMessageBox> boxes = jxplat::ReadRecordedMessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].caption, u"Fatal Error");
    EXPECT_EQ(boxes[0].text, u"Sequence broken. Illegal Page #bogus\nAborting");
    EXPECT_FALSE(Exists(kInstallDir));
}

} // namespace

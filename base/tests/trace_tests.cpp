#include <gtest/gtest.h>

#include "jxbase/reg.h"
#include "jxbase/trace.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace {

class CapturedTrace {
public:
    CapturedTrace() {
        jxplat::SetDebugOutputCapture(
            [this](std::u16string_view t) { m_lines.push_back(std::u16string(t)); });
    }
    ~CapturedTrace() { jxplat::SetDebugOutputCapture(nullptr); }
    std::vector<std::u16string> m_lines;
};

TEST(DebugTrace, EngineLevelComesFromTheRegistry) {
    jxtest::TempMachineRoot root;
    g_JxSetupEngineLibDebugLevel = 7;
    ReadDebugLevel(); // no key: the level stays
    EXPECT_EQ(g_JxSetupEngineLibDebugLevel, 7);

    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"Other", u"",
                              CRegStringType::Sz, 0);
    ReadDebugLevel(); // key without the value: 0
    EXPECT_EQ(g_JxSetupEngineLibDebugLevel, 0);
    {
        CapturedTrace trace;
        JX_ENGINE_TRACE(0, u"JxSetup::Data::Test", u"hidden %d\n", 1);
        EXPECT_TRUE(trace.m_lines.empty());
    }

    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"DebugLevel", 4, 0);
    ReadDebugLevel();
    EXPECT_EQ(g_JxSetupEngineLibDebugLevel, 4);
    CapturedTrace trace;
    JX_ENGINE_TRACE(3, u"JxSetup::Data::Test", u"=> shown %s\n", u"text");
    JX_ENGINE_TRACE(4, u"JxSetup::Data::Test", u"hidden\n");
    ASSERT_EQ(trace.m_lines.size(), 1u);
    std::u16string expected = u"(" + jxtext::ToText(GetCurrentThreadId()) +
                              u") JxSetupEngineLib: JxSetup::Data::Test(): => shown text\n";
    EXPECT_EQ(trace.m_lines[0], expected);
    g_JxSetupEngineLibDebugLevel = 0;
}

TEST(DebugTrace, LongMessagesAreCutTo4095Characters) {
    jxtest::TempMachineRoot root;
    CapturedTrace trace;
    std::u16string longText(5000, u'a');
    DebugTrace(u"%s", longText.c_str());
    ASSERT_EQ(trace.m_lines.size(), 1u);
    EXPECT_EQ(trace.m_lines[0], std::u16string(4095, u'a'));
}

} // namespace

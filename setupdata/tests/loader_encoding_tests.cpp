// The definition's text in the encodings the loader tells apart, and what the log may show of it.
#include <gtest/gtest.h>

#include "log_support.h"
#include "loader_support.h"

using namespace JxSetup::Data;
using jxloadertest::LoaderTest;

namespace {

// "Café €" in the product name checks that the characters arrive whole.
const std::string kDefinition =
    "<?xml version=\"1.0\"?><Setup productname=\"Caf\xC3\xA9 \xE2\x82\xAC\" "
    "version=\"1.0\"><SetupFiles><SetupFile name=\"a.exe\"/></SetupFiles></Setup>";
const std::u16string kProductName = u"Caf\u00E9 \u20AC";

struct Encoding {
    const char* name;
    std::string bytes;
};

class LoaderEncoding : public LoaderTest, public ::testing::WithParamInterface<Encoding> {};

TEST_P(LoaderEncoding, ReadsTheDefinitionWhole) {
    jxloadertest::WriteDefinitionBytes(GetParam().bytes);
    ASSERT_TRUE(m_Data.LoadConfiguration()) << m_Log.Dump();
    EXPECT_EQ(m_Data.m_ProductInfo.productname, kProductName);
    ASSERT_EQ(m_Data.m_Files.size(), 1u);
    EXPECT_EQ(m_Data.m_Files[0].name, u"a.exe");
    // Sections that the definition does not have are simply empty.
    EXPECT_TRUE(m_Data.m_Features.empty());
    EXPECT_TRUE(m_Data.m_ExecuteActions.empty());
}

std::string Cp1252(const std::string& utf8) {
    std::string out;
    for (char16_t c : jxtext::W(utf8))
        out.push_back(c == u'\u20AC' ? '\x80' : static_cast<char>(c));
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    LoaderFiles, LoaderEncoding,
    ::testing::Values(Encoding{"Utf16WithMark", jxloadertest::Utf16LeBytes(jxtext::W(kDefinition), true)},
                      Encoding{"Utf16WithoutMark", jxloadertest::Utf16LeBytes(jxtext::W(kDefinition), false)},
                      Encoding{"Utf8WithMark", "\xEF\xBB\xBF" + kDefinition},
                      Encoding{"AnsiCodePage", Cp1252(kDefinition)}),
    [](const ::testing::TestParamInfo<Encoding>& info) { return std::string(info.param.name); });

TEST_F(LoaderTest, ProtectedDefaultsNeverReachTheLogInClear) {
    JxSetup::Data::Instance()->Release();
    ASSERT_TRUE(JxSetup::Data::Instance()->OpenLogFile());
    const std::u16string logPath = JxSetup::Data::Instance()->GetLogFileName();
    jxloadertest::WriteDefinition(
        "<Setup><SetupProperties>"
        "<SetupProperty name=\"__ServerPassword\" localizable=\"false\" value=\"s3cr3t\"/>"
        "<SetupProperty name=\"PLAIN\" value=\"visible\"/>"
        "</SetupProperties></Setup>");
    ASSERT_TRUE(m_Data.LoadConfiguration());
    EXPECT_EQ(m_Data.GetPropertyValue(u"__ServerPassword"), u"s3cr3t");
    JxSetup::Data::Instance()->CloseLogFile(false);

    const std::u16string text = jxlogtest::AsUtf16(jxlogtest::ReadLogBytes(logPath));
    ASSERT_NE(text.find(u"visible"), std::u16string::npos) << "the property lines are in the file";
    EXPECT_EQ(text.find(u"s3cr3t"), std::u16string::npos) << jxtext::N(text);
    // The file is still open (no footer yet): look at its lines as text.
    size_t passwordLines = 0;
    for (size_t at = text.find(u"name=\"__ServerPassword\""); at != std::u16string::npos;
         at = text.find(u"name=\"__ServerPassword\"", at + 1))
        ++passwordLines;
    EXPECT_GE(passwordLines, 1u);
}

} // namespace

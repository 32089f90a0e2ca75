// The reconfiguration of installed XML files: placeholders between section signs become property
// values; a file that cannot be read, is not UTF-8 or cannot be rewritten stays byte for byte.
#include <gtest/gtest.h>

#include <filesystem>

#include "file_copy_fixture.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

namespace jxfilecopytest {
namespace {

const std::string kSign = "\xC2\xA7"; // the section sign in UTF-8

std::string S(const std::string& text) {
    // "$" stands for the section sign, to keep the cases readable.
    std::string out;
    for (char c : text)
        out += c == '$' ? kSign : std::string(1, c);
    return out;
}

std::u16string Target(const std::u16string& relative) {
    return kDestination + u"\\" + relative;
}

JxFile ReconfigRow(const std::u16string& name, const std::u16string& condition = u"") {
    JxFile row = CopyRow(name);
    row.reconfigxml = u"TRUE";
    row.reconfigxmlcondition = condition;
    return row;
}

class ReconfigXml : public ::testing::Test {
protected:
    void SetUp() override {
        m_Data.SetProperty(u"INSTALLDIR", u"C:\\Program Files\\App", 1);
        m_Data.SetProperty(u"PORT", u"8080", 1);
        m_Data.SetProperty(u"LANG", u"de", 1);
    }

    std::string Replace(const std::string& text) {
        return jxtext::N(m_Data.ReplaceReconfigPlaceholders(jxtext::W(text)));
    }

    // No temporary file of a rewrite stays in the product's folder.
    static void ExpectNoLeftovers() {
        const std::string folder = jxplat::WindowsToHostPath(kDestination);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            EXPECT_EQ(entry.path().string().find(".jxtmp"), std::string::npos) << entry.path();
    }

    void Run() { m_Data.reconfigXml(JxSequenceAction(u"ReconfigXml", u"[AT_RECONFIGXML]", 0x13b)); }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
};

TEST_F(ReconfigXml, ReplacesPlaceholdersWithPropertyValues) {
    struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"path=$INSTALLDIR$", "path=C:\\\\Program Files\\\\App"},
        {"<a p=\"$PORT$\"/><b p=\"$PORT$\"/>", "<a p=\"8080\"/><b p=\"8080\"/>"},
        {"$PORT$ and $LANG$ $", "8080 and de $"},                     // a last sign without its pair stays
        {"[$UNSET$]", "[]"},                                          // a property without a value
        {"$$ x", "$$ x"},                                             // nothing between the signs
        {"see $ 5 and $ 6 of the law", "see $ 5 and $ 6 of the law"}, // the sign as text
        {"$ 5 $PORT$", "$ 5 8080"}, // a refused pair's second sign opens the next placeholder
        {"$<b>$ $[PORT]$", "$<b>$ $[PORT]$"},
        {"no signs at all", "no signs at all"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Replace(S(c.text)), S(c.expected));
    }
}

TEST_F(ReconfigXml, RewritesTheInstalledFilesOfTheFlaggedRows) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string emoji = "\xF0\x9F\x98\x80"; // outside the Basic Multilingual Plane
    WriteFileBytes(Target(u"app.config"), bom + S("<dir>$INSTALLDIR$</dir><s>") + emoji + "</s>\r\n");
    WriteFileBytes(Target(u"de\\lang.xml"), S("<port>$PORT$</port>"));
    WriteFileBytes(Target(u"skipped.xml"), S("<port>$PORT$</port>"));
    WriteFileBytes(Target(u"plain.xml"), S("<port>$PORT$</port>"));
    JxFile plain = CopyRow(u"plain.xml"); // not flagged
    DefineProduct(m_Data, {ReconfigRow(u"app.config"), ReconfigRow(u"[LANG]\\lang.xml"),
                           ReconfigRow(u"skipped.xml", u"1 = 2"), plain, ReconfigRow(u"missing.xml")});

    Run();

    EXPECT_EQ(ReadFileBytes(Target(u"app.config")),
              bom + "<dir>C:\\\\Program Files\\\\App</dir><s>" + emoji + "</s>\r\n");
    EXPECT_EQ(ReadFileBytes(Target(u"de\\lang.xml")), "<port>8080</port>");
    EXPECT_EQ(ReadFileBytes(Target(u"skipped.xml")), S("<port>$PORT$</port>"));
    EXPECT_EQ(ReadFileBytes(Target(u"plain.xml")), S("<port>$PORT$</port>"));
    EXPECT_FALSE(m_Log.Has("WARNING", "")) << m_Log.Dump();
    ExpectNoLeftovers();
}

TEST_F(ReconfigXml, FilesItCannotHandleStayByteForByte) {
    const std::string latin1 = S("<name>M") + "\xFC" + S("ller $PORT$</name>"); // not UTF-8
    const std::string cut = S("<a>$PORT$</a>") + "\xE2\x82";                    // ends inside a character
    const std::string readOnly = S("<port>$PORT$</port>");
    WriteFileBytes(Target(u"latin1.xml"), latin1);
    WriteFileBytes(Target(u"cut.xml"), cut);
    WriteFileBytes(Target(u"readonly.xml"), readOnly);
    ASSERT_TRUE(SetFileAttributesW(Target(u"readonly.xml").c_str(), FILE_ATTRIBUTE_READONLY));
    WriteFileBytes(u"C:\\Program Files\\outside.xml", readOnly);
    JxFile hostile = ReconfigRow(u"..\\outside.xml");
    JxFile absolute = ReconfigRow(u"C:\\Program Files\\outside.xml");
    DefineProduct(m_Data, {ReconfigRow(u"latin1.xml"), ReconfigRow(u"cut.xml"), ReconfigRow(u"readonly.xml"),
                           hostile, absolute});

    Run();

    EXPECT_EQ(ReadFileBytes(Target(u"latin1.xml")), latin1);
    EXPECT_EQ(ReadFileBytes(Target(u"cut.xml")), cut);
    EXPECT_EQ(ReadFileBytes(Target(u"readonly.xml")), readOnly);
    EXPECT_EQ(ReadFileBytes(u"C:\\Program Files\\outside.xml"), readOnly);
    EXPECT_EQ(m_Log.Count("WARNING", "could not be read as UTF-8 text"), 2u) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("WARNING", "readonly.xml could not be rewritten (error 5)")) << m_Log.Dump();
    EXPECT_EQ(m_Log.Count("WARNING", "outside.xml in folder C:\\Program Files\\Prod refused"), 2u);
    ExpectNoLeftovers();
}

TEST_F(ReconfigXml, ComponentsKeptAsPackagesAreSkipped) {
    WriteFileBytes(Target(u"a.xml"), S("$PORT$"));
    DefineProduct(m_Data, {ReconfigRow(u"a.xml")});
    m_Data.m_Features[0].components[0].extractaswpk = u"True";

    Run();

    EXPECT_EQ(ReadFileBytes(Target(u"a.xml")), S("$PORT$"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Skip action of component: core"));
}

} // namespace
} // namespace jxfilecopytest

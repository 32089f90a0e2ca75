#include "xml_test_support.h"

namespace {

class XmlSave : public xmltest::XmlFiles {};

const std::u16string kText = u"gr\u00fc\u00df & <\u65e5\u672c> \U0001F600";

// The declaration decides how the file is written, and what is written reads back the same.
TEST_F(XmlSave, RoundTripInTheDeclaredEncoding) {
    struct Case {
        const char* name;
        std::u16string declaration;
        std::string fileStart;
    };
    const Case cases[] = {
        {"utf-16", u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"yes\"?>",
         xmltest::Utf16Bytes(u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"yes\"?>", false, true)},
        {"utf-8", u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
        {"no declaration", u"", "<Files "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CXMLDOMDocument document = xmltest::NewDocument();
        ASSERT_FALSE(document
                         .LoadXml((c.declaration + u"\n<Files>\n    <File name=\"" + u"\u00e4\u20ac.dll" +
                                   u"\" note=\"&quot;q&quot;\"/>\n</Files>")
                                      .c_str())
                         .IsEmpty());
        document.GetDocumentElement().SetAttribute(u"text", kText.c_str());
        ASSERT_TRUE(document.Save(WindowsPath("out.xml").c_str()));
        const std::string bytes = ReadFile("out.xml");
        EXPECT_EQ(bytes.substr(0, c.fileStart.size()), c.fileStart);

        CXMLDOMDocument again = xmltest::NewDocument();
        CXMLDOMElement root = again.Load(WindowsPath("out.xml").c_str());
        ASSERT_FALSE(root.IsEmpty()) << jxtext::N(again.GetParseError().GetReason());
        EXPECT_EQ(root.GetAttribute(u"text"), kText);
        EXPECT_EQ(root.GetFirstChild().GetAttribute(u"name"), u"\u00e4\u20ac.dll");
        EXPECT_EQ(root.GetFirstChild().GetAttribute(u"note"), u"\"q\"");
    }
}

TEST_F(XmlSave, FailuresLeaveFilesAlone) {
    CXMLDOMDocument document = xmltest::NewDocument();
    ASSERT_FALSE(document.LoadXml(u"<r/>").IsEmpty());
    WriteFile("kept.xml", "<kept/>");
    struct Case {
        const WCHAR* path;
        HRESULT error;
    };
    const Case cases[] = {
        {nullptr, E_INVALIDARG},
        {u"", E_INVALIDARG},
        {u"C:\\xml\\no such folder\\out.xml", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
        {u"C:\\xml", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
        {u"http://127.0.0.1/out.xml", E_ACCESSDENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(jxtext::N(c.path ? c.path : u"(null)"));
        SetLastError(0);
        EXPECT_FALSE(document.Save(c.path));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error));
    }
    EXPECT_EQ(ReadFile("kept.xml"), "<kept/>");
    EXPECT_FALSE(std::filesystem::exists(HostPath("xml.jxtmp")));
    EXPECT_EQ(document.GetDocumentElement().GetNodeName(), u"r");
}

TEST_F(XmlSave, ReformatSetsDeclarationAndIndents) {
    CXMLDOMDocument document = xmltest::NewDocument();
    CXMLDOMNode settings = document.AppendNewNode(NODE_ELEMENT, u"Settings", u"");
    CXMLDOMNode languages = settings.AppendNewNode(NODE_ELEMENT, u"Languages", u"");
    for (const WCHAR* iso : {u"de", u"en"})
        languages.AppendNewNode(NODE_ELEMENT, u"Language", u"").SetAttribute(u"iso", iso);

    CXMLDOMDocument::FormatOptions options;
    options.omitXmlDeclaration = false;
    options.standalone = true;
    options.indent = true;
    options.escapeOutput = true;
    options.encoding = u"UTF-8";
    ASSERT_TRUE(document.Reformat(options));
    ASSERT_TRUE(document.Save(WindowsPath("settings.xml").c_str()));
    EXPECT_EQ(ReadFile("settings.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                        "<Settings>\n"
                                        "  <Languages>\n"
                                        "    <Language iso=\"de\"/>\n"
                                        "    <Language iso=\"en\"/>\n"
                                        "  </Languages>\n"
                                        "</Settings>\n");
    // The document was rewritten: navigation sees no indentation, the old wrappers still work.
    CXMLDOMElement root = document.GetDocumentElement();
    EXPECT_EQ(root.GetFirstChild().GetFirstChild().GetAttribute(u"iso"), u"de");
    EXPECT_EQ(languages.GetNodeName(), u"Languages");

    options.omitXmlDeclaration = true;
    options.indent = false;
    options.encoding = u"UTF-16";
    ASSERT_TRUE(document.Reformat(options));
    ASSERT_TRUE(document.Save(WindowsPath("settings16.xml").c_str()));
    EXPECT_EQ(ReadFile("settings16.xml").substr(0, 8), xmltest::Utf16Bytes(u"<Se", false, true));
}

TEST(XmlReformat, EscapingOffAndRefusals) {
    CXMLDOMDocument document = xmltest::NewDocument();
    CXMLDOMElement root = document.LoadXml(u"<r>&lt;b&gt;bold&lt;/b&gt;</r>");
    CXMLDOMDocument::FormatOptions options;
    options.escapeOutput = false;
    ASSERT_TRUE(document.Reformat(options));
    EXPECT_EQ(document.GetDocumentElement().GetFirstChild().GetNodeName(), u"b");

    // Text that is no markup when written unescaped fails, and the document stays as it was.
    document.LoadXml(u"<r>a &lt; b</r>");
    EXPECT_FALSE(document.Reformat(options));
    EXPECT_EQ(document.GetDocumentElement().GetText(), u"a < b");

    options.escapeOutput = true;
    options.encoding = u"no-such-encoding";
    SetLastError(0);
    EXPECT_FALSE(document.Reformat(options));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_INVALIDARG));
    EXPECT_EQ(document.GetDocumentElement().GetText(), u"a < b");
}

} // namespace

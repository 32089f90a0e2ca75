#include "xml_test_support.h"

namespace {

using xmltest::Utf16Bytes;

class XmlLoadFile : public xmltest::XmlFiles {};

const std::u16string kBody = u"<r a=\"\u00e9\u20ac\">caf\u00e9 \u20ac</r>";

struct EncodingCase {
    const char* name;
    std::string bytes;
};

TEST_F(XmlLoadFile, EncodingFromMarkOrDeclaration) {
    const std::u16string declared16 = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + kBody;
    const std::string utf8Body = jxtext::N(kBody);
    const EncodingCase cases[] = {
        {"utf8 declared", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + utf8Body},
        {"utf8 plain", utf8Body},
        {"utf8 bom", "\xEF\xBB\xBF" + utf8Body},
        {"utf16le bom declared", Utf16Bytes(declared16, false, true)},
        {"utf16le declared", Utf16Bytes(declared16, false, false)},
        {"utf16be bom declared", Utf16Bytes(declared16, true, true)},
        {"utf16be declared", Utf16Bytes(declared16, true, false)},
        {"utf16le bom plain", Utf16Bytes(kBody, false, true)},
        {"utf16le plain", Utf16Bytes(kBody, false, false)},
        {"utf16be plain", Utf16Bytes(kBody, true, false)},
    };
    for (const EncodingCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile("doc.xml", c.bytes);
        for (bool fromFile : {true, false}) {
            CXMLDOMDocument document = xmltest::NewDocument();
            CXMLDOMElement root =
                fromFile ? document.Load(WindowsPath("doc.xml").c_str())
                         : document.LoadBytes(reinterpret_cast<const BYTE*>(c.bytes.data()), c.bytes.size());
            ASSERT_FALSE(root.IsEmpty()) << jxtext::N(document.GetParseError().GetReason());
            EXPECT_EQ(root.GetNodeName(), u"r");
            EXPECT_EQ(root.GetAttribute(u"a"), u"\u00e9\u20ac");
            EXPECT_EQ(root.GetText(), u"caf\u00e9 \u20ac");
            EXPECT_EQ(document.GetParseError().GetErrorCode(), 0);
        }
    }

    // A single-byte encoding named by the declaration.
    WriteFile("latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xE9</r>");
    CXMLDOMDocument document = xmltest::NewDocument();
    EXPECT_EQ(document.Load(WindowsPath("latin1.xml").c_str()).GetText(), u"caf\u00e9");
}

TEST(XmlLoad, TextIsReadAsTextWhateverItsDeclarationSays) {
    CXMLDOMDocument document = xmltest::NewDocument();
    CXMLDOMElement root =
        document.LoadXml(u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n<r>\u00e9\U0001F600</r>");
    ASSERT_FALSE(root.IsEmpty());
    EXPECT_EQ(root.GetText(), u"\u00e9\U0001F600");
    root = document.LoadXml(u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\u20ac</r>");
    EXPECT_EQ(root.GetText(), u"\u20ac");
}

TEST(XmlLoad, WhitespaceTextDroppedCommentsKept) {
    CXMLDOMDocument document = xmltest::NewDocument();
    CXMLDOMElement root = document.LoadXml(u"<r>\n  <!-- note -->\n  <a> padded text </a>\n  <b>  \t</b>\n"
                                           u"  <c xml:space=\"preserve\">  </c>\n</r>");
    ASSERT_FALSE(root.IsEmpty());
    CXMLDOMNode comment = root.GetFirstChild();
    EXPECT_EQ(comment.GetNodeType(), NODE_COMMENT);
    EXPECT_EQ(comment.GetNodeName(), u"#comment");
    EXPECT_EQ(comment.GetText(), u" note ");
    CXMLDOMNode a = comment.GetNextSibling();
    EXPECT_EQ(a.GetNodeName(), u"a");
    EXPECT_EQ(a.GetText(), u"padded text");
    EXPECT_EQ(a.GetFirstChild().GetText(), u" padded text ");
    EXPECT_FALSE(root.GetFirstChildByName(u"b").HasChildNodes());
    CXMLDOMNode preserved = root.GetFirstChildByName(u"c").GetFirstChild();
    EXPECT_EQ(preserved.GetNodeType(), NODE_TEXT);
    EXPECT_EQ(preserved.GetText(), u"  ");
    EXPECT_TRUE(root.GetFirstChildByName(u"c").GetNextSibling().IsEmpty());
}

TEST(XmlLoad, ParseErrorDescribesTheFault) {
    CXMLDOMDocument document = xmltest::NewDocument();
    ASSERT_FALSE(document.LoadXml(u"<r><ok/></r>").IsEmpty());
    CXMLDOMParseError error = document.GetParseError();
    EXPECT_EQ(error.GetErrorCode(), 0);

    SetLastError(0);
    CXMLDOMElement root = document.LoadXml(u"<r>\n  <a>text</b>\n</r>");
    EXPECT_TRUE(root.IsEmpty());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_FAIL));
    // A failed load leaves the document empty, never half filled.
    EXPECT_TRUE(document.GetDocumentElement().IsEmpty());
    error = document.GetParseError();
    EXPECT_LT(error.GetErrorCode(), 0);
    EXPECT_EQ(error.GetLine(), 2);
    EXPECT_GT(error.GetLinePos(), 1);
    EXPECT_NE(jxtext::N(error.GetReason()).find("mismatch"), std::string::npos)
        << jxtext::N(error.GetReason());

    EXPECT_TRUE(document.LoadXml(u"").IsEmpty());
    EXPECT_LT(document.GetParseError().GetErrorCode(), 0);

    CXMLDOMParseError none;
    EXPECT_EQ(none.GetErrorCode(), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_POINTER));
}

TEST_F(XmlLoadFile, FilesThatCannotBeRead) {
    struct Case {
        std::u16string path;
        HRESULT code;
    };
    const Case cases[] = {
        {WindowsPath("missing.xml"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {u"C:\\xml", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
        {u"http://127.0.0.1/setup.xml", E_ACCESSDENIED},
        {u"file:///etc/hostname", E_ACCESSDENIED},
        {u"", E_INVALIDARG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(jxtext::N(c.path));
        CXMLDOMDocument document = xmltest::NewDocument();
        EXPECT_TRUE(document.Load(c.path.c_str()).IsEmpty());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_FAIL));
        EXPECT_EQ(document.GetParseError().GetErrorCode(), c.code);
        EXPECT_FALSE(document.GetParseError().GetReason().empty());
    }
}

} // namespace

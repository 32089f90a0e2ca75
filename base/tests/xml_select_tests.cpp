#include "xml_test_support.h"

namespace {

const WCHAR* const kCatalog = u"<catalog>"
                              u"<item id=\"a\" enabled=\"true\"><name>First</name></item>"
                              u"<item id=\"b\"><name>Second</name></item>"
                              u"<group><item id=\"c\" enabled=\"false\"/></group>"
                              u"<version>1.2.3</version>"
                              u"</catalog>";

// Each selected node as its id attribute, its text when it has no id, joined with ",".
std::u16string Describe(const std::vector<CXMLDOMNode>& nodes) {
    std::u16string text;
    for (const CXMLDOMNode& node : nodes) {
        if (!text.empty())
            text += u",";
        const std::u16string id = node.GetAttribute(u"id");
        text += id.empty() ? node.GetText() : id;
    }
    return text;
}

TEST(XmlSelect, XPathQueries) {
    CXMLDOMDocument document = xmltest::NewDocument();
    CXMLDOMElement root = document.LoadXml(kCatalog);
    ASSERT_FALSE(root.IsEmpty());
    struct Case {
        bool fromRoot; // else from the document
        const WCHAR* query;
        std::u16string expected;
    };
    const Case cases[] = {
        {false, u"/catalog/item", u"a,b"},
        {false, u"//item", u"a,b,c"},
        {false, u"/catalog/item[2]", u"b"},
        {false, u"/catalog/item[last()]", u"b"},
        {false, u"(//item)[3]", u"c"},
        {false, u"//item[@id='b']/name", u"Second"},
        {false, u"//item[@enabled]", u"a,c"},
        {false, u"//item[@enabled='false']", u"c"},
        {false, u"//item[not(@enabled)]", u"b"},
        {false, u"/catalog/item[1]/@id", u"a"},
        {false, u"/catalog/version", u"1.2.3"},
        {true, u"item[position() > 1]", u"b"},
        {true, u"group/item", u"c"},
        {true, u"./version/text()", u"1.2.3"},
        {true, u"/catalog/nothing", u""},
        {true, u"Item", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(jxtext::N(c.query));
        const CXMLDOMNode& from = c.fromRoot ? static_cast<const CXMLDOMNode&>(root) : document;
        EXPECT_EQ(Describe(from.SelectNodes(c.query)), c.expected);
        CXMLDOMNode first = from.SelectSingleNode(c.query);
        EXPECT_EQ(first.IsEmpty(), c.expected.empty());
        EXPECT_EQ(Describe({first}), c.expected.substr(0, c.expected.find(u',')));
    }
    EXPECT_EQ(document.SelectSingleNode(u"//item[2]/@id").GetNodeType(), NODE_ATTRIBUTE);
}

TEST(XmlSelect, InvalidQueriesFail) {
    CXMLDOMDocument document = xmltest::NewDocument();
    CXMLDOMElement root = document.LoadXml(kCatalog);
    for (const WCHAR* query : {u"///[", u"count(//item)", u"//item[", u""}) {
        SCOPED_TRACE(jxtext::N(query));
        SetLastError(0);
        EXPECT_TRUE(root.SelectSingleNode(query).IsEmpty());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_INVALIDARG));
    }
    // Namespace nodes are no DOM nodes: the query succeeds with nothing selected.
    SetLastError(0);
    EXPECT_TRUE(root.SelectNodes(u"//namespace::*").empty());
    EXPECT_EQ(GetLastError(), 0u);
}

} // namespace

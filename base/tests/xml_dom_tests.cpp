#include <functional>

#include "xml_test_support.h"

namespace {

const WCHAR* const kItems =
    u"<r><!-- c --><Item id=\"1\"/>text<item id=\"2\" empty=\"\"/><item id=\"3\"/></r>";

TEST(XmlDom, NamesAreExactAndSkipOtherKinds) {
    CXMLDOMDocument document = xmltest::NewDocument();
    CXMLDOMElement root = document.LoadXml(kItems);
    ASSERT_FALSE(root.IsEmpty());
    // The first child is a comment and "Item" differs in case: the match is the fourth child.
    CXMLDOMNode item = root.GetFirstChildByName(u"item");
    EXPECT_EQ(item.GetAttribute(u"id"), u"2");
    EXPECT_EQ(item.GetNextSiblingByName(u"item").GetAttribute(u"id"), u"3");
    EXPECT_TRUE(item.GetNextSiblingByName(u"item").GetNextSiblingByName(u"item").IsEmpty());
    EXPECT_EQ(root.GetFirstChildByName(u"Item").GetAttribute(u"id"), u"1");
    EXPECT_TRUE(root.GetFirstChildByName(u"ITEM").IsEmpty());
    EXPECT_EQ(root.GetFirstChildByName(u"#text").GetText(), u"text");
    EXPECT_TRUE(root.GetFirstChildByName(u"item").GetFirstChildByName(u"x").IsEmpty());
    EXPECT_TRUE(document.GetOwnerDocument().IsEmpty());
    EXPECT_TRUE(item.GetOwnerDocument().IsSameNode(document));
    EXPECT_TRUE(item.GetParentNode().IsSameNode(root));
    EXPECT_TRUE(root.GetParentNode().IsSameNode(document));
}

TEST(XmlDom, AttributeReads) {
    CXMLDOMDocument document = xmltest::NewDocument();
    CXMLDOMNode item = document.LoadXml(kItems).GetFirstChildByName(u"item");
    EXPECT_EQ(item.GetAttribute(u"empty"), u"");
    EXPECT_EQ(item.GetAttribute(u"missing"), u"");
    EXPECT_EQ(item.GetAttribute(u"ID"), u"");
    EXPECT_FALSE(item.GetAttributeNode(u"empty").IsEmpty());
    EXPECT_TRUE(item.GetAttributeNode(u"missing").IsEmpty());
    EXPECT_EQ(item.GetAttributes().GetLength(), 2);
    EXPECT_EQ(item.GetAttributes().GetItem(1).GetNodeName(), u"empty");
    EXPECT_TRUE(item.GetFirstChild().GetAttributes().IsEmpty());

    // ReadAttribute answers "changed": true only when the attribute exists and differs.
    struct Case {
        const WCHAR* name;
        std::u16string before;
        bool changed;
        std::u16string after;
    };
    const Case cases[] = {
        {u"id", u"old", true, u"2"}, {u"id", u"2", false, u"2"},  {u"missing", u"keep", false, u"keep"},
        {u"empty", u"x", true, u""}, {u"empty", u"", false, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(jxtext::N(c.name) + "/" + jxtext::N(c.before));
        std::u16string text = c.before;
        EXPECT_EQ(item.ReadAttribute(c.name, text), c.changed);
        EXPECT_EQ(text, c.after);
    }
}

TEST(XmlDom, BuildDocument) {
    CXMLDOMDocument document = xmltest::NewDocument();
    CXMLDOMElement root = document.CreateElement(u"Settings");
    ASSERT_FALSE(root.IsEmpty());
    EXPECT_TRUE(root.GetParentNode().IsEmpty());
    EXPECT_TRUE(document.AppendChild(root).IsSameNode(root));
    EXPECT_TRUE(document.GetDocumentElement().IsSameNode(root));

    CXMLDOMNode languages = root.AppendNewNode(NODE_ELEMENT, u"Languages", u"");
    CXMLDOMAttribute iso = languages.SetAttribute(u"iso", u"de & <en>");
    EXPECT_EQ(iso.GetText(), u"de & <en>");
    EXPECT_TRUE(languages.SetAttribute(u"iso", u"fr").IsSameNode(iso));
    EXPECT_EQ(languages.GetAttribute(u"iso"), u"fr");
    EXPECT_TRUE(iso.SetValue(u"&amp;"));
    EXPECT_EQ(languages.GetAttribute(u"iso"), u"&amp;");

    CXMLDOMAttribute loose = document.CreateAttribute(u"count");
    EXPECT_TRUE(loose.SetValue(u"3"));
    EXPECT_TRUE(languages.GetAttributes().SetNamedItem(loose).IsSameNode(loose));
    EXPECT_EQ(languages.GetAttribute(u"count"), u"3");
    // An attribute that already belongs to an element is not shared with another one.
    EXPECT_TRUE(root.GetAttributes().SetNamedItem(loose).IsEmpty());

    CXMLDOMNode comment = root.AppendNewNode(NODE_COMMENT, u"", u"");
    EXPECT_EQ(comment.GetNodeType(), NODE_COMMENT);
    CXMLDOMNode scoped = root.AppendNewNode(NODE_ELEMENT, u"p:x", u"urn:test");
    EXPECT_EQ(scoped.GetNodeName(), u"p:x");
    EXPECT_TRUE(root.SelectSingleNode(u"*[local-name()='x']").IsSameNode(scoped));

    // Moving a node within the document keeps it; a node of another document is copied.
    EXPECT_TRUE(root.AppendChild(languages).IsSameNode(languages));
    EXPECT_TRUE(comment.GetNextSibling().IsSameNode(scoped));
    CXMLDOMDocument other = xmltest::NewDocument();
    CXMLDOMNode foreign = other.LoadXml(u"<Language iso=\"it\"/>");
    CXMLDOMNode copy = languages.AppendChild(foreign);
    ASSERT_FALSE(copy.IsEmpty());
    EXPECT_FALSE(copy.IsSameNode(foreign));
    EXPECT_EQ(copy.GetAttribute(u"iso"), u"it");
    EXPECT_TRUE(other.GetDocumentElement().IsSameNode(foreign));
}

TEST(XmlDom, RefusesWhatWouldBreakTheDocument) {
    CXMLDOMDocument document = xmltest::NewDocument();
    CXMLDOMElement root = document.LoadXml(u"<r><a><b/></a>text</r>");
    CXMLDOMNode a = root.GetFirstChild();
    CXMLDOMNode b = a.GetFirstChild();
    CXMLDOMNode text = a.GetNextSibling();
    const std::vector<std::pair<const char*, std::function<bool()>>> refusals = {
        {"second document element",
         [&] { return document.AppendChild(document.CreateElement(u"r2")).IsEmpty(); }},
        {"text at the top", [&] { return document.AppendNewNode(NODE_TEXT, u"", u"").IsEmpty(); }},
        {"ancestor below its descendant", [&] { return b.AppendChild(a).IsEmpty(); }},
        {"node below itself", [&] { return a.AppendChild(a).IsEmpty(); }},
        {"child of a text", [&] { return text.AppendChild(document.CreateElement(u"c")).IsEmpty(); }},
        {"attribute as child", [&] { return root.AppendChild(document.CreateAttribute(u"x")).IsEmpty(); }},
        {"invalid element name", [&] { return document.CreateElement(u"a b").IsEmpty(); }},
        {"invalid attribute name", [&] { return root.SetAttribute(u"1x", u"v").IsEmpty(); }},
        {"declaration as node",
         [&] { return document.CreateNode(NODE_PROCESSING_INSTRUCTION, u"xml", u"").IsEmpty(); }},
        {"unsupported kind", [&] { return document.CreateNode(NODE_ENTITY, u"e", u"").IsEmpty(); }},
    };
    for (const auto& [name, refused] : refusals) {
        SCOPED_TRACE(name);
        SetLastError(0);
        EXPECT_TRUE(refused());
        EXPECT_TRUE(FAILED(static_cast<HRESULT>(GetLastError())));
    }
    SetLastError(0);
    EXPECT_TRUE(text.SetAttribute(u"x", u"y").IsEmpty());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_NOINTERFACE));
    // Nothing of the above changed the document.
    EXPECT_EQ(root.SelectNodes(u".//node()").size(), 3u);
    CXMLDOMNode pi = document.CreateNode(NODE_PROCESSING_INSTRUCTION, u"style", u"");
    EXPECT_FALSE(pi.IsEmpty());
}

// Wrappers keep what they point at alive: the document object, a replaced tree, a replaced attribute.
TEST(XmlDom, WrappersOutliveWhatReplacedTheirNodes) {
    CXMLDOMNode orphan;
    CXMLDOMNode oldChild;
    CXMLDOMNode replaced;
    {
        CXMLDOMDocument document = xmltest::NewDocument();
        CXMLDOMElement root = document.LoadXml(u"<r a=\"1\"><old>first</old></r>");
        oldChild = root.GetFirstChild();
        CXMLDOMElement next = document.LoadXml(u"<n>second</n>");
        EXPECT_EQ(next.GetText(), u"second");
        EXPECT_EQ(oldChild.GetText(), u"first");

        replaced = next.SetAttribute(u"a", u"1");
        CXMLDOMAttribute fresh = document.CreateAttribute(u"a");
        fresh.SetValue(u"2");
        next.GetAttributes().SetNamedItem(fresh);
        EXPECT_EQ(next.GetAttribute(u"a"), u"2");
        orphan = document.CreateElement(u"never-appended");
        EXPECT_FALSE(next.SetAttribute(u"x", u"y").IsEmpty());
    }
    EXPECT_EQ(oldChild.GetText(), u"first");
    EXPECT_EQ(replaced.GetText(), u"1");
    EXPECT_EQ(orphan.GetNodeName(), u"never-appended");
    EXPECT_EQ(orphan.GetOwnerDocument().GetDocumentElement().GetAttribute(u"x"), u"y");
}

} // namespace

#include "xml_test_support.h"

namespace {

class XmlUnsafeInput : public xmltest::XmlFiles {};

std::string BillionLaughs() {
    std::string text = "<!DOCTYPE l [<!ENTITY l0 \"lollollollollollollollollollol\">";
    for (int i = 1; i < 10; ++i) {
        text += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            text += "&l" + std::to_string(i - 1) + ";";
        text += "\">";
    }
    return text + "]><l>&l9;</l>";
}

// No file named by an entity or a DTD is read, whatever the document asks for; internal
// entities still read as they always did.
TEST_F(XmlUnsafeInput, EntitiesNeverReachFilesOrExplode) {
    WriteFile("secret.txt", "TOPSECRET");
    WriteFile("defaults.dtd", "<!ATTLIST r a CDATA \"FROMDTD\"><!ENTITY e \"TOPSECRET\">");
    const std::string secret = HostPath("secret.txt");
    const std::string dtd = HostPath("defaults.dtd");
    struct Case {
        const char* name;
        std::string xml;
        bool loads;
        std::u16string text; // of the root, when it loads
    };
    const Case cases[] = {
        {"internal entity", "<!DOCTYPE r [<!ENTITY e \"inner &amp; text\">]><r>&e;</r>", true,
         u"inner & text"},
        {"external entity", "<!DOCTYPE r [<!ENTITY e SYSTEM \"" + secret + "\">]><r>&e;</r>", false, u""},
        {"external entity as URL", "<!DOCTYPE r [<!ENTITY e SYSTEM \"file://" + secret + "\">]><r>&e;</r>",
         false, u""},
        {"parameter entity", "<!DOCTYPE r [<!ENTITY % p SYSTEM \"" + secret + "\"> %p;]><r/>", false, u""},
        {"external DTD", "<!DOCTYPE r SYSTEM \"" + dtd + "\"><r>plain</r>", true, u"plain"},
        {"network entity", "<!DOCTYPE r [<!ENTITY e SYSTEM \"http://127.0.0.1:9/x\">]><r>&e;</r>", false,
         u""},
        {"billion laughs", BillionLaughs(), false, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CXMLDOMDocument document = xmltest::NewDocument();
        CXMLDOMElement root = document.LoadXml(jxtext::W(c.xml).c_str());
        EXPECT_EQ(!root.IsEmpty(), c.loads) << jxtext::N(document.GetParseError().GetReason());
        if (root.IsEmpty()) {
            EXPECT_LT(document.GetParseError().GetErrorCode(), 0);
            continue;
        }
        EXPECT_EQ(root.GetText(), c.text);
        EXPECT_EQ(root.GetAttribute(u"a"), u"");
    }
}

} // namespace

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include "jxbase/trace.h"
#include "xml_state.h"

namespace jxxml {

bool SelectXPath(xmlNodePtr node, const WCHAR* query, bool firstOnly, std::vector<xmlNodePtr>& out,
                 HRESULT& hr) {
    XmlInit();
    QuietXmlErrors quiet;
    xmlDocPtr doc = IsDocumentNode(node) ? reinterpret_cast<xmlDocPtr>(node) : node->doc;
    xmlXPathContextPtr context = xmlXPathNewContext(doc);
    if (!context) {
        hr = E_OUTOFMEMORY;
        return false;
    }
    context->node = node;
    context->error = [](void*, xmlErrorPtr) {};
    const std::string expression = ToXml(query);
    xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST expression.c_str(), context);
    xmlXPathFreeContext(context);
    if (!result || result->type != XPATH_NODESET) {
        JX_ENGINE_TRACE(1, u"jxxml::SelectXPath", u"No node set from \"%s\".", query ? query : u"");
        xmlXPathFreeObject(result);
        hr = E_INVALIDARG;
        return false;
    }
    if (xmlNodeSetPtr nodes = result->nodesetval) {
        xmlXPathNodeSetSort(nodes);
        for (int i = 0; i < nodes->nodeNr; ++i) {
            // Namespace nodes are copies that die with the result; they are not DOM nodes here.
            if (nodes->nodeTab[i]->type == XML_NAMESPACE_DECL)
                continue;
            out.push_back(nodes->nodeTab[i]);
            if (firstOnly)
                break;
        }
    }
    xmlXPathFreeObject(result);
    return true;
}

} // namespace jxxml

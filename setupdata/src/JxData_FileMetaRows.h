// Row walks of the definition's companion files (metadata, requirements, reconfiguration): a
// section's rows are its first child of the row name and every element after it, whatever its name.
#pragma once

#include "jxbase/xml/xmldom.h"

namespace JxSetup::Data {

template <class Visit>
void ForEachSectionRow(const CXMLDOMNode& section, const WCHAR* rowName, Visit&& visit) {
    if (section.IsEmpty())
        return;
    for (CXMLDOMNode row = section.GetFirstChildByName(rowName); !row.IsEmpty(); row = row.GetNextSibling()) {
        if (row.GetNodeType() == NODE_ELEMENT)
            visit(row);
    }
}

// Joins folder parts with "\" (none doubled); empty parts are left out.
inline std::u16string JoinWindowsPath(std::initializer_list<std::u16string_view> parts) {
    std::u16string path;
    for (std::u16string_view part : parts) {
        if (part.empty())
            continue;
        if (!path.empty() && path.back() != u'\\')
            path.push_back(u'\\');
        if (!path.empty() && part.front() == u'\\')
            part.remove_prefix(1);
        path.append(part);
    }
    return path;
}

} // namespace JxSetup::Data

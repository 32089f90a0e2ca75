// The prerequisite overview of the pages: prerequisites that announce themselves before the run.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

} // namespace

void JxData::SetPrerequisiteOverviewItems() {
    const WCHAR* context = u"JxSetup::Data::JxData::SetPrerequisiteOverviewItems";
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    SetProperty(u"_PrqOverviewItems", u"", 1);
    SetProperty(u"_PrqShowOverview", u"", 1);
    // Rows are copied: AddPrerequisiteOverviewItem may read the definition again.
    const std::vector<JxFile> rows = m_Prerequisites.empty() ? m_Files : m_Prerequisites;
    for (const JxFile& row : rows)
        AddPrerequisiteOverviewItem(row);
    if (!GetPropertyValue(u"_PrqOverviewItems").empty())
        SetProperty(u"_PrqShowOverview", u"true", 1);
    GetLog()->Log(LOG_END, kModule, context, u"");
}

void JxData::AddPrerequisiteOverviewItem(const JxFile& file) {
    if (!jxtext::EqualsNoCase(file.isprerequisite, u"true") ||
        !jxtext::EqualsNoCase(file.prqshowoverview, u"true"))
        return;
    if (file.prqoverviewmessage.empty() || !GetConditionResult(file.prqoverviewcondition))
        return;
    JxFeature feature;
    GetFeature(feature, file.featurename);
    const JxComponent component = GetComponentOfFeature(file.componentid, feature);
    // A component delivered as a package of its own is not installed as a prerequisite here.
    if (jxtext::EqualsNoCase(component.extractaswpk, u"true") || !GetConditionResult(component.condition))
        return;
    // The message stays unexpanded: the page expands it in its language.
    AppendPropertyValue(u"warning.svgz\t" + file.prqoverviewmessage, u"_PrqOverviewItems", u"\t");
}

} // namespace JxSetup::Data

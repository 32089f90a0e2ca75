// The sections of the setup definition and the records they fill. Each record field is read
// from the attribute of the same name; the tables below list the attributes of each kind of row.
#include "jxsetupdata/JxData.h"

#include <unordered_map>
#include <utility>

#include "jxbase/secretmask.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kContext = u"JxSetup::Data::JxData::LoadConfiguration";

template <class Record> struct CTextAttribute {
    const WCHAR* name;
    std::u16string Record::*field;
};

template <class Record> struct CFlagAttribute {
    const WCHAR* name;
    bool Record::*field;
};

// The attribute's name is the field's name, so the two cannot drift apart.
#define JX_TEXT(Record, field)                                                                               \
    CTextAttribute<Record> {                                                                                 \
        u"" #field, &Record::field                                                                           \
    }
#define JX_FLAG(Record, field)                                                                               \
    CFlagAttribute<Record> {                                                                                 \
        u"" #field, &Record::field                                                                           \
    }

// Flags of the definition are set by "true"; most ignore case, a few compare exactly.
bool IsTrueAnyCase(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

enum class CFlagCompare { AnyCase, Exact };

// Reads the attributes of one kind of row into its record. A row's attributes are visited once
// and each lands in the field of its name (asking for every field by name instead costs a walk
// over the row's attributes per field). Attributes without a field are ignored; fields without
// an attribute keep their empty text or false.
template <class Record> class CRowReader {
public:
    template <size_t NT, size_t NF>
    CRowReader(const CTextAttribute<Record> (&texts)[NT], const CFlagAttribute<Record> (&flags)[NF],
               CFlagCompare compare) {
        for (const CTextAttribute<Record>& text : texts)
            m_Texts.emplace(text.name, text.field);
        for (const CFlagAttribute<Record>& flag : flags)
            m_Flags.emplace(flag.name, std::make_pair(flag.field, compare));
    }
    template <size_t NT> explicit CRowReader(const CTextAttribute<Record> (&texts)[NT]) {
        for (const CTextAttribute<Record>& text : texts)
            m_Texts.emplace(text.name, text.field);
    }
    // Flags of the other comparison (a record whose flags differ in it).
    CRowReader& AddFlag(const WCHAR* name, bool Record::*field, CFlagCompare compare) {
        m_Flags.emplace(name, std::make_pair(field, compare));
        return *this;
    }

    // Target is the record or a record derived from it (JxFile from JxFileData).
    template <class Target> void Read(const CXMLDOMNode& row, Target& target) const {
        Record& record = target;
        const CXMLDOMNamedNodeMap attributes = row.GetAttributes();
        if (attributes.IsEmpty())
            return;
        const LONG count = attributes.GetLength();
        for (LONG index = 0; index < count; ++index) {
            const CXMLDOMNode attribute = attributes.GetItem(index);
            const std::u16string name = attribute.GetNodeName();
            if (auto text = m_Texts.find(name); text != m_Texts.end()) {
                record.*(text->second) = attribute.GetText();
            } else if (auto flag = m_Flags.find(name); flag != m_Flags.end()) {
                const std::u16string value = attribute.GetText();
                record.*(flag->second.first) =
                    flag->second.second == CFlagCompare::Exact ? value == u"true" : IsTrueAnyCase(value);
            }
        }
    }

private:
    // Keys view the names of the static tables below.
    std::unordered_map<std::u16string_view, std::u16string Record::*> m_Texts;
    std::unordered_map<std::u16string_view, std::pair<bool Record::*, CFlagCompare>> m_Flags;
};

// The rows of a section: its first child element of the row's name and the elements after it.
// Comments, text and processing instructions between rows are not rows.
template <class Visit> void ForEachRow(const CXMLDOMNode& section, const WCHAR* rowName, Visit&& visit) {
    if (section.IsEmpty())
        return;
    for (CXMLDOMNode row = section.GetFirstChildByName(rowName); !row.IsEmpty(); row = row.GetNextSibling()) {
        if (row.GetNodeType() == NODE_ELEMENT)
            visit(row);
    }
}

// The number of rows ForEachRow visits: lists of large records are sized once, not grown.
size_t CountRows(const CXMLDOMNode& section, const WCHAR* rowName) {
    size_t count = 0;
    ForEachRow(section, rowName, [&count](const CXMLDOMNode&) { ++count; });
    return count;
}

const CTextAttribute<JxProductInfo> kProductTexts[] = {
    JX_TEXT(JxProductInfo, productid),  JX_TEXT(JxProductInfo, productname),
    JX_TEXT(JxProductInfo, version),    JX_TEXT(JxProductInfo, DisplayIcon),
    JX_TEXT(JxProductInfo, languages),  JX_TEXT(JxProductInfo, exclusive),
    JX_TEXT(JxProductInfo, packagecode)};

const CTextAttribute<JxSetupSVCData> kSetupSvcTexts[] = {JX_TEXT(JxSetupSVCData, setupsvcdir),
                                                         JX_TEXT(JxSetupSVCData, setupsvcfile),
                                                         JX_TEXT(JxSetupSVCData, setupsvcname)};

const CTextAttribute<JxCondition> kConditionTexts[] = {JX_TEXT(JxCondition, condition),
                                                       JX_TEXT(JxCondition, text)};
const CFlagAttribute<JxCondition> kInstallConditionFlags[] = {JX_FLAG(JxCondition, showonupdate),
                                                              JX_FLAG(JxCondition, showinoverview)};
const CFlagAttribute<JxCondition> kRecommendationFlags[] = {
    JX_FLAG(JxCondition, optional), JX_FLAG(JxCondition, showonupdate), JX_FLAG(JxCondition, showinoverview)};

const CTextAttribute<JxSequenceEntry> kPropertyActionTexts[] = {
    JX_TEXT(JxSequenceEntry, modulename), JX_TEXT(JxSequenceEntry, functionname),
    JX_TEXT(JxSequenceEntry, argument), JX_TEXT(JxSequenceEntry, shutdownaction),
    JX_TEXT(JxSequenceEntry, startupaction)};
const CTextAttribute<JxSequenceEntry> kExecuteActionTexts[] = {
    JX_TEXT(JxSequenceEntry, name),         JX_TEXT(JxSequenceEntry, modulename),
    JX_TEXT(JxSequenceEntry, functionname), JX_TEXT(JxSequenceEntry, argument),
    JX_TEXT(JxSequenceEntry, condition),    JX_TEXT(JxSequenceEntry, componentid),
    JX_TEXT(JxSequenceEntry, featurename),  JX_TEXT(JxSequenceEntry, installmode),
    JX_TEXT(JxSequenceEntry, actiontext)};
const CFlagAttribute<JxSequenceEntry> kSequenceFlags[] = {JX_FLAG(JxSequenceEntry, enablefeature),
                                                          JX_FLAG(JxSequenceEntry, disablefeature)};

const CTextAttribute<JxFeature> kFeatureTexts[] = {JX_TEXT(JxFeature, name),
                                                   JX_TEXT(JxFeature, visible),
                                                   JX_TEXT(JxFeature, title),
                                                   JX_TEXT(JxFeature, description),
                                                   JX_TEXT(JxFeature, mode),
                                                   JX_TEXT(JxFeature, dependson),
                                                   JX_TEXT(JxFeature, icon),
                                                   JX_TEXT(JxFeature, sm_icon),
                                                   JX_TEXT(JxFeature, group),
                                                   JX_TEXT(JxFeature, producttype),
                                                   JX_TEXT(JxFeature, productgeneratoin),
                                                   JX_TEXT(JxFeature, rebootcondition),
                                                   JX_TEXT(JxFeature, invisiblecondition)};

const CTextAttribute<JxComponent> kComponentTexts[] = {JX_TEXT(JxComponent, id),
                                                       JX_TEXT(JxComponent, destinationdir),
                                                       JX_TEXT(JxComponent, condition),
                                                       JX_TEXT(JxComponent, installmode),
                                                       JX_TEXT(JxComponent, sxssharecountername),
                                                       JX_TEXT(JxComponent, excludefromupdate),
                                                       JX_TEXT(JxComponent, installifexist),
                                                       JX_TEXT(JxComponent, featurecheck),
                                                       JX_TEXT(JxComponent, issignature),
                                                       JX_TEXT(JxComponent, iscustomization),
                                                       JX_TEXT(JxComponent, mvexaltdir),
                                                       JX_TEXT(JxComponent, upgradeonproductlevel),
                                                       JX_TEXT(JxComponent, updateiffeatureinstalled),
                                                       JX_TEXT(JxComponent, allowcomponentoutsourcing),
                                                       JX_TEXT(JxComponent, componentoutsourcinglocation),
                                                       JX_TEXT(JxComponent, dontstoreindatawpk),
                                                       JX_TEXT(JxComponent, extractaswpk),
                                                       JX_TEXT(JxComponent, extractsupportfile)};

// The prerequisite attributes, shared by SetupFile and Prerequisite rows.
#define JX_PRQ_TEXTS                                                                                         \
    JX_TEXT(JxFileData, prqrebootcode), JX_TEXT(JxFileData, prqtimeout), JX_TEXT(JxFileData, prqactiontext), \
        JX_TEXT(JxFileData, prqrequiresreboot), JX_TEXT(JxFileData, prq64bit), JX_TEXT(JxFileData, prqcmd),  \
        JX_TEXT(JxFileData, prqcancelonfail), JX_TEXT(JxFileData, prqerrorcode),                             \
        JX_TEXT(JxFileData, prqerrormessage), JX_TEXT(JxFileData, prqshowoverview),                          \
        JX_TEXT(JxFileData, prqoverviewcondition), JX_TEXT(JxFileData, prqoverviewmessage)

const CTextAttribute<JxFileData> kSetupFileTexts[] = {JX_TEXT(JxFileData, name),
                                                      JX_TEXT(JxFileData, featurename),
                                                      JX_TEXT(JxFileData, componentid),
                                                      JX_TEXT(JxFileData, resource),
                                                      JX_TEXT(JxFileData, copymode),
                                                      JX_TEXT(JxFileData, sha),
                                                      JX_TEXT(JxFileData, size),
                                                      JX_TEXT(JxFileData, start),
                                                      JX_TEXT(JxFileData, startcondition),
                                                      JX_TEXT(JxFileData, installallcontainedlanguages),
                                                      JX_TEXT(JxFileData, stopprocess),
                                                      JX_TEXT(JxFileData, stopprocessdescriptor),
                                                      JX_TEXT(JxFileData, isprerequisite),
                                                      JX_TEXT(JxFileData, prerequisitearg),
                                                      JX_TEXT(JxFileData, isstopable),
                                                      JX_TEXT(JxFileData, targetdir),
                                                      JX_TEXT(JxFileData, condition),
                                                      JX_TEXT(JxFileData, scfile),
                                                      JX_TEXT(JxFileData, scname),
                                                      JX_TEXT(JxFileData, sctarget),
                                                      JX_TEXT(JxFileData, scdescription),
                                                      JX_TEXT(JxFileData, sciconpath),
                                                      JX_TEXT(JxFileData, sciconindex),
                                                      JX_TEXT(JxFileData, appid),
                                                      JX_TEXT(JxFileData, featurecheck),
                                                      JX_TEXT(JxFileData, altmvexpath),
                                                      JX_TEXT(JxFileData, is64bit),
                                                      JX_PRQ_TEXTS,
                                                      JX_TEXT(JxFileData, checkremotewarning),
                                                      JX_TEXT(JxFileData, remotewarningcondition),
                                                      JX_TEXT(JxFileData, remotewarningcomponent),
                                                      JX_TEXT(JxFileData, ignorerebootrequest),
                                                      JX_TEXT(JxFileData, forcerebootrequest),
                                                      JX_TEXT(JxFileData, renameiflocked),
                                                      JX_TEXT(JxFileData, renameexistentfile),
                                                      JX_TEXT(JxFileData, renameexistentfileto),
                                                      JX_TEXT(JxFileData, reconfigxml),
                                                      JX_TEXT(JxFileData, reconfigxmlcondition),
                                                      JX_TEXT(JxFileData, syssearchfile),
                                                      JX_TEXT(JxFileData, syssearchfound),
                                                      JX_TEXT(JxFileData, syssearchversion)};

const CTextAttribute<JxFileData> kPrerequisiteTexts[] = {JX_TEXT(JxFileData, name),
                                                         JX_TEXT(JxFileData, featurename),
                                                         JX_TEXT(JxFileData, componentid),
                                                         JX_TEXT(JxFileData, isprerequisite),
                                                         JX_TEXT(JxFileData, prerequisitearg),
                                                         JX_PRQ_TEXTS};

const CTextAttribute<JxRegValue> kRegValueTexts[] = {JX_TEXT(JxRegValue, featurename),
                                                     JX_TEXT(JxRegValue, componentid),
                                                     JX_TEXT(JxRegValue, root),
                                                     JX_TEXT(JxRegValue, key),
                                                     JX_TEXT(JxRegValue, valuename),
                                                     JX_TEXT(JxRegValue, type),
                                                     JX_TEXT(JxRegValue, value),
                                                     JX_TEXT(JxRegValue, mode),
                                                     JX_TEXT(JxRegValue, plattform),
                                                     JX_TEXT(JxRegValue, increment),
                                                     JX_TEXT(JxRegValue, setproperty),
                                                     JX_TEXT(JxRegValue, installcondition),
                                                     JX_TEXT(JxRegValue, deinstallcondition),
                                                     JX_TEXT(JxRegValue, featurecheck),
                                                     JX_TEXT(JxRegValue, deleteonupdate),
                                                     JX_TEXT(JxRegValue, restore),
                                                     JX_TEXT(JxRegValue, overwriteonupdate),
                                                     JX_TEXT(JxRegValue, overwriteonupgrade)};
const CFlagAttribute<JxRegValue> kRegValueFlags[] = {JX_FLAG(JxRegValue, enablefeature),
                                                     JX_FLAG(JxRegValue, disablefeature)};

const CTextAttribute<JxSelfRegFile> kSelfRegTexts[] = {
    JX_TEXT(JxSelfRegFile, featurename), JX_TEXT(JxSelfRegFile, componentid),
    JX_TEXT(JxSelfRegFile, plattform), JX_TEXT(JxSelfRegFile, file), JX_TEXT(JxSelfRegFile, unregonupdate)};
const CTextAttribute<JxSelfRegFile> kSelfUnregTexts[] = {
    JX_TEXT(JxSelfRegFile, featurename), JX_TEXT(JxSelfRegFile, componentid),
    JX_TEXT(JxSelfRegFile, plattform), JX_TEXT(JxSelfRegFile, file)};
const CFlagAttribute<JxSelfRegFile> kSelfRegFlags[] = {JX_FLAG(JxSelfRegFile, enablefeature),
                                                       JX_FLAG(JxSelfRegFile, disablefeature)};

const CTextAttribute<JxService> kServiceTexts[] = {JX_TEXT(JxService, name),
                                                   JX_TEXT(JxService, featurename),
                                                   JX_TEXT(JxService, componentid),
                                                   JX_TEXT(JxService, argument),
                                                   JX_TEXT(JxService, start),
                                                   JX_TEXT(JxService, file),
                                                   JX_TEXT(JxService, starttype),
                                                   JX_TEXT(JxService, deleteserviceonupdate),
                                                   JX_TEXT(JxService, shutdownoption),
                                                   JX_TEXT(JxService, shutdownmodule),
                                                   JX_TEXT(JxService, shutdownfunction),
                                                   JX_TEXT(JxService, shutdownparam)};
const CFlagAttribute<JxService> kServiceFlags[] = {JX_FLAG(JxService, enablefeature),
                                                   JX_FLAG(JxService, disablefeature)};

const CTextAttribute<JxApplication> kApplicationTexts[] = {JX_TEXT(JxApplication, featurename),
                                                           JX_TEXT(JxApplication, componentid),
                                                           JX_TEXT(JxApplication, path),
                                                           JX_TEXT(JxApplication, argument),
                                                           JX_TEXT(JxApplication, wait),
                                                           JX_TEXT(JxApplication, hidden),
                                                           JX_TEXT(JxApplication, ignorereturncode),
                                                           JX_TEXT(JxApplication, successcode),
                                                           JX_TEXT(JxApplication, useshellexecute),
                                                           JX_TEXT(JxApplication, plattform),
                                                           JX_TEXT(JxApplication, condition),
                                                           JX_TEXT(JxApplication, execfromwrap),
                                                           JX_TEXT(JxApplication, timeout),
                                                           JX_TEXT(JxApplication, rebootcode),
                                                           JX_TEXT(JxApplication, execonlyifcopied)};
const CFlagAttribute<JxApplication> kApplicationFlags[] = {JX_FLAG(JxApplication, enablefeature),
                                                           JX_FLAG(JxApplication, disablefeature)};

// One reader per kind of row.
const CRowReader<JxProductInfo> kProductReader(kProductTexts);
const CRowReader<JxSetupSVCData> kSetupSvcReader(kSetupSvcTexts);
const CRowReader<JxCondition> kInstallConditionReader(kConditionTexts, kInstallConditionFlags,
                                                      CFlagCompare::Exact);
const CRowReader<JxCondition> kRecommendationReader(kConditionTexts, kRecommendationFlags,
                                                    CFlagCompare::Exact);
const CRowReader<JxSequenceEntry> kPropertyActionReader(kPropertyActionTexts, kSequenceFlags,
                                                        CFlagCompare::AnyCase);
const CRowReader<JxSequenceEntry> kExecuteActionReader(kExecuteActionTexts, kSequenceFlags,
                                                       CFlagCompare::AnyCase);
const CRowReader<JxFeature> kFeatureReader =
    CRowReader<JxFeature>(kFeatureTexts)
        .AddFlag(u"activatable", &JxFeature::m_Activatable, CFlagCompare::AnyCase);
const CRowReader<JxComponent> kComponentReader(kComponentTexts);
const CRowReader<JxFileData> kSetupFileReader(kSetupFileTexts);
const CRowReader<JxFileData> kPrerequisiteReader(kPrerequisiteTexts);
const CRowReader<JxRegValue> kRegValueReader(kRegValueTexts, kRegValueFlags, CFlagCompare::AnyCase);
const CRowReader<JxSelfRegFile> kSelfRegReader(kSelfRegTexts, kSelfRegFlags, CFlagCompare::AnyCase);
const CRowReader<JxSelfRegFile> kSelfUnregReader(kSelfUnregTexts, kSelfRegFlags, CFlagCompare::AnyCase);
const CRowReader<JxService> kRegisterServiceReader =
    CRowReader<JxService>(kServiceTexts, kServiceFlags, CFlagCompare::AnyCase)
        .AddFlag(u"startservicewithconfigsettings", &JxService::startservicewithconfigsettings,
                 CFlagCompare::AnyCase);
const CRowReader<JxService> kUnregisterServiceReader(kServiceTexts, kServiceFlags, CFlagCompare::AnyCase);
const CRowReader<JxApplication> kApplicationReader(kApplicationTexts, kApplicationFlags,
                                                   CFlagCompare::AnyCase);

} // namespace

void JxData::_load_Product() {
    kProductReader.Read(m_ConfigRoot, m_ProductInfo);
    GetLog()->Log(HP_INFO, kModule, kContext, u"Product version %s", m_ProductInfo.version.c_str());
    SetProperty(u"_PRODUCTID", m_ProductInfo.productid, 1);
    SetProperty(u"_PRODUCTVERSION", m_ProductInfo.version, 1);
    SetProperty(u"Languages", m_ProductInfo.languages, 1);

    const CXMLDOMNode setupSvc = m_ConfigRoot.GetFirstChildByName(u"SetupSVC");
    if (!setupSvc.IsEmpty())
        kSetupSvcReader.Read(setupSvc, m_SetupSvc);
}

void JxData::_load_Conditions() {
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"InstallConditions"), u"InstallCondition",
               [this](const CXMLDOMNode& row) {
                   JxCondition condition;
                   kInstallConditionReader.Read(row, condition);
                   m_InstallConditions.push_back(std::move(condition));
               });
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"SystemRecommendations"), u"SystemRecommendation",
               [this](const CXMLDOMNode& row) {
                   JxCondition condition;
                   kRecommendationReader.Read(row, condition);
                   m_SystemRecommendations.push_back(std::move(condition));
               });
}

void JxData::_load_Sequences() {
    const CXMLDOMNode sequences = m_ConfigRoot.GetFirstChildByName(u"SetupSequences");
    if (sequences.IsEmpty())
        return;
    JxLog* log = GetLog();
    ForEachRow(sequences.GetFirstChildByName(u"SetPropertiesSequence"), u"PropertyAction",
               [this](const CXMLDOMNode& row) {
                   JxSequenceEntry entry;
                   entry.name = u"CustomAction";
                   kPropertyActionReader.Read(row, entry);
                   m_PropertyActions.push_back(std::move(entry));
               });

    const CXMLDOMNode uiSequence = sequences.GetFirstChildByName(u"UISequence");
    if (!uiSequence.IsEmpty()) {
        log->Log(LP_INFO, kModule, kContext, u"==> procesing ui sequence.");
        if (!m_UiSequencer.ProcessXml(this, uiSequence))
            log->Log(LP_ERROR, kModule, kContext, u"Error processing UiSequences.");
        log->Log(LP_INFO, kModule, kContext, u"<== procesing ui sequence.");
    } else {
        log->Log(
            LP_WARNING, kModule, kContext,
            u"WARNING: No ui seqeunce definition found. Setup will quit prematurely, when using GUI based "
            u"installation. If running unattended (quiet) installation, this warning can be ignored.");
    }

    ForEachRow(sequences.GetFirstChildByName(u"ExecutingSequence"), u"ExecuteAction",
               [this](const CXMLDOMNode& row) {
                   JxSequenceEntry entry;
                   kExecuteActionReader.Read(row, entry);
                   m_ExecuteActions.push_back(std::move(entry));
               });
}

void JxData::_load_Features() {
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"SetupFeatures"), u"SetupFeature",
               [this](const CXMLDOMNode& row) {
                   JxFeature feature;
                   kFeatureReader.Read(row, feature);
                   ForEachRow(row.GetFirstChildByName(u"SetupComponents"), u"SetupComponent",
                              [this, &feature](const CXMLDOMNode& componentRow) {
                                  JxComponent component;
                                  kComponentReader.Read(componentRow, component);
                                  m_Components[component.id] = component;
                                  feature.components.push_back(std::move(component));
                              });
                   m_Features.push_back(std::move(feature));
               });
}

void JxData::_load_Properties() {
    JxLog* log = GetLog();
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"SetupProperties"), u"SetupProperty",
               [this, log](const CXMLDOMNode& row) {
                   const std::u16string name = row.GetAttribute(u"name");
                   const std::u16string localizable = row.GetAttribute(u"localizable");
                   const std::u16string value = row.GetAttribute(u"value");
                   // The default of a protected property is still in clear here: never log it.
                   const bool masked = IsProtectedPropertyName(name) && !value.empty();
                   log->LogProperty(name.c_str(), masked ? kMaskedSecret : value.c_str(), localizable.c_str(),
                                    u"false", u"false");
                   SetProperty(name, value, 1);
               });
}

void JxData::_load_Strings() {
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"SetupStrings"), u"SetupString",
               [this](const CXMLDOMNode& row) {
                   m_Properties.AddText(row.GetAttribute(u"name"), row.GetAttribute(u"value"),
                                        row.GetAttribute(u"languagecode"));
               });
}

void JxData::_load_Files() {
    const CXMLDOMNode files = m_ConfigRoot.GetFirstChildByName(u"SetupFiles");
    const size_t count = CountRows(files, u"SetupFile");
    m_Files.reserve(count);
    m_SetupFiles.reserve(count);
    ForEachRow(files, u"SetupFile", [this](const CXMLDOMNode& row) {
        // Read in place: a record is large, and each list needs its own copy anyway.
        kSetupFileReader.Read(row, m_Files.emplace_back());
        m_SetupFiles.push_back(m_Files.back());
    });
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"PrerequisiteSequence"), u"Prerequisite",
               [this](const CXMLDOMNode& row) {
                   JxFile file;
                   kPrerequisiteReader.Read(row, file);
                   m_Prerequisites.push_back(std::move(file));
               });
}

void JxData::_load_Registry() {
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"SetupRegistry"), u"SetupRegValue",
               [this](const CXMLDOMNode& row) {
                   JxRegValue value; // the fields of searched and restored values start empty and 0
                   kRegValueReader.Read(row, value);
                   // A row that cannot be carried out as written is refused here, for every list.
                   const bool written =
                       value.mode.find(u'i') != std::u16string::npos || IsTrueAnyCase(value.restore);
                   const std::u16string fault = GetRegistryRowFault(value, written);
                   if (!fault.empty()) {
                       GetLog()->Log(LP_WARNING, kModule, kContext, u"Registry row %s is refused: %s.",
                                     DescribeRegistryRow(value).c_str(), fault.c_str());
                       return;
                   }
                   // The mode letters are compared exactly; the three markers ignore case.
                   if (value.mode.find(u'i') != std::u16string::npos)
                       m_RegValuesInstall.push_back(value);
                   if (value.mode.find(u'u') != std::u16string::npos)
                       m_RegValuesUninstall.push_back(value);
                   if (!value.setproperty.empty())
                       m_RegValuesSetProperty.push_back(value);
                   if (IsTrueAnyCase(value.featurecheck))
                       m_RegValuesFeatureCheck.push_back(value);
                   if (IsTrueAnyCase(value.deleteonupdate))
                       m_RegValuesDeleteOnUpdate.push_back(value);
                   if (IsTrueAnyCase(value.restore))
                       m_RegValuesRestore.push_back(value);
               });
}

void JxData::_load_SelfRegFiles() {
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"SetupSelfRegisterFiles"), u"SetupSelfRegisterFile",
               [this](const CXMLDOMNode& row) {
                   JxSelfRegFile file;
                   kSelfRegReader.Read(row, file);
                   m_SelfRegFiles.push_back(std::move(file));
               });
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"SetupSelfUnRegisterFiles"), u"SetupSelfUnRegisterFile",
               [this](const CXMLDOMNode& row) {
                   JxSelfRegFile file;
                   kSelfUnregReader.Read(row, file);
                   m_SelfUnregFiles.push_back(std::move(file));
               });
}

void JxData::_load_Services() {
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"SetupRegisterServices"), u"SetupRegisterService",
               [this](const CXMLDOMNode& row) {
                   JxService service;
                   kRegisterServiceReader.Read(row, service);
                   // Also keeps the service's current start type for the product when none is kept yet.
                   service.m_StoredStartType = static_cast<int32_t>(GetStoredServiceStartType(service.name));
                   m_InstallServices.push_back(std::move(service));
               });
    ForEachRow(m_ConfigRoot.GetFirstChildByName(u"SetupUnRegisterServices"), u"SetupUnRegisterService",
               [this](const CXMLDOMNode& row) {
                   JxService service;
                   kUnregisterServiceReader.Read(row, service);
                   m_UninstallServices.push_back(std::move(service));
               });
}

void JxData::_load_Applications() {
    struct CAppSection {
        const WCHAR* section;
        const WCHAR* row;
        std::vector<JxApplication>* list;
    };
    const CAppSection sections[] = {
        {u"SetupInstallExecuteApplications", u"SetupInstallExecuteApplication", &m_InstallApps},
        {u"SetupUnInstallExecuteApplications", u"SetupUnInstallExecuteApplication", &m_UninstallApps},
        {u"LaunchAtEndOfSetupApps", u"LaunchAtEndOfSetupApp", &m_LaunchAtEndApps},
        {u"LaunchAtEndOfSetupAppFinishDialogs", u"LaunchAtEndOfSetupAppFinishDialog", &m_FinishDialogApps}};
    for (const CAppSection& section : sections) {
        ForEachRow(m_ConfigRoot.GetFirstChildByName(section.section), section.row,
                   [&section](const CXMLDOMNode& row) {
                       JxApplication application;
                       kApplicationReader.Read(row, application);
                       section.list->push_back(std::move(application));
                   });
    }
}

} // namespace JxSetup::Data

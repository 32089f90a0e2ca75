// A setup definition with every section loads from the application folder into the records, the
// properties and the texts of the data object.
#include <gtest/gtest.h>

#include "loader_support.h"

using namespace JxSetup::Data;
using jxloadertest::LoaderTest;

namespace {

class LoaderDefinition : public LoaderTest {
protected:
    void SetUp() override {
        jxloadertest::WriteDefinition(jxloadertest::ReadFixture("setup_full.jxsetup"));
        ASSERT_TRUE(m_Data.LoadConfiguration()) << m_Log.Dump();
    }
};

// Every attribute of a SetupFile row lands in the field of its name; a Prerequisite row reads
// only its own subset, whatever else the element carries.
struct FileField {
    const char* attribute;
    std::u16string JxFileData::*field;
    bool prerequisite;
};

#define JX_FILE_FIELD(field, prerequisite)                                                                   \
    FileField {                                                                                              \
#field, &JxFileData::field, prerequisite                                                             \
    }

const FileField kFileFields[] = {
    JX_FILE_FIELD(name, true),
    JX_FILE_FIELD(featurename, true),
    JX_FILE_FIELD(componentid, true),
    JX_FILE_FIELD(resource, false),
    JX_FILE_FIELD(copymode, false),
    JX_FILE_FIELD(is64bit, false),
    JX_FILE_FIELD(featurecheck, false),
    JX_FILE_FIELD(altmvexpath, false),
    JX_FILE_FIELD(sha, false),
    JX_FILE_FIELD(size, false),
    JX_FILE_FIELD(start, false),
    JX_FILE_FIELD(startcondition, false),
    JX_FILE_FIELD(installallcontainedlanguages, false),
    JX_FILE_FIELD(ignorerebootrequest, false),
    JX_FILE_FIELD(forcerebootrequest, false),
    JX_FILE_FIELD(renameiflocked, false),
    JX_FILE_FIELD(renameexistentfile, false),
    JX_FILE_FIELD(renameexistentfileto, false),
    JX_FILE_FIELD(isstopable, false),
    JX_FILE_FIELD(stopprocess, false),
    JX_FILE_FIELD(stopprocessdescriptor, false),
    JX_FILE_FIELD(isprerequisite, true),
    JX_FILE_FIELD(prerequisitearg, true),
    JX_FILE_FIELD(prqrebootcode, true),
    JX_FILE_FIELD(prqtimeout, true),
    JX_FILE_FIELD(prqactiontext, true),
    JX_FILE_FIELD(prqrequiresreboot, true),
    JX_FILE_FIELD(prq64bit, true),
    JX_FILE_FIELD(prqcmd, true),
    JX_FILE_FIELD(prqcancelonfail, true),
    JX_FILE_FIELD(prqerrorcode, true),
    JX_FILE_FIELD(prqerrormessage, true),
    JX_FILE_FIELD(prqshowoverview, true),
    JX_FILE_FIELD(prqoverviewcondition, true),
    JX_FILE_FIELD(prqoverviewmessage, true),
    JX_FILE_FIELD(checkremotewarning, false),
    JX_FILE_FIELD(remotewarningcondition, false),
    JX_FILE_FIELD(remotewarningcomponent, false),
    JX_FILE_FIELD(targetdir, false),
    JX_FILE_FIELD(condition, false),
    JX_FILE_FIELD(scfile, false),
    JX_FILE_FIELD(scname, false),
    JX_FILE_FIELD(sctarget, false),
    JX_FILE_FIELD(scdescription, false),
    JX_FILE_FIELD(sciconpath, false),
    JX_FILE_FIELD(sciconindex, false),
    JX_FILE_FIELD(appid, false),
    JX_FILE_FIELD(syssearchfile, false),
    JX_FILE_FIELD(syssearchfound, false),
    JX_FILE_FIELD(syssearchversion, false),
    JX_FILE_FIELD(reconfigxml, false),
    JX_FILE_FIELD(reconfigxmlcondition, false),
};

TEST_F(LoaderDefinition, FileRowsFillTheFieldsOfTheirAttributes) {
    ASSERT_EQ(m_Data.m_Files.size(), 2u);
    ASSERT_EQ(m_Data.m_Prerequisites.size(), 1u);
    const JxFile& file = m_Data.m_Files[0];
    const JxFile& prerequisite = m_Data.m_Prerequisites[0];
    for (const FileField& field : kFileFields) {
        const std::u16string expected = jxtext::W(std::string("f-") + field.attribute);
        EXPECT_EQ(jxtext::N(file.*field.field), jxtext::N(expected)) << field.attribute;
        EXPECT_EQ(jxtext::N(prerequisite.*field.field), field.prerequisite ? jxtext::N(expected) : "")
            << "prerequisite " << field.attribute;
    }
    // Metadata fields are never read from the definition.
    EXPECT_EQ(file.version, u"");
    EXPECT_EQ(file.lastwritetime, u"");
    EXPECT_EQ(file.language, u"");
    // Both file lists hold the same rows in the same order.
    ASSERT_EQ(m_Data.m_SetupFiles.size(), 2u);
    EXPECT_EQ(m_Data.m_SetupFiles[0].reconfigxmlcondition, u"f-reconfigxmlcondition");
    EXPECT_EQ(m_Data.m_SetupFiles[1].name, u"readme.txt");
    EXPECT_EQ(m_Data.m_Files[1].sha, u"") << "a missing attribute reads as empty text";
}

TEST_F(LoaderDefinition, ProductSetupServiceAndProductProperties) {
    const JxProductInfo& product = m_Data.m_ProductInfo;
    EXPECT_EQ(product.productid, u"{6F1C2A34-0B7D-4E8A-9C21-5D3E7F0A1B2C}");
    EXPECT_EQ(product.productname, u"Brellwick Suite");
    EXPECT_EQ(product.version, u"5.2.0.118");
    EXPECT_EQ(product.DisplayIcon, u"[INSTALLDIR]app.exe,0") << "texts stay unexpanded";
    EXPECT_EQ(product.languages, u"1033;1031");
    EXPECT_EQ(product.exclusive, u"true");
    EXPECT_EQ(product.packagecode, u"PKG-0815");
    EXPECT_EQ(std::u16string(m_Data.GetProductId()), product.productid);
    EXPECT_EQ(m_Data.GetPropertyValue(u"_PRODUCTID"), product.productid);
    EXPECT_EQ(m_Data.GetPropertyValue(u"_PRODUCTVERSION"), u"5.2.0.118");
    EXPECT_EQ(m_Data.GetPropertyValue(u"Languages"), u"1033;1031");
    EXPECT_TRUE(m_Log.Has("HP_INFO", "Product version 5.2.0.118"));

    EXPECT_EQ(m_Data.m_SetupSvc.setupsvcdir, u"[CommonAppDataFolder]Tolvane\\SetupSVC");
    EXPECT_EQ(m_Data.m_SetupSvc.setupsvcfile, u"SetupSVC.exe");
    EXPECT_EQ(m_Data.m_SetupSvc.setupsvcname, u"JxSetupSvc");
    EXPECT_TRUE(m_Data.m_SetupSvc.IsComplete());
    // The whole text stays with the object, and its root element.
    EXPECT_NE(m_Data.GetConfigurationXml().find(u"<SetupSVC"), std::u16string::npos);
    EXPECT_EQ(m_Data.GetConfigurationRootElement().GetNodeName(), u"Setup");
}

TEST_F(LoaderDefinition, ConditionsReadTheFirstSectionAndCompareTheirFlagsExactly) {
    ASSERT_EQ(m_Data.m_InstallConditions.size(), 2u)
        << "the comment is no row; the second section is not read";
    const JxCondition& os = m_Data.m_InstallConditions[0];
    EXPECT_EQ(os.condition, u"VersionNT >= 601");
    EXPECT_EQ(os.text, u"@MSG_OS");
    EXPECT_TRUE(os.showonupdate);
    EXPECT_FALSE(os.showinoverview) << "\"TRUE\" is not \"true\"";
    EXPECT_FALSE(os.optional) << "install conditions do not read optional";
    EXPECT_FALSE(m_Data.m_InstallConditions[1].showonupdate) << "\"True\" is not \"true\"";

    ASSERT_EQ(m_Data.m_SystemRecommendations.size(), 1u);
    const JxCondition& memory = m_Data.m_SystemRecommendations[0];
    EXPECT_EQ(memory.condition, u"PhysicalMemory > 2048");
    EXPECT_TRUE(memory.optional);
    EXPECT_FALSE(memory.showonupdate);
    EXPECT_TRUE(memory.showinoverview);
}

TEST_F(LoaderDefinition, SequencesAndThePageSequence) {
    ASSERT_EQ(m_Data.m_PropertyActions.size(), 1u);
    const JxSequenceEntry& property = m_Data.m_PropertyActions[0];
    EXPECT_EQ(property.name, u"CustomAction");
    EXPECT_EQ(property.modulename, u"addon.dll");
    EXPECT_EQ(property.functionname, u"Compute");
    EXPECT_EQ(property.argument, u"/x");
    EXPECT_EQ(property.condition, u"") << "property actions have no condition";
    EXPECT_EQ(property.shutdownaction, u"stop");
    EXPECT_EQ(property.startupaction, u"start");
    EXPECT_TRUE(property.enablefeature);
    EXPECT_FALSE(property.disablefeature);

    ASSERT_EQ(m_Data.m_ExecuteActions.size(), 2u);
    EXPECT_EQ(m_Data.m_ExecuteActions[0].name, u"CopyFiles");
    EXPECT_EQ(m_Data.m_ExecuteActions[0].actiontext, u"[ACT_COPY]");
    const JxSequenceEntry& custom = m_Data.m_ExecuteActions[1];
    EXPECT_EQ(custom.name, u"CustomAction");
    EXPECT_EQ(custom.modulename, u"ca.dll");
    EXPECT_EQ(custom.functionname, u"Run");
    EXPECT_EQ(custom.argument, u"a");
    EXPECT_EQ(custom.condition, u"NOT Quiet");
    EXPECT_EQ(custom.componentid, u"{C1}");
    EXPECT_EQ(custom.featurename, u"Core");
    EXPECT_EQ(custom.installmode, u"Install");
    EXPECT_EQ(custom.actiontext, u"t");
    EXPECT_EQ(custom.shutdownaction, u"") << "execute actions leave the property-action fields empty";
    EXPECT_TRUE(custom.enablefeature);
    EXPECT_TRUE(custom.disablefeature);

    // The fixture's page sequence has neither sequences nor stages: the sequencer refuses it and
    // the load goes on (a quiet run needs no pages).
    EXPECT_TRUE(m_Log.Has("LP_INFO", "==> procesing ui sequence."));
    EXPECT_TRUE(m_Log.Has("ERROR", "Error processing UiSequences."));
    EXPECT_FALSE(m_Data.GetUiSequencer()->IsOk());
    EXPECT_FALSE(m_Log.Has("WARNING", "No ui seqeunce definition found"));
}

TEST_F(LoaderDefinition, FeaturesWithTheirComponents) {
    ASSERT_EQ(m_Data.m_Features.size(), 2u);
    const JxFeature& core = m_Data.m_Features[0];
    EXPECT_EQ(core.name, u"Core");
    EXPECT_EQ(core.visible, u"true");
    EXPECT_EQ(core.title, u"@FEAT_CORE");
    EXPECT_EQ(core.description, u"The core");
    EXPECT_EQ(core.mode, u"force");
    EXPECT_EQ(core.icon, u"core.ico");
    EXPECT_EQ(core.sm_icon, u"core_s.ico");
    EXPECT_EQ(core.group, u"base");
    EXPECT_EQ(core.producttype, u"Business");
    EXPECT_EQ(core.productgeneratoin, u"7");
    EXPECT_EQ(core.rebootcondition, u"RebootNeeded");
    EXPECT_EQ(core.invisiblecondition, u"Hidden");
    EXPECT_TRUE(core.m_Activatable) << "activatable ignores case";
    EXPECT_FALSE(m_Data.m_Features[1].m_Activatable) << "only \"true\" counts";
    EXPECT_EQ(m_Data.m_Features[1].dependson, u"Core");

    ASSERT_EQ(core.components.size(), 2u);
    const JxComponent& c1 = core.components[0];
    const std::u16string JxComponent::*texts[] = {&JxComponent::condition,
                                                  &JxComponent::sxssharecountername,
                                                  &JxComponent::excludefromupdate,
                                                  &JxComponent::installifexist,
                                                  &JxComponent::featurecheck,
                                                  &JxComponent::issignature,
                                                  &JxComponent::iscustomization,
                                                  &JxComponent::mvexaltdir,
                                                  &JxComponent::upgradeonproductlevel,
                                                  &JxComponent::updateiffeatureinstalled,
                                                  &JxComponent::allowcomponentoutsourcing,
                                                  &JxComponent::componentoutsourcinglocation,
                                                  &JxComponent::dontstoreindatawpk,
                                                  &JxComponent::extractaswpk,
                                                  &JxComponent::extractsupportfile};
    const char16_t* expected[] = {u"c-cond",  u"c-sxs",      u"c-exclude",   u"c-ifexist", u"c-fcheck",
                                  u"c-sig",   u"c-custom",   u"c-alt",       u"c-level",   u"c-update",
                                  u"c-allow", u"c-location", u"c-dontstore", u"c-wpk",     u"c-support"};
    for (size_t i = 0; i < std::size(texts); ++i)
        EXPECT_EQ(c1.*texts[i], expected[i]) << jxtext::N(expected[i]);
    EXPECT_EQ(c1.id, u"{C1}");
    EXPECT_EQ(c1.destinationdir, u"[INSTALLDIR]");
    EXPECT_EQ(c1.installmode, u"shared");
    EXPECT_FALSE(c1.forced);

    // The component map keeps the later row of an id that two features use.
    ASSERT_EQ(m_Data.m_Components.size(), 2u);
    EXPECT_EQ(m_Data.m_Components.at(u"{C2}").destinationdir, u"[INSTALLDIR]second");
    EXPECT_EQ(core.components[1].destinationdir, u"[INSTALLDIR]first") << "the feature keeps its own row";
    EXPECT_EQ(m_Data.GetComponent(u"{C2}").destinationdir, u"[INSTALLDIR]second");
    EXPECT_EQ(m_Data.GetComponentOfFeature(u"{C2}", core).destinationdir, u"[INSTALLDIR]first");
}

TEST_F(LoaderDefinition, PropertiesAndLocalisedTexts) {
    EXPECT_EQ(m_Data.GetPropertyValue(u"INSTALLDIR"), u"C:\\Program Files (x86)\\Tolvane\\Brellwick\\");
    EXPECT_EQ(m_Data.GetPropertyValue(u"__ServerPassword"), u"s3cr3t-default");
    const JxPropertyMap all = m_Data.GetAllProperties();
    ASSERT_TRUE(all.count(u"__ServerPassword"));
    EXPECT_NE(all.at(u"__ServerPassword"), u"s3cr3t-default") << "a protected default is kept scrambled";
    EXPECT_EQ(m_Data.GetPropertyValue(u"LockedValue"), u"fixed");
    EXPECT_TRUE(m_Data.IsPropertyLocked(u"LockedValue"));
    EXPECT_FALSE(m_Data.SetProperty(u"LockedValue", u"other", 1));
    EXPECT_EQ(m_Data.ExpandPropertiesForLanguage(u"[MSG_WELCOME]", u"1031"), u"Willkommen");
    EXPECT_EQ(m_Data.ExpandPropertiesForLanguage(u"[MSG_WELCOME]", u"1033"), u"Welcome");
}

TEST_F(LoaderDefinition, RegistryRowsGoToEveryListWhoseTestTheyPass) {
    auto keys = [](const std::vector<JxRegValue>& list) {
        std::vector<std::u16string> out;
        for (const JxRegValue& value : list)
            out.push_back(value.key);
        return out;
    };
    using Keys = std::vector<std::u16string>;
    EXPECT_EQ(keys(m_Data.m_RegValuesInstall), (Keys{u"Software\\Tolvane", u"OnlyInstall"}));
    EXPECT_EQ(keys(m_Data.m_RegValuesUninstall), (Keys{u"Software\\Tolvane", u"OnlyUninstall"}));
    EXPECT_EQ(keys(m_Data.m_RegValuesSetProperty), (Keys{u"Software\\Tolvane"}));
    EXPECT_EQ(keys(m_Data.m_RegValuesFeatureCheck), (Keys{u"Software\\Tolvane"}));
    EXPECT_EQ(keys(m_Data.m_RegValuesDeleteOnUpdate), (Keys{u"Software\\Tolvane"}));
    EXPECT_EQ(keys(m_Data.m_RegValuesRestore), (Keys{u"Software\\Tolvane", u"UpperCaseMode"}));

    const JxRegValue& path = m_Data.m_RegValuesInstall[0];
    EXPECT_EQ(path.featurename, u"Core");
    EXPECT_EQ(path.componentid, u"{C1}");
    EXPECT_EQ(path.root, u"HKLM");
    EXPECT_EQ(path.valuename, u"Path");
    EXPECT_EQ(path.type, u"REG_SZ");
    EXPECT_EQ(path.value, u"[INSTALLDIR]");
    EXPECT_EQ(path.mode, u"iu");
    EXPECT_EQ(path.plattform, u"x86;x64");
    EXPECT_EQ(path.increment, u"r-inc");
    EXPECT_EQ(path.setproperty, u"OLDPATH");
    EXPECT_EQ(path.installcondition, u"r-icond");
    EXPECT_EQ(path.deinstallcondition, u"r-dcond");
    EXPECT_EQ(path.overwriteonupdate, u"r-ovu");
    EXPECT_EQ(path.overwriteonupgrade, u"r-ovg");
    EXPECT_TRUE(path.enablefeature);
    EXPECT_FALSE(path.disablefeature);
    EXPECT_EQ(path.m_StringValue, u"");
    EXPECT_EQ(path.m_NumericValue, 0);
    EXPECT_EQ(path.m_Found, 0);
}

TEST_F(LoaderDefinition, SelfRegisteringFilesServicesAndApplications) {
    ASSERT_EQ(m_Data.m_SelfRegFiles.size(), 1u);
    EXPECT_EQ(m_Data.m_SelfRegFiles[0].file, u"com.dll");
    EXPECT_EQ(m_Data.m_SelfRegFiles[0].plattform, u"x86");
    EXPECT_EQ(m_Data.m_SelfRegFiles[0].unregonupdate, u"true");
    EXPECT_TRUE(m_Data.m_SelfRegFiles[0].enablefeature);
    ASSERT_EQ(m_Data.m_SelfUnregFiles.size(), 1u);
    EXPECT_EQ(m_Data.m_SelfUnregFiles[0].file, u"old.dll");
    EXPECT_EQ(m_Data.m_SelfUnregFiles[0].unregonupdate, u"") << "unregister rows have no unregonupdate";
    EXPECT_TRUE(m_Data.m_SelfUnregFiles[0].disablefeature);

    ASSERT_EQ(m_Data.m_InstallServices.size(), 1u);
    const JxService& service = m_Data.m_InstallServices[0];
    EXPECT_EQ(service.name, u"BrellSvc");
    EXPECT_EQ(service.argument, u"-svc");
    EXPECT_EQ(service.start, u"true");
    EXPECT_EQ(service.file, u"svc.exe");
    EXPECT_EQ(service.starttype, u"auto");
    EXPECT_TRUE(service.startservicewithconfigsettings);
    EXPECT_EQ(service.deleteserviceonupdate, u"s-delete");
    EXPECT_EQ(service.shutdownoption, u"s-option");
    EXPECT_EQ(service.shutdownmodule, u"s-module");
    EXPECT_EQ(service.shutdownfunction, u"s-function");
    EXPECT_EQ(service.shutdownparam, u"s-param");
    EXPECT_FALSE(m_Log.Has("ERROR", "GetStoredServiceStartType"));
    ASSERT_EQ(m_Data.m_UninstallServices.size(), 1u);
    const JxService& old = m_Data.m_UninstallServices[0];
    EXPECT_EQ(old.name, u"OldSvc");
    EXPECT_EQ(old.starttype, u"manuell");
    EXPECT_FALSE(old.startservicewithconfigsettings) << "unregister rows do not read it";
    EXPECT_EQ(old.deleteserviceonupdate, u"u-delete");
    EXPECT_TRUE(old.disablefeature);
    EXPECT_EQ(old.shutdownmodule, u"u-module");

    ASSERT_EQ(m_Data.m_InstallApps.size(), 1u);
    const JxApplication& tool = m_Data.m_InstallApps[0];
    EXPECT_EQ(tool.path, u"[INSTALLDIR]tool.exe");
    EXPECT_EQ(tool.argument, u"/init");
    EXPECT_EQ(tool.wait, u"true");
    EXPECT_EQ(tool.hidden, u"true");
    EXPECT_EQ(tool.ignorereturncode, u"false");
    EXPECT_EQ(tool.successcode, u"0;3010");
    EXPECT_EQ(tool.useshellexecute, u"false");
    EXPECT_EQ(tool.plattform, u"x64");
    EXPECT_EQ(tool.condition, u"NOT Installed");
    EXPECT_EQ(tool.execfromwrap, u"false");
    EXPECT_EQ(tool.timeout, u"120");
    EXPECT_EQ(tool.rebootcode, u"3010");
    EXPECT_EQ(tool.execonlyifcopied, u"true");
    EXPECT_TRUE(tool.enablefeature);
    EXPECT_FALSE(tool.disablefeature);
    ASSERT_EQ(m_Data.m_UninstallApps.size(), 1u);
    EXPECT_EQ(m_Data.m_UninstallApps[0].path, u"uninstall.exe");
    EXPECT_TRUE(m_Data.m_UninstallApps[0].disablefeature);
    ASSERT_EQ(m_Data.m_LaunchAtEndApps.size(), 1u);
    EXPECT_EQ(m_Data.m_LaunchAtEndApps[0].path, u"end.exe");
    ASSERT_EQ(m_Data.m_FinishDialogApps.size(), 1u);
    EXPECT_EQ(m_Data.m_FinishDialogApps[0].wait, u"false");
}

TEST_F(LoaderDefinition, ASecondLoadReplacesTheRowsAndTheProperties) {
    m_Data.SetProperty(u"FromCommandLine", u"1", 1);
    m_Data.SetProperty(u"_SkipCleaningTaskAction", u"true", 1);
    m_Data.m_WatchProcessFiles.push_back(1);
    ASSERT_TRUE(m_Data.LoadConfiguration());
    EXPECT_EQ(m_Data.m_Files.size(), 2u);
    EXPECT_EQ(m_Data.m_SetupFiles.size(), 2u);
    EXPECT_EQ(m_Data.m_Features.size(), 2u);
    EXPECT_EQ(m_Data.m_RegValuesInstall.size(), 2u);
    EXPECT_EQ(m_Data.m_InstallConditions.size(), 2u);
    EXPECT_TRUE(m_Data.m_WatchProcessFiles.empty()) << "positions into the old file list are gone";
    EXPECT_EQ(m_Data.GetPropertyValue(u"FromCommandLine"), u"") << "earlier properties are gone";
    EXPECT_EQ(m_Data.GetPropertyValue(u"_SkipCleaningTaskAction"), u"true") << "except this one";
    EXPECT_TRUE(m_Log.Has("LP_INFO", "_SkipCleaningTaskAction = true"));
}

} // namespace

// Records of the setup definition and of the run state. Every record is a plain value type that
// owns its texts. A text field named after a definition attribute holds the attribute's text
// exactly as written (a missing attribute gives an empty text); property references in square
// brackets are expanded by the code that uses the field.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

namespace JxSetup::Data {

// Description of a failure or a warning of the run.
struct JxErrorInfo {
    std::u16string m_Title;   // caption of its message box
    std::u16string m_Message; // message text or its key
    std::u16string m_ActionName;
    std::u16string m_FeatureName;
    std::u16string m_Description; // the log message
    int32_t m_nCode = 0;
    int32_t m_nSubCode = 0;
    std::u16string m_Keyword;
};

// What to do about a reboot that a prerequisite requested.
struct JxRestartRequest {
    std::u16string m_Unused;
    std::u16string m_Arguments; // arguments of the setup's restart after the reboot
    std::u16string m_Caption;
    std::u16string m_Message;
    std::u16string m_Context;
    std::u16string m_PrerequisiteName;
    std::u16string m_Reason; // "Prerequisite needs reboot"
};

// The attributes of the definition's root element.
struct JxProductInfo {
    std::u16string productid;
    std::u16string productname;
    std::u16string version;
    std::u16string DisplayIcon;
    std::u16string languages;
    std::u16string exclusive;
    std::u16string packagecode;
};

// A SetupComponent row of a feature.
struct JxComponent {
    std::u16string id;
    std::u16string destinationdir;
    std::u16string condition;
    std::u16string installmode; // "shared" or "permanent"
    std::u16string sxssharecountername;
    std::u16string excludefromupdate;
    std::u16string upgradeonproductlevel;
    std::u16string installifexist;
    std::u16string featurecheck;
    std::u16string issignature;
    std::u16string iscustomization;
    std::u16string mvexaltdir;
    std::u16string updateiffeatureinstalled;
    std::u16string allowcomponentoutsourcing;
    std::u16string componentoutsourcinglocation;
    std::u16string dontstoreindatawpk;
    std::u16string extractaswpk;
    std::u16string extractsupportfile;
    bool forced = false; // never set by the loader
};

// A SetupFeature row with its components in document order.
struct JxFeature {
    std::u16string name;
    std::u16string visible;
    std::u16string title;
    std::u16string description;
    std::u16string mode; // "install" or "force"
    std::u16string dependson;
    std::u16string icon;
    std::u16string sm_icon;
    std::u16string group;
    std::u16string producttype;
    std::u16string productgeneratoin; // spelled so in the definition
    std::u16string rebootcondition;
    std::u16string invisiblecondition;
    bool m_Activatable = false; // activatable is "true", any case
    std::vector<JxComponent> components;
    bool forced = false; // never set by the loader
};

// An application to run: SetupInstallExecuteApplication, SetupUnInstallExecuteApplication,
// LaunchAtEndOfSetupApp and LaunchAtEndOfSetupAppFinishDialog rows.
struct JxApplication {
    std::u16string featurename;
    std::u16string componentid;
    std::u16string path;
    std::u16string argument;
    std::u16string wait;
    std::u16string hidden;
    std::u16string ignorereturncode;
    std::u16string successcode;
    std::u16string useshellexecute;
    std::u16string plattform; // spelled so in the definition: "x86", "x64" or both
    std::u16string condition;
    std::u16string execfromwrap;
    std::u16string timeout;
    std::u16string rebootcode;
    std::u16string execonlyifcopied;
    bool enablefeature = false;  // any case
    bool disablefeature = false; // any case
};

// A SetupRegValue row.
struct JxRegValue {
    std::u16string featurename;
    std::u16string componentid;
    std::u16string root; // "HKLM", "HKCR", "HKUS" or "HKCU" (GetRegistryRootFromName)
    std::u16string key;
    std::u16string valuename;
    std::u16string type;
    std::u16string value;
    std::u16string mode; // "i" install, "u" uninstall, "iu" both
    std::u16string plattform;
    std::u16string increment;
    std::u16string m_Unused; // not read from the definition
    std::u16string setproperty;
    std::u16string installcondition;
    std::u16string deinstallcondition;
    std::u16string featurecheck;
    std::u16string deleteonupdate;
    std::u16string restore;
    // Filled when existing values are searched and restored; reset by the loader.
    std::u16string m_StringValue;
    int32_t m_NumericValue = 0;
    uint8_t m_Found = 0;
    std::u16string overwriteonupdate;
    std::u16string overwriteonupgrade;
    bool enablefeature = false;  // any case
    bool disablefeature = false; // any case
};

// A SetupSelfRegisterFile or SetupSelfUnRegisterFile row.
struct JxSelfRegFile {
    std::u16string featurename;
    std::u16string componentid;
    std::u16string plattform;
    std::u16string file;
    std::u16string unregonupdate; // empty in unregister rows
    bool enablefeature = false;   // any case
    bool disablefeature = false;  // any case
};

// A SetupRegisterService or SetupUnRegisterService row.
struct JxService {
    std::u16string featurename;
    std::u16string componentid;
    std::u16string name;
    std::u16string argument;
    std::u16string start;
    std::u16string file;
    std::u16string starttype;                    // "auto" or "manuell"
    bool startservicewithconfigsettings = false; // any case; false in unregister rows
    int32_t m_StoredStartType = 0;               // the stored start type at load time; 0 in unregister rows
    bool m_RegisteredInThisRun = false;          // registered by this run and due for its registration check
    std::u16string deleteserviceonupdate;
    bool enablefeature = false;  // any case
    bool disablefeature = false; // any case
    std::u16string shutdownoption;
    std::u16string shutdownmodule;
    std::u16string shutdownfunction;
    std::u16string shutdownparam;
};

// An InstallCondition or SystemRecommendation row. The flags compare exactly with "true".
struct JxCondition {
    std::u16string condition;
    std::u16string text;
    bool optional = false; // SystemRecommendation rows only
    bool showonupdate = false;
    bool showinoverview = false;
};

// An ExecuteAction row of the ExecutingSequence or a PropertyAction row of the
// SetPropertiesSequence (named "CustomAction").
struct JxSequenceEntry {
    std::u16string name;
    std::u16string modulename;
    std::u16string functionname;
    std::u16string argument;
    std::u16string condition;
    std::u16string componentid;
    std::u16string featurename;
    std::u16string installmode;
    std::u16string actiontext;
    bool m_bMarked = false;        // never set by the loader
    std::u16string shutdownaction; // PropertyAction rows only
    std::u16string startupaction;  // PropertyAction rows only
    bool enablefeature = false;    // any case
    bool disablefeature = false;   // any case
};

// A property with its attributes: SetupProperty rows and the results of add-ons.
struct JxPropertyRow {
    std::u16string name;
    std::u16string value;
    std::u16string localizable;
    bool locked = false;
    bool numeric = false;
};

// Two texts: language codes {short, iso} and system requirements {condition, message}.
struct JxTextPair {
    std::u16string first;
    std::u16string second;
};

// The SetupSVC element of the definition.
struct JxSetupSVCData {
    std::u16string setupsvcdir;
    std::u16string setupsvcfile;
    std::u16string setupsvcname;

    bool IsComplete() const { return !setupsvcdir.empty() && !setupsvcfile.empty() && !setupsvcname.empty(); }
};

// A product type of "requirements.xml" with its level.
struct JxProductType {
    std::u16string name;
    int32_t level = 0;
};

// A product code of "requirements.xml": an earlier or related product.
struct JxProductCode {
    std::u16string noupgrade;
    std::u16string name;
    int32_t version = 0;
    std::u16string skip;
    std::u16string minupgradeversion;
    std::u16string guid;
    std::u16string producttype;
    std::u16string servicename;
    std::u16string installdirhk;
    std::u16string installdirkey;
    std::u16string installdirsubkey;
    std::u16string installdirparent;
    std::u16string versionfile;
    std::u16string versionxpath;
    std::u16string maintenanceroot;
    std::u16string maintenancekey;
    std::u16string maintenancevaluename;
    std::u16string maintenancedefault;
    std::u16string sxssharecounter;
};

// The content of "requirements.xml".
struct JxRequirements {
    std::vector<JxProductType> m_ProductTypes;
    std::vector<JxProductCode> m_ProductCodes;
    std::vector<JxTextPair> m_SystemRequirements; // {condition, message}
    std::vector<JxTextPair> m_LanguageCodes;      // {short, iso}
    std::u16string m_InstalledLanguageRoot;
    std::u16string m_InstalledLanguageKey;
    std::u16string m_InstalledLanguageSubKey;
};

// Folders to remove at the end when they are empty, and the folders never to remove.
struct CleanEmptyFolder {
    std::set<std::u16string> m_Folders;
    std::set<std::u16string> m_BlackList;
};

// The registry root of a root text, ignoring case: "HKCU", "HKCR", "HKUS"; any other text, the
// empty one included, is HKEY_LOCAL_MACHINE.
HKEY GetRegistryRootFromName(const std::u16string& root);

// Strict decimal text of an unsigned 32-bit number: digits only, at most 4294967295.
bool ParseRegistryDword(std::u16string_view text, DWORD& value);

// Why a registry row cannot be carried out as written; empty when it can. Refused are a root other
// than "HKLM", "HKCU", "HKCR" or "HKUS" (ignoring case), an empty key (the row would act on the
// hive's root) and, for a row that is written, a type other than "Key", "REG_SZ", "REG_DWORD" or
// "REG_MULTI_SZ" (as written) and a REG_DWORD value without property references that is no
// number. A refused row is skipped with a WARNING that names it; the other rows go on.
std::u16string GetRegistryRowFault(const JxRegValue& row, bool written);
// A use counter without a value of its own ("REG_DWORD", increment "true", no value): the number
// is the counter's, kept when the settings are saved, never written from the row.
bool IsRegistryCounterRow(const JxRegValue& row);
// "<root>\<key> value "<name>"": how a WARNING names a registry row.
std::u16string DescribeRegistryRow(const JxRegValue& row);

} // namespace JxSetup::Data

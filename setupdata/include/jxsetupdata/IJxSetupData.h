// The setup-data object's operations in the order of its table of virtual operations. A GUI module
// holds the data object and calls these by position (see JxModuleAbi.h for slots and the text
// form), and the engine calls the same table; JxData implements every one with `override`. An
// operation can only be appended to the end of a new, incompatible version of this list.
//
// Position 1 is OnRepackProgress of RepackCallbackDelegate (slot 0), position 2 the destructor
// (slots 1 and 2); position p >= 3 is slot p. Position 106 is reserved: it only keeps its place.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "jxbase/xml/xmldom.h"
#include "jxsetupdata/JxCommonUpdateSettings.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"
#include "jxsetupdata/JxModuleAbi.h"
#include "jxsetupdata/JxRecords.h"
#include "jxsetupdata/JxCustomization.h"
#include "jxsetupdata/JxSequenceData.h"
#include "jxsetupdata/JxUiSequencer.h"
#include "jxsetupdata/JxWebSqlDBRequest.h"
#include "jxsetupdata/PropertyCache.h"
#include "jxsetupdata/RepackCallbackDelegate.h"

namespace JxSetup::Data {

// Names of the features that depend on a feature; the caller gives the list back.
using JxFeatureNameList = std::vector<std::u16string>;
// A stored feature activation: {active, "$name$"}.
using JxActivatedFeature = std::pair<bool, std::u16string>;
// The progress receiver of a run without a GUI object (context, position, maximum, text).
using JxProgressCallbackFn = void (*)(LPVOID context, int position, int maximum, const WCHAR* text);

class IJxSetupData : public RepackCallbackDelegate {
public:
    // 1: OnRepackProgress (RepackCallbackDelegate)
    // 2:
    virtual ~IJxSetupData() = default;
    // 3-9: log, sequencer, properties
    virtual JxLog* GetLog() = 0;
    virtual IJxUiSequencer* GetUiSequencer() = 0;
    virtual std::u16string ExpandPropertiesForLanguage(const std::u16string& text,
                                                       const std::u16string& language) = 0;
    virtual std::u16string ExpandProperties(const std::u16string& text) = 0;
    virtual bool SetProperty(const std::u16string& name, const std::u16string& value, int flag) = 0;
    virtual bool IsPropertyLocked(const std::u16string& name) = 0;
    virtual JxPropertyMap GetAllProperties() = 0;
    // 10-21: conditions
    virtual bool ParseExpression(const std::u16string& text) = 0;
    virtual bool IsComponentToBeProcessed(const JxComponent& component, const JxFeature& feature,
                                          const JxSequenceAction& action,
                                          JxActivationPermissions permissions) = 0;
    virtual bool IsComponentConditionMet(const JxComponent& component, const JxFeature& feature) = 0;
    virtual bool GetConditionResult(const std::u16string& condition) = 0;
    virtual bool _actionExecute(const JxComponent& component, const JxFeature& feature,
                                const JxSequenceAction& action, JxActivationPermissions permissions) = 0;
    virtual bool _actionExecute_checkSharecounter(const JxComponent& component, const JxFeature& feature,
                                                  const std::u16string& featureAction) = 0;
    virtual bool _actionExecute_EnableFeature(const JxComponent& component, const JxFeature& feature,
                                              const JxSequenceAction& action,
                                              JxActivationPermissions permissions) = 0;
    virtual bool _actionExecute_DisableFeature(const JxComponent& component, const JxFeature& feature,
                                               const JxSequenceAction& action,
                                               JxActivationPermissions permissions) = 0;
    virtual bool _actionExecute_OnInstall(const JxComponent& component, const JxFeature& feature,
                                          const JxSequenceAction& action) = 0;
    virtual bool _actionExecute_OnMaintenance(const JxComponent& component, const JxFeature& feature,
                                              const JxSequenceAction& action) = 0;
    virtual bool _actionExecute_OnUpdateUpgrade(const JxComponent& component, const JxFeature& feature,
                                                const JxSequenceAction& action) = 0;
    virtual bool _actionExecute_OnUninstall(const JxComponent& component, const JxFeature& feature,
                                            const JxSequenceAction& action) = 0;
    // 22-29: settings and definition rows
    virtual void SetPropertiesSequence() = 0;
    virtual JxComponent GetComponentOfFeature(const std::u16string& componentId,
                                              const JxFeature& feature) = 0;
    virtual JxComponent GetComponent(const std::u16string& componentId) = 0;
    virtual bool SaveSettingsToRegistry() = 0;
    virtual void DetectPendingRestartRequest() = 0;
    virtual void WriteAllTemporaryStoredProperties() = 0;
    virtual const WCHAR* GetProductId() const = 0;
    virtual void SetInstallableLanguages() = 0;
    // 30-39: file records of the installation actions
    virtual void SetComponentFileCopied(const std::u16string& featureName,
                                        const std::u16string& componentId) = 0;
    virtual bool ComponentFileWasCopied(const std::u16string& componentId,
                                        const std::u16string& featureName) = 0;
    virtual bool ComponentContainsPrerequisites(const std::u16string& featureName,
                                                const std::u16string& componentId) = 0;
    virtual void SystemSearchFiles() = 0;
    virtual JxFile& CollectFileInformation(JxFile& record, std::u16string& path, bool is64Bit) = 0;
    virtual JxFile& CollectFileInformationFromVFS(JxFile& record, std::u16string& path) = 0;
    virtual JxFile& CollectFileInformationFromPackageEntry(JxFile& record, const JxFile& row) = 0;
    virtual std::vector<std::u16string>& ExtractSupportFiles(std::vector<std::u16string>& names) = 0;
    virtual void DeleteSupportFiles(const std::vector<std::u16string>& names) = 0;
    virtual void DeleteEmptyInstallDir() = 0;
    // 40-46: features and languages
    virtual std::vector<JxFeature>& GetFeatures() = 0;
    virtual void GetFeature(JxFeature& out, const std::u16string& name) = 0;
    virtual void SetCurrentLanguage(const std::u16string& language) = 0;
    virtual void ApplyProductLanguage() = 0;
    virtual std::u16string GetCurrentLanguage() = 0;
    virtual void GetProductLanguages(std::vector<std::u16string>& out) = 0;
    virtual void GetInstalledLanguageIsoCodes(std::vector<std::u16string>& out) = 0;
    // 47-62: components, feature states and install mode
    virtual bool IsComponentIncluded(const std::u16string& componentId) = 0;
    virtual bool IsComponentIncludedEx(const std::u16string& componentId) = 0;
    virtual bool IsComponentDefined(const std::u16string& componentId) = 0;
    virtual const std::u16string& GetFeatureState(const std::u16string& name) = 0;
    virtual const std::u16string& GetFeatureAction(const std::u16string& name) = 0;
    virtual bool IsFeatureActivationMode() const = 0;
    virtual void GetFeatureEnableKeyword(std::u16string& out, const std::u16string& name) = 0;
    virtual bool SwitchFeatureState(const std::u16string& name) = 0;
    virtual bool SetFeatureAction(const std::u16string& name, const std::u16string& action) = 0;
    virtual std::unique_ptr<JxFeatureNameList> GetDependentFeatures(const std::u16string& name) = 0;
    virtual void ReleaseFeatureList(std::unique_ptr<JxFeatureNameList> list) = 0;
    virtual std::u16string GetInstallMode() = 0;
    virtual bool SetInstallMode(const std::u16string& mode) = 0;
    // The application folder (a new text the caller owns).
    virtual std::u16string GetModuleDirectory() = 0;
    virtual bool IsFeatureListValid(const std::u16string& list) = 0;
    virtual void UpdateFeatureVisibility() = 0;
    // 63-75: system checks, restart entry, progress steps
    virtual void CheckSystemConfiguration() = 0;
    virtual bool RestartSetupAfterRebootXP(const std::u16string& commandLine, bool tag) = 0;
    virtual bool RemoveRestartAfterReboot() = 0;
    virtual void LOGProgressMax(const JxSequenceAction& action) = 0;
    virtual void LOGProgressCurrent(const JxSequenceAction& action) = 0;
    virtual void SetDefaultEnabledFeatures() = 0;
    virtual bool IsCountingProcessSteps() const = 0;
    virtual void AddProcessStep() = 0;
    virtual void StepProgress(const JxSequenceAction& action) = 0;
    virtual void GetMaintenanceDir(std::u16string& folder) = 0;
    virtual void SetPrerequisiteOverviewItems() = 0;
    virtual void AddPrerequisiteOverviewItem(const JxFile& file) = 0;
    virtual void AppendPropertyValue(const std::u16string& value, const std::u16string& name,
                                     const std::u16string& separator) = 0;
    // 76-86: the GUI object, product facts, progress
    virtual int ShowMessage(const std::u16string& caption, const std::u16string& text, UINT type,
                            int value) = 0;
    virtual void UnbindGui() = 0;
    virtual bool HasGui() const = 0;
    virtual bool HasProgressCallback() const = 0;
    virtual std::u16string GetPackageCode() const = 0;
    virtual std::vector<JxFile> GetFileMetaInformation() const = 0;
    virtual std::u16string GetProductVersion() const = 0;
    virtual void SetProgressText(const std::u16string& text) = 0;
    virtual void SetProgressRange(int maximum) = 0;
    virtual void SetProgress(int position, int maximum, const std::u16string& text) = 0;
    virtual void AddMountExeArgument(std::u16string& out, const std::u16string& commandLine) = 0;
    // 87-97: feature activation
    virtual bool IsFeatureActivated(const std::u16string& name) = 0;
    virtual void GetActivatedFeatures(std::vector<JxActivatedFeature>& out) = 0;
    virtual void SetFeatureActivationState(const std::u16string& name, bool active) = 0;
    virtual void GetActivatableFeatures(std::vector<std::u16string>& out) = 0;
    virtual void SetActivatedFeatures() = 0;
    virtual void SetDeactivatedFeatures() = 0;
    virtual void SetFeatureActivationMode() = 0;
    virtual bool HasValidFeatureActivationAction(const std::u16string& requested) = 0;
    virtual void InitSxsShareCounter() = 0;
    virtual bool FeatureHasValidActivationAction(const std::u16string& name) = 0;
    virtual void SetAllFeaturesActivated(bool flag) = 0;
    // 98-105: the management server
    // The SQL operations return their answer (lists by value); the record is the caller's.
    virtual std::vector<std::u16string> RequestSQLInstances() = 0;
    virtual std::vector<std::u16string> RequestSQLDatabases(const JxWebSqlDBRequest& request) = 0;
    virtual int CheckSQLConnection(const JxWebSqlDBRequest& request) = 0;
    virtual bool ConfigureManamgementServer() = 0;
    virtual bool CheckRemoteConnectionToMMS(const std::u16string& server) = 0;
    virtual void AuthorizeClient() = 0;
    virtual void DeleteMMSDB() = 0;
    virtual void SetAccessKey() = 0;
    // 106: reserved
    virtual void Reserved106() = 0;
    // 107-112: flags and folders
    virtual void SetDoNotLog(bool flag) = 0;
    virtual bool GetDoNotLog() const = 0;
    virtual void SetSkipSaveServiceStates(bool flag) = 0;
    virtual bool CheckScanApplianceConnection(const std::u16string& argument) = 0;
    virtual CleanEmptyFolder& GetCleanEmptyFolder() = 0;
    virtual void BlackListSystemFolders() = 0;
    // 113-123: processes, prerequisites, applications, add-ons
    virtual void StopProcesses(int mode) = 0;
    virtual DWORD GetStoredServiceStartType(const std::u16string& serviceName) = 0;
    virtual int ExecutePrerequisites(const JxSequenceAction& action, const std::vector<JxFile>& list) = 0;
    virtual bool ExecutePrerequisiteItem(const JxSequenceAction& action, const JxFile& row) = 0;
    virtual void ExecuteAppSequence(const std::vector<JxApplication>& apps, const std::u16string& mode,
                                    const JxSequenceAction& action) = 0;
    virtual void LaunchAppsAtEndOfSetup() = 0;
    virtual void LaunchFinishDialogApps() = 0;
    virtual int LaunchASetup(const std::vector<JxApplication>& apps) = 0;
    virtual int32_t ExecAppWait(const std::u16string& path, const std::u16string& arguments, bool useShell,
                                bool hidden, bool wait, bool is64Bit, DWORD timeoutSeconds) = 0;
    virtual void ExecuteCustomAction(const std::u16string& module, const std::u16string& function,
                                     const std::u16string& argument, const std::u16string& installMode,
                                     const std::u16string& componentId, const std::u16string& featureName,
                                     const JxSequenceAction& action) = 0;
    virtual bool ExecuteAddOn(const std::u16string& module, const std::u16string& function,
                              const std::u16string& argument) = 0;
    // 124-130: the definition and the packages
    virtual std::u16string GetConfigurationXml() const = 0;
    virtual CXMLDOMElement GetConfigurationRootElement() const = 0;
    virtual void ExtractDir(const std::u16string& vfsFolder, const std::u16string& diskFolder,
                            bool keepStructure) = 0;
    virtual void GetFileListFromVFSDir(std::vector<std::u16string>& out, const std::u16string& folder) = 0;
    virtual void GetFileListFromVFSPattern(std::vector<std::u16string>& out,
                                           const std::u16string& pattern) = 0;
    virtual void GetFullPathFileListFromVFSDir(std::vector<std::u16string>& out,
                                               const std::u16string& pattern) = 0;
    virtual bool IsFileMountedInVfs(const std::u16string& path) = 0;
    // 131-136: the common update
    virtual bool InitCommonUpdateMode(const JxCommonUpdateSettings& settings, JxProgressCallbackFn callback,
                                      LPVOID context) = 0;
    virtual std::u16string GetCommonUpdateVersion() = 0;
    virtual bool ExecuteCommonUpdate() = 0;
    virtual bool CheckInternetConnection() = 0;
    virtual const std::vector<std::unique_ptr<JxWebDownloadObject>>& DownloadBillboards() = 0;
    virtual void ClearBillboards() = 0;
    // 137-150: customized setups
    virtual bool Load_Customized_Config() = 0;
    virtual bool Configure_Customized_Properties() = 0;
    virtual bool Configure_Customized_Strings() = 0;
    virtual bool Install_Customized_Files() = 0;
    virtual bool Delete_Customized_Temporary_Files() = 0;
    virtual bool Install_Customized_Regkeys() = 0;
    virtual bool Execute_Customized_Apps() = 0;
    virtual bool Install_Customized_ThirdPartyApps() = 0;
    virtual bool Store_Customied_Configuration() = 0;
    virtual void Configure_Customized_UpgradeProducts() = 0;
    virtual void Configure_Customized_UpdateProduct() = 0;
    // Sets "_InstalledProductIsCustomized" when the installed product has a stored customization.
    virtual void IsInstalledProductCustomized() = 0;
    virtual void Store_Customized_Folder(const std::u16string& source, const std::u16string& target) = 0;
    // The customization record of the run (owned by the data object).
    virtual JxCustomizationData* GetCustomizationData() = 0;
    // 151-157: target-state and file-list files (in the program's folder, under the names given)
    virtual bool WriteTargetStateXml(const std::u16string& name, const std::vector<JxFile>& files) = 0;
    virtual bool WriteFileListToXml(const std::u16string& name, const std::vector<JxFile>& files) = 0;
    virtual bool WriteRetailUpdateFileListToXml(const std::u16string& name,
                                                const std::vector<JxFile>& packageFiles,
                                                std::vector<JxFile>& downloads) = 0;
    virtual bool WriteSettingsToXml(const std::u16string& name) = 0;
    virtual bool WriteUpfilesHtm(const std::u16string& name, const std::vector<JxFile>& files) = 0;
    virtual bool WriteUpVersionHtm(const std::u16string& name, const std::u16string& versionXml) = 0;
    virtual bool LoadFileListFromXml(const std::u16string& name, std::vector<JxFile>& files,
                                     const std::u16string& prefix) = 0;
    // 158-172: maintenance file lists
    virtual bool GetMetadataOfPackagefiles(std::vector<JxFile>& files) = 0;
    virtual bool GetMetadataOfCorefiles(const std::u16string& names, std::vector<JxFile>& files) = 0;
    virtual bool CollectNeededSetupFiles(const std::vector<JxFile>& targetState,
                                         const std::vector<JxFile>& packageFiles,
                                         std::vector<JxFile>& needed) = 0;
    virtual bool _containsPackageFile(const std::vector<JxFile>& files,
                                      const std::u16string& componentId) = 0;
    virtual bool _collectInformationAboutInstalledProduct() = 0;
    virtual bool _isInstallInformationValid(const std::u16string& code) = 0;
    virtual void _getListOfInstalledFeatures(std::vector<std::u16string>& out) = 0;
    virtual bool _isComponentInstalled(const JxComponent& component) = 0;
    virtual bool _isFileNeededForUpdate(const JxFile& file, const JxComponent& component,
                                        const JxFeature& feature, const std::vector<JxFile>& targetState,
                                        std::vector<std::u16string> installed) = 0;
    virtual bool _isFileNeeded_CheckGeneralSettings(const JxFile& file, const JxComponent& component) = 0;
    virtual bool _isFileNeeded_FilenameContainsWildcard(const JxComponent& component, const JxFile& file,
                                                        const std::vector<JxFile>& targetState) = 0;
    virtual bool _isFileNeeded_FilenameIsAbsolute(const JxComponent& component, const JxFile& file,
                                                  const std::vector<JxFile>& targetState) = 0;
    virtual bool _isFileNeeded_CheckProductRequirements(const JxComponent& component,
                                                        const JxFeature& feature, const JxFile& file,
                                                        std::vector<std::u16string> installed) = 0;
    virtual void _addComponentToNeededFiles(const std::vector<JxFile>& packageFiles,
                                            const std::u16string& componentId,
                                            std::vector<JxFile>& needed) = 0;
    virtual void _addRetailUpdateFiles(const std::vector<JxFile>& packageFiles,
                                       std::vector<JxFile>& needed) = 0;
    // 173-185: the install-action sequence
    virtual void Sequence_Execute() = 0;
    virtual JxSequenceData& GetSequenceData() = 0;
    virtual void _Sequence_Initialize() = 0;
    virtual void _Sequence_Initialize_GetInstallMode() = 0;
    virtual void _Sequence_Initialize_UseUI() = 0;
    virtual void _Sequence_Initialize_UI_DefaultTexts() = 0;
    virtual void _Sequence_Initialize_Actions() = 0;
    virtual void _Sequence_ContinueAfterReboot() = 0;
    virtual void _Sequence_Run_CountProcessSteps() = 0;
    virtual void _Sequence_Run() = 0;
    virtual bool _Sequence_Run_CheckReqirements(const JxSequenceAction& action) = 0;
    virtual bool _Sequence_Run_SkipAction(const JxSequenceAction& action) = 0;
    virtual void _Sequence_ShowEndMessage() = 0;
};

} // namespace JxSetup::Data

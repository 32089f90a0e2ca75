// The central setup-data object of one run: the records of the setup definition, the properties,
// the install and run state, and the lock that serialises the operations on them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jxbase/machinewidelock.h"
#include "jxbase/xml/xmldom.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxFileActionState.h"
#include "jxsetupdata/JxLog.h"
#include "jxsetupdata/JxRecords.h"
#include "jxsetupdata/IJxSetupData.h"
#include "jxsetupdata/JxSequenceData.h"
#include "jxsetupdata/JxShareCounterList.h"
#include "jxsetupdata/JxSystemRestorePoint.h"
#include "jxsetupdata/JxUiSequencer.h"
#include "jxsetupdata/JxUserHive.h"
#include "jxsetupdata/PropertyCache.h"
#include "jxsetupdata/RepackCallbackDelegate.h"

// Objects that other modules own and the data object only points to.
class IJxExternalGUI;
class VirtualFS;

namespace JxSetup::Data {

class JxData;

// The object lock: a mutex that the thread holding it may take again (each take matched by one
// release), as a Win32 mutex is. A waiter never gives up: it waits in slices of 50 ms and writes
// a WARNING line after every 20 slices (one second) it has waited.
class CJxObjectLock {
public:
    static constexpr DWORD kSliceMs = 50;
    static constexpr unsigned kSlicesPerWarning = 20;
    // Called on the waiting thread after each slice that ended without the lock.
    using SliceObserver = std::function<void(unsigned slicesWaited)>;

    void Lock();
    // Releases one take; false (and nothing released) when the calling thread holds no take.
    bool Unlock();
    // Whether the calling thread holds the lock.
    bool IsHeldByCurrentThread() const;

    // Seams of the tests: a shorter slice and a look at every slice waited.
    void SetSliceForTesting(DWORD milliseconds);
    void SetSliceObserverForTesting(SliceObserver observer);

private:
    mutable std::mutex m_Guard;
    std::condition_variable m_Released;
    std::thread::id m_Owner;
    unsigned m_Depth = 0;
    DWORD m_SliceMs = kSliceMs;
    SliceObserver m_Observer;
};

// A small property interface bound to one data object, handed to modules that need only that.
class CPropertyAccessor final {
public:
    explicit CPropertyAccessor(JxData* data) : m_Data(data) {}

    // Expands text; without a buffer returns the length of the result. With a buffer of size
    // characters it copies at most size - 1 of them, zero-terminates and returns the count copied;
    // an empty result, or a size below 1, leaves the buffer alone and returns 0.
    virtual int GetPropertyValue(const WCHAR* text, WCHAR* buffer, int size);
    virtual void SetPropertyBool(const WCHAR* name, bool flag);
    // A missing name or value counts as empty; an empty name sets nothing.
    virtual void SetPropertyValue(const WCHAR* name, const WCHAR* value);
    // The expanded text is exactly "true".
    virtual bool IsPropertyTrue(const WCHAR* text);
    virtual bool IsPropertyLocked(const WCHAR* name);
    virtual int Reserved() { return 0; }

private:
    JxData* m_Data; // not owned
};

// The progress receiver of a run without a GUI object.
struct JxProgressCallback {
    JxProgressCallbackFn m_Function = nullptr;
    LPVOID m_Context = nullptr;
};

struct JxUpdateModeInput;
struct JxUpdateModeOutput;

class JxData : public IJxSetupData {
public:
    JxData();
    ~JxData() override;
    JxData(const JxData&) = delete;
    JxData& operator=(const JxData&) = delete;

    // Object lock
    // Every operation that reads or changes the records takes the lock for its whole run and
    // releases it on every way out (CJxDataLock); short accessors and property forwarders do not.
    void LockObject();
    void UnlockObject();

    // Properties: forwarded to the property store without the object lock.
    std::u16string ExpandProperties(const std::u16string& text) override {
        return m_Properties.ExpandProperties(text);
    }
    std::u16string ExpandPropertiesForLanguage(const std::u16string& text,
                                               const std::u16string& language) override {
        return m_Properties.ExpandPropertiesForLanguage(text, language);
    }
    bool SetProperty(const std::u16string& name, const std::u16string& value, int flag) override {
        return m_Properties.SetProperty(name, value, flag);
    }
    bool IsPropertyLocked(const std::u16string& name) override { return m_Properties.IsLocked(name); }
    JxPropertyMap GetAllProperties() override {
        JxPropertyMap all;
        m_Properties.GetAllProperties(all);
        return all;
    }
    // The value of one property: its name expanded in square brackets.
    std::u16string GetPropertyValue(const std::u16string& name) {
        return ExpandProperties(u"[" + name + u"]");
    }
    CPropertyAccessor* GetPropertyAccessor() { return m_PropertyAccessor.get(); }
    // The page sequencer of the GUI, filled from the definition's "UISequence" element.
    IJxUiSequencer* GetUiSequencer() override { return &m_UiSequencer; }

    // Accessors
    std::u16string CopyModuleDirectory() const { return m_appDir; }
    // The application folder: the path up to and including its last backslash; SetAppDirEx takes
    // the folder as given.
    void SetAppDir(const std::u16string& path);
    void SetAppDirEx(const std::u16string& folder);
    const WCHAR* GetProductId() const override { return m_ProductInfo.productid.c_str(); }
    std::u16string GetPackageCode() const override { return m_ProductInfo.packagecode; }
    std::u16string GetProductVersion() const override { return m_ProductInfo.version; }
    std::vector<JxFile> GetFileMetaInformation() const override { return m_FileMetaInformation; }
    CleanEmptyFolder& GetCleanEmptyFolder() override { return m_CleanEmptyFolder; }
    bool IsFeatureActivationMode() const override { return m_FeatureActivationMode; }
    bool IsCountingProcessSteps() const override { return m_CountingProcessSteps; }
    bool GetDoNotLog() const override { return m_DoNotLog; }
    bool HasGui() const override { return m_Gui != nullptr; }
    bool HasProgressCallback() const override { return m_ProgressCallback.m_Function != nullptr; }
    void SetAllFeaturesActivated(bool flag) override { m_AllFeaturesActivated = flag; }
    void SetSkipSaveServiceStates(bool flag) override { m_SkipSaveServiceStates = flag; }
    // Binds the GUI object of the external module (null unbinds); takes the object lock.
    void SetGui(IJxExternalGUI* gui);

    // Setup definition
    // Reads "setup.jxsetup" into the records, the properties and the texts.
    bool LoadConfiguration();
    // With _InstallAllRessources "true", resource files are installed in every language.
    void InstallAllContainedRessources();
    // A copy of the feature's first component row with that id; an empty row when there is none.
    JxComponent GetComponentOfFeature(const std::u16string& componentId, const JxFeature& feature) override;
    // A copy of the component row with that id; a row whose id is "Invalid" when there is none.
    JxComponent GetComponent(const std::u16string& componentId) override;
    // Size in kilobytes of the installed features, from the file metadata.
    int32_t GetInstalledFeaturesSize();
    // Size in kilobytes of a feature and the features that depend on it.
    int32_t GetFeatureSize(const std::u16string& featureName);
    // The definition's text as read, and its root element.
    std::u16string GetConfigurationXml() const override { return m_ConfigurationXml; }
    CXMLDOMElement GetConfigurationRootElement() const override { return m_ConfigRoot; }
    // The text of an XML file on disk or in the mounted packages, decoded by its byte-order mark.
    bool GetXMLContentFromFile(std::u16string& out, const std::u16string& path, bool fromVfs);
    void SetWrapString(const std::u16string& text);
    // The start type of a service as stored for the product (installation actions).
    DWORD GetStoredServiceStartType(const std::u16string& serviceName) override;

    // Services of the definition: registration by their own programs, repair of their registry
    // configuration, start types and the shutdown order (installation actions).
    void SelfRegService(const JxSequenceAction& action);
    void FixServiceConfiguration(const std::u16string& serviceName, const std::u16string& path);
    void SelfUnRegServices(const JxSequenceAction& action);
    void SelfUnRegServicesOnUpdate(const JxSequenceAction& action);
    // COM servers among the installed files, registered and unregistered silently by the system's
    // registration program: on installation (each is unregistered first), on uninstallation, and
    // before an update or upgrade replaces them.
    void SelfRegFile(const JxSequenceAction& action);
    void SelfUnRegFiles(const JxSequenceAction& action);
    void SelfUnRegOnUpdate();
    // False when a service's start type could not be set.
    bool FixServices();
    DWORD GetConfiguredServiceStartType(const JxService& service);
    DWORD GetConfiguredStartTypeByName(const std::u16string& serviceName);
    std::vector<std::u16string> GetConfiguredShutdownOrder();
    std::vector<std::u16string> GetUnsetServices(const std::vector<std::u16string>& list);
    std::vector<std::u16string> GetMergedShutdownOrder(const std::vector<std::u16string>& list);
    bool ConfigureServiceStartType(const std::u16string& serviceName, const WCHAR* machineName,
                                   DWORD startType);
    bool IsServiceInState(DWORD state, const std::u16string& serviceName, const WCHAR* machineName);
    // "manuell" 3, "disabled" 4, anything else 2 (also "delayed", which adds the delayed start).
    static DWORD GetStartTypeFromText(const std::u16string& text);

    // Command line and stored settings
    // Properties from a command line: "/NAME=VALUE" pairs; "/nogui" only makes the run quiet.
    void LoadPropertiesFromCMD(const std::u16string& commandLine);
    // Merges the reconfiguration files of the packages, the module folder and the product's
    // maintenance folder, then "\$RECONFIG\reconfig.xml"; later sources win.
    void LoadPropertiesFromReconfig();
    // Applies one reconfiguration document: its properties and its localised texts.
    void MergePropertiesFromReconfig(const std::u16string& xml);
    // Sets the update mode from its keyword (ignoring case) and "_UPUpdateMode"; another keyword
    // changes nothing.
    void SetUpdateMode(const std::u16string& keyword);
    // The product's stored "Settings" (HKEY_CLASSES_ROOT "JxSetup\<product id>").
    void LoadPropertiesFromRegistry();
    // Stores the run's properties, feature states and counters; removes them in an uninstall.
    bool SaveSettingsToRegistry() override;
    // All properties, as stored, to "TmpSettings" for a relaunched process, and back (the key is
    // deleted after reading).
    void WriteAllTemporaryStoredProperties() override;
    void ReadAllTemporaryStoredProperties();
    // "[_InstallLanguages]", when set, becomes the product's languages and "Languages".
    void SetInstallableLanguages() override;

    // Languages: the product's languages are its `languages` attribute split at ","; the first one
    // is the default. The current language is the property store's.
    // Chooses the current language: the given one when it is a product language (else the first);
    // without one, the installed product's, the Windows language's or the first language.
    void SetCurrentLanguage(const std::u16string& language) override;
    // The whole `languages` attribute becomes the current language and "SelectedLanguage".
    void ApplyProductLanguage() override;
    std::u16string GetCurrentLanguage() override;
    void GetProductLanguages(std::vector<std::u16string>& out) override;
    // The `iso` codes of the installed-language table of the requirements, in their order.
    void GetInstalledLanguageIsoCodes(std::vector<std::u16string>& out) override;

    // Property actions and registry rows that set properties.
    void SetPropertiesSequence() override;
    // "metainfo.xml" and "requirements.xml" from the application folder or the packages.
    void LoadFileMetaInformation();
    void LoadRequirements();
    // System properties: the machine's facts (version, folders, memory, disk, names) as properties,
    // and the product name's fallback from the requirements when the definition has no text for it.
    void InitProperties();
    void FixPRODUCTNAME();

    // Conditions
    // Evaluates one condition text of the definition with this object's properties.
    bool ParseExpression(const std::u16string& text) override;

    // Log writer of the run; hands the do-not-log flag on only when it is set.
    JxLog* GetLog() override;
    void SetDoNotLog(bool flag) override { m_DoNotLog = flag; }

    // Install mode ("Install", "Maintenance", "Uninstall").
    // The install mode; "Install" when none is set.
    std::u16string GetInstallMode() override;

    // Uninstall entry
    // The product's entry in the list of installed programs (HKLM "...\Uninstall\<product id>");
    // false (the reason logged) when a value of it could not be written.
    bool ControlPanelAddProduct();
    // Removes the entry, the Windows Installer traces and the maintenance files of the product
    // named by "_InstalledProductCode" when it is another product.
    void ControlPanelDeleteOldProduct();
    // Removes the Windows Installer traces of one product code; an empty code does nothing.
    void ControlPanelDeleteMSISettings(const std::u16string& productCode);
    // "[CommonAppDataFolder]\Tolvane\Setups\<product id>", or a resolved "[_MaintenanceDir]".
    void GetMaintenanceDir(std::u16string& folder) override;
    // Maintenance copies: the engine and its packages kept in the maintenance folder for later runs;
    // a copy that cannot be written whole is the action's failure.
    void ExtractMaintenanceFiles(const std::u16string& folder, const JxSequenceAction& action);
    // "$" packages always; "{" packages by their component row; any other name never.
    bool IsComponentExtractable(const std::u16string& name);
    // Writes the mounted package of that name as <folder>\<name>.wpk: written whole under a partial
    // name first, then moved into place (or, while the package is in use, to a waiting ".wpk.jxtmp").
    // False (the reason logged) when it could not be written.
    bool ExtractWPK(const std::u16string& name, const std::u16string& folder);
    // setup.exe, JxSetupRT.dll and (in an installation) setup.reconfig from the packages, each
    // written under a partial name and moved into place when whole. False when one failed.
    bool ExtractRuntimeFiles(const std::u16string& folder);
    // Carries "$CUSTOMIZE.wpk" and "$CUSTOMIZE" over from the installed product's maintenance folder.
    void ApplyCustomizationOnUpgrade(const std::u16string& folder);

    // Run state.
    JxSequenceData& GetSequenceData() override { return m_SequenceData; }
    bool IsQuiet();
    bool IsRestartRequired();
    bool IsRestartConfirmed();
    void PerformRestart();
    bool OpenGlobalMutex();
    // Restart of Windows and the entry that starts this setup again afterwards (RunOnce).
    bool EnablePrivilege(const WCHAR* privilegeName);
    bool RestartSetupAfterRebootXP(const std::u16string& commandLine, bool tag) override;
    bool RemoveRestartAfterReboot() override;
    // The machine-wide locks named by "ShutdownArguments", taken once without waiting.
    void AcquireShutdownLocks();
    void ReleaseGlobalLocks();
    void SetSkipCommonUpdate(bool flag);
    // Whether the machine still waits for a restart ("_PENDINGRESTARTREQUEST").
    void DetectPendingRestartRequest() override;
    bool FeatureHasValidAction(const std::u16string& featureName);
    std::vector<std::unique_ptr<CMachineWideLock>> m_GlobalLocks;
    HANDLE m_InstanceMutex = nullptr; // the single-instance lock; open until the process ends

    // Operations of the package store and of the installation actions used at the end of a run.
    void DeleteUpdateFolder();
    // Verifies the downloaded files that "Requiredfiles.xml" of the module folder lists and removes
    // the folder's packages it does not name; 0x40 in the mount flags skips the check. True when
    // every listed file is present and correct and every unneeded package could be removed.
    bool CheckDownloadedFiles(DWORD flags);
    // Removes the uninstaller, update and maintenance folders of the product; the running setup
    // program, which cannot delete itself, is left to a script that outlives this process.
    void SelfDelete();

    // Removal of installed files: the removal list of the components being removed (shortcuts
    // included), the "deleteonupdate" rows with a wildcard mask, and the emptied component folders.
    // Each file removal works in one folder only, never in its subfolders.
    void DeleteFiles(const JxSequenceAction& action);
    void DeleteOnUpdateWithFileMask(const JxSequenceAction& action);
    void DeleteAllEmptyFolder();
    // Files an update leaves behind: those of the "deleteonupdate" rows, and the resource files of
    // the languages the product does not need. Both read the rows that CopyFiles grouped by
    // component (nothing before it ran) and never delete a file that this run copied.
    void DeleteFilesOnUpdate(const JxSequenceAction& action);
    void DeleteUnneededResourceFiles();

    // Features and install mode
    // Feature lists are list properties of "$name$" tokens joined by ","; nothing is cached.
    // The live rows, without the object lock: UpdateFeatureVisibility writes `visible` of these
    // rows, which is safe only because both run on the main thread.
    std::vector<JxFeature>& GetFeatures() override { return m_Features; }
    // A copy of the first feature row of that name (exact); an empty row when there is none.
    void GetFeature(JxFeature& out, const std::u16string& name) override;
    // "FeatureStateInstalled" or "FeatureStateAbsent".
    const std::u16string& GetFeatureState(const std::u16string& name) override;
    // "FeatureActionInstall", "FeatureActionRemove" or "FeatureActionNothing".
    const std::u16string& GetFeatureAction(const std::u16string& name) override;
    // "disablefeature", "enablefeature" or empty: what "_DisableFeatures"/"_EnableFeatures" ask of it.
    void GetFeatureEnableKeyword(std::u16string& out, const std::u16string& name) override;
    bool SwitchFeatureState(const std::u16string& name) override;
    // False when the action is not a keyword or the feature has it already.
    bool SetFeatureAction(const std::u16string& name, const std::u16string& action) override;
    bool IsFeatureIncluded(const std::u16string& name);
    // The list names at least one defined feature.
    bool IsFeatureListValid(const std::u16string& list) override;
    // "_EnableFeatures" from "_EnableFeaturesDefault" in installs, updates and upgrades.
    void SetDefaultEnabledFeatures() override;
    static void AddTokenToList(const std::u16string& token, std::u16string& list);
    static void RemoveTokenFromList(const std::u16string& token, std::u16string& list);
    // A file of the component lies in the mounted packages.
    bool IsComponentIncluded(const std::u16string& componentId) override;
    // Activation of activatable features, stored per machine below the product's key.
    bool IsFeatureActivated(const std::u16string& name) override;
    void GetActivatableFeatures(std::vector<std::u16string>& out) override;
    // "_DisableFeatures" = the activatable features that "_EnableFeatures" does not request.
    void SetDeactivatedFeatures() override;
    void SetFeatureActivationMode() override { m_FeatureActivationMode = true; }
    bool SetInstallMode(const std::u16string& mode) override;
    // The update decision: whether and how an installed product of the family is updated, and
    // what that means for the run (install mode, properties, copy modes, feature actions).
    void EvaluateUpdateMode();
    void CollectUpdateModeInputData(JxUpdateModeInput& input);
    void SaveUpdateModeOutputData(const JxUpdateModeOutput& output);
    // "bydate" (and "byversion" after an authorized downgrade) become "bycrc".
    void SetCopyModeToChecksumComparation(const JxUpdateModeOutput& output);
    void ScheduleFeatureUpdateActions(const JxUpdateModeOutput& output);
    // An installed product that must not be updated: its uninstaller for whoever ends the run.
    void ScheduleInstalledProductForUninstall(const JxUpdateModeOutput& output);
    // The GUI object: message boxes, progress and the cancel query reach it from anywhere in the
    // engine; without one progress goes to the progress callback (when set) only.
    void UnbindGui() override;
    // The GUI object's SetProgress(-1, text); the callback gets (context, -1, 0, 0).
    void SetProgressText(const std::u16string& text) override;
    void SetProgressRange(int maximum) override;
    void SetProgress(int position, int maximum, const std::u16string& text) override;
    std::u16string GetModuleDirectory() override { return CopyModuleDirectory(); }
    void Reserved106() override {}
    // The management server, the update-server client, custom actions, customized setups and the
    // maintenance file lists.
    std::vector<std::u16string> RequestSQLInstances() override;
    std::vector<std::u16string> RequestSQLDatabases(const JxWebSqlDBRequest& request) override;
    int CheckSQLConnection(const JxWebSqlDBRequest& request) override;
    bool CheckRemoteConnectionToMMS(const std::u16string& server) override;
    bool CheckScanApplianceConnection(const std::u16string& argument) override;
    void ExecuteCustomAction(const std::u16string& module, const std::u16string& function,
                             const std::u16string& argument, const std::u16string& installMode,
                             const std::u16string& componentId, const std::u16string& featureName,
                             const JxSequenceAction& action) override;
    bool ExecuteAddOn(const std::u16string& module, const std::u16string& function,
                      const std::u16string& argument) override;
    // The property text of an add-on's answer: names and values separated by TABs (a run of TABs
    // is one separator; a last name without a value is dropped), as property rows (localizable
    // "false", neither locked nor numeric).
    static std::vector<JxPropertyRow> SplitNameValuePairs(const std::u16string& text);
    bool InitCommonUpdateMode(const JxCommonUpdateSettings& settings, JxProgressCallbackFn callback,
                              LPVOID context) override;
    std::u16string GetCommonUpdateVersion() override;
    bool ExecuteCommonUpdate() override;
    bool CheckInternetConnection() override;
    const std::vector<std::unique_ptr<JxWebDownloadObject>>& DownloadBillboards() override;
    void ClearBillboards() override;
    bool Install_Customized_Files() override;
    bool Delete_Customized_Temporary_Files() override;
    bool Install_Customized_Regkeys() override;
    bool Execute_Customized_Apps() override;
    bool Install_Customized_ThirdPartyApps() override;
    bool Store_Customied_Configuration() override;
    void IsInstalledProductCustomized() override;
    void Store_Customized_Folder(const std::u16string& source, const std::u16string& target) override;
    JxCustomizationData* GetCustomizationData() override;
    // The target of a customized file row, or "" (logged) when its name or folder is refused.
    std::u16string _custom_FileTarget(const WCHAR* context, const JxCustomFile& row);
    void _custom_CopyAtReboot(const WCHAR* context, const std::u16string& source,
                              const std::u16string& target);
    bool WriteTargetStateXml(const std::u16string& name, const std::vector<JxFile>& files) override;
    bool WriteFileListToXml(const std::u16string& name, const std::vector<JxFile>& files) override;
    bool WriteRetailUpdateFileListToXml(const std::u16string& name, const std::vector<JxFile>& packageFiles,
                                        std::vector<JxFile>& downloads) override;
    bool WriteSettingsToXml(const std::u16string& name) override;
    bool WriteUpfilesHtm(const std::u16string& name, const std::vector<JxFile>& files) override;
    bool WriteUpVersionHtm(const std::u16string& name, const std::u16string& versionXml) override;
    bool LoadFileListFromXml(const std::u16string& name, std::vector<JxFile>& files,
                             const std::u16string& prefix) override;
    bool GetMetadataOfPackagefiles(std::vector<JxFile>& files) override;
    bool GetMetadataOfCorefiles(const std::u16string& names, std::vector<JxFile>& files) override;
    bool CollectNeededSetupFiles(const std::vector<JxFile>& targetState,
                                 const std::vector<JxFile>& packageFiles,
                                 std::vector<JxFile>& needed) override;
    bool _containsPackageFile(const std::vector<JxFile>& files, const std::u16string& componentId) override;
    bool _collectInformationAboutInstalledProduct() override;
    bool _isInstallInformationValid(const std::u16string& code) override;
    bool _isFileNeededForUpdate(const JxFile& file, const JxComponent& component, const JxFeature& feature,
                                const std::vector<JxFile>& targetState,
                                std::vector<std::u16string> installed) override;
    bool _isFileNeeded_CheckGeneralSettings(const JxFile& file, const JxComponent& component) override;
    bool _isFileNeeded_FilenameContainsWildcard(const JxComponent& component, const JxFile& file,
                                                const std::vector<JxFile>& targetState) override;
    bool _isFileNeeded_FilenameIsAbsolute(const JxComponent& component, const JxFile& file,
                                          const std::vector<JxFile>& targetState) override;
    bool _isFileNeeded_CheckProductRequirements(const JxComponent& component, const JxFeature& feature,
                                                const JxFile& file,
                                                std::vector<std::u16string> installed) override;
    void _addComponentToNeededFiles(const std::vector<JxFile>& packageFiles,
                                    const std::u16string& componentId, std::vector<JxFile>& needed) override;
    void _addRetailUpdateFiles(const std::vector<JxFile>& packageFiles, std::vector<JxFile>& needed) override;
    // Saves a list composed as XML text to the program's folder; false (logged) when it fails.
    bool _lists_SaveComposed(const WCHAR* context, const std::u16string& name, const std::u16string& text);

    // The product type of this setup's product code ("PRODUCTTYPE" is set to it); empty when none.
    std::u16string GetCurrentProductType();
    // The level of the product type (exact name); -1 when no row has it.
    int32_t GetProductLevel(const std::u16string& productType);
    // The features installed on this machine, in definition order; sets "UPDATE_INSTALLED_FEATURES".
    void _getListOfInstalledFeatures(std::vector<std::u16string>& out) override;
    // The component's check files and registry values are present (true when it has no check).
    bool _isComponentInstalled(const JxComponent& component) override;
    // "NOUPDATE", "UPDATE", "UPGRADE", "EXITSETUP", "RELOADCONFIG"; empty for another number.
    void GetUpdateModeName(std::u16string& out);
    // Names of the features whose dependson names the feature (ignoring case), in definition order.
    // The caller owns the list; ReleaseFeatureList frees it (a null list too).
    using JxFeatureNameList = JxSetup::Data::JxFeatureNameList;
    std::unique_ptr<JxFeatureNameList> GetDependentFeatures(const std::u16string& name) override;
    void ReleaseFeatureList(std::unique_ptr<JxFeatureNameList> list) override;
    // The component is installable from the mounted packages (or needs no packaged file).
    bool IsComponentIncludedEx(const std::u16string& componentId) override;
    // A feature that is not prohibited has a component of that id (ignoring case).
    bool IsComponentDefined(const std::u16string& componentId) override;
    // Hides prohibited features, and features that are neither installed nor have a packaged
    // component to check (unless "_MiniSetup" is "true").
    void UpdateFeatureVisibility() override;
    // Per stored value of "ActivatedFeatures": {active (REG_DWORD 1), "$name$"}, in registry order.
    using JxActivatedFeature = JxSetup::Data::JxActivatedFeature;
    void GetActivatedFeatures(std::vector<JxActivatedFeature>& out) override;
    void SetFeatureActivationState(const std::u16string& name, bool active) override;
    // Stores 1 or 0 for every activatable feature as "_EnableFeatures" requests it.
    void SetActivatedFeatures() override;
    // Whether the requested list (or, for one feature, "_EnableFeatures") changes a stored activation.
    bool HasValidFeatureActivationAction(const std::u16string& requested) override;
    bool FeatureHasValidActivationAction(const std::u16string& name) override;
    // "_INSTALLSTATE" for the pages, and the preparation text.
    void SetInstallState();
    // The system requirements of the definition: install conditions, the overview, recommendations.
    void CheckInstallConditions();
    // False when a failed install condition must end a maintenance run in DLL mode.
    bool CheckInstallConditionFailure();
    // "_SysConfigValues" and "_SysConfigFailed" from the conditions shown in the overview.
    void CheckSystemConfiguration() override;
    // "_PrqOverviewItems" and "_PrqShowOverview" from the prerequisites that announce themselves.
    void SetPrerequisiteOverviewItems() override;
    void AddPrerequisiteOverviewItem(const JxFile& file) override;
    // Appends the value to the property, with the separator when it is not empty.
    void AppendPropertyValue(const std::u16string& value, const std::u16string& name,
                             const std::u16string& separator) override;
    // The command line with /_mountExe="[_mountExe]" when that file exists and the line lacks it.
    void AddMountExeArgument(std::u16string& out, const std::u16string& commandLine) override;
    // Puts the well-known system folders on the black list of the empty-folder clean-up.
    void BlackListSystemFolders() override;
    // Component and action conditions: is a component processed by an action in this run?
    bool GetConditionResult(const std::u16string& condition) override;
    bool IsComponentConditionMet(const JxComponent& component, const JxFeature& feature) override;
    bool IsComponentToBeProcessed(const JxComponent& component, const JxFeature& feature,
                                  const JxSequenceAction& action,
                                  JxActivationPermissions permissions) override;
    bool _actionExecute(const JxComponent& component, const JxFeature& feature,
                        const JxSequenceAction& action, JxActivationPermissions permissions) override;
    bool _actionExecute_checkSharecounter(const JxComponent& component, const JxFeature& feature,
                                          const std::u16string& featureAction) override;
    bool _actionExecute_EnableFeature(const JxComponent& component, const JxFeature& feature,
                                      const JxSequenceAction& action,
                                      JxActivationPermissions permissions) override;
    bool _actionExecute_DisableFeature(const JxComponent& component, const JxFeature& feature,
                                       const JxSequenceAction& action,
                                       JxActivationPermissions permissions) override;
    bool _actionExecute_OnInstall(const JxComponent& component, const JxFeature& feature,
                                  const JxSequenceAction& action) override;
    bool _actionExecute_OnMaintenance(const JxComponent& component, const JxFeature& feature,
                                      const JxSequenceAction& action) override;
    bool _actionExecute_OnUpdateUpgrade(const JxComponent& component, const JxFeature& feature,
                                        const JxSequenceAction& action) override;
    bool _actionExecute_OnUninstall(const JxComponent& component, const JxFeature& feature,
                                    const JxSequenceAction& action) override;
    // Progress steps: the log lines "%s;MAX;%d" and "%s;CUR;%d", the GUI and the callback.
    void LOGProgressMax(const JxSequenceAction& action) override;
    void LOGProgressCurrent(const JxSequenceAction& action) override;
    void AddProcessStep() override;
    void StepProgress(const JxSequenceAction& action) override;
    // Restart and cancel state. Returns whether a restart was required before (or is forced).
    bool SetRestart(bool required);
    // Asks the GUI object whether the user cancelled; sets m_UserCancelled. Nothing without a GUI.
    int CheckUserCancel();

    // Applications: starting programs, the application lists, stopping processes.
    // No time limit for ExecAppWait.
    static constexpr DWORD kExecNoTimeLimit = 0xFFFFFFFF;
    // Starts a program (through the shell when asked) or opens a web address. 0 success or nothing
    // to report, the exit code of the program, -1 when it had not ended when its code was read, the
    // negated Windows error when it could not be started. The timeout is in seconds.
    int32_t ExecAppWait(const std::u16string& path, const std::u16string& arguments, bool useShell,
                        bool hidden, bool wait, bool is64Bit, DWORD timeoutSeconds) override;
    // Runs the install or the uninstall list (mode "Install" or "Uninstall").
    void ExecuteAppSequence(const std::vector<JxApplication>& apps, const std::u16string& mode,
                            const JxSequenceAction& action) override;
    // Prerequisites: the rows flagged "isprerequisite" are run in order until one asks for a
    // reboot or fails; the outcome goes to m_SequenceData. An item that cannot be prepared ends
    // the list as cancelled (m_UserCancelled). Returns 0.
    int ExecutePrerequisites(const JxSequenceAction& action, const std::vector<JxFile>& list) override;
    // Extracts the row's component into the working folder, runs the installer hidden and reads
    // its result. False only when the installer cannot be prepared or found. A "prqtimeout" that
    // is not an unsigned decimal throws std::invalid_argument before the start.
    bool ExecutePrerequisiteItem(const JxSequenceAction& action, const JxFile& row) override;
    // Starts the applications of a list at the end of a run.
    int LaunchASetup(const std::vector<JxApplication>& apps) override;
    void LaunchAppsAtEndOfSetup() override;
    void LaunchFinishDialogApps() override;
    // Ends the running processes of the setup files that ask for it; mode 1 spares "isstopable".
    void StopProcesses(int mode) override;
    // Seam of the tests: replaces the wait for a started process (handle, milliseconds).
    std::function<DWORD(HANDLE, DWORD)> m_WaitForProcessForTesting;

    // Sequencer
    // The install-action sequence: build the action list, count its steps, run it.
    void Sequence_Execute() override;
    void _Sequence_Initialize() override;
    void _Sequence_Initialize_GetInstallMode() override;
    void _Sequence_Initialize_UseUI() override;
    void _Sequence_Initialize_UI_DefaultTexts() override;
    void _Sequence_Initialize_Actions() override;
    void _Sequence_ContinueAfterReboot() override;
    void _Sequence_Run_CountProcessSteps() override;
    void _Sequence_Run() override;
    bool _Sequence_Run_CheckReqirements(const JxSequenceAction& action) override;
    bool _Sequence_Run_SkipAction(const JxSequenceAction& action) override;
    void _Sequence_Run_CallHandler(const JxSequenceAction& action);
    void _Sequence_ShowEndMessage() override;
    // A message box through the GUI object; 1 without one.
    int ShowMessage(const std::u16string& caption, const std::u16string& text, UINT type, int value) override;
    // Handlers of the install actions ("action_" + name); failures go to m_SequenceData.
    void action_SystemRestore(const JxSequenceAction& action);
    void action_RebootOnFeatureCondition(const JxSequenceAction& action);
    void action_PrepareUninstallActions(const JxSequenceAction& action);
    void action_SearchRestoreRegValues(const JxSequenceAction& action);
    void action_StopProcesses(const JxSequenceAction& action);
    void action_UninstallSetupSVC(const JxSequenceAction& action);
    void action_SelfUnregOnUpdate(const JxSequenceAction& action);
    void action_InstallSetupSVC(const JxSequenceAction& action);
    void action_InstallPrerequisite(const JxSequenceAction& action);
    void action_CopyFiles(const JxSequenceAction& action);
    void action_DisableCancelButton(const JxSequenceAction& action);
    void action_ExtractAsWPK(const JxSequenceAction& action);
    void action_CleanUp(const JxSequenceAction& action);
    void action_DeleteUnneededResourceFiles(const JxSequenceAction& action);
    void action_SelfUnRegServiceOnUpdate(const JxSequenceAction& action);
    void action_DeleteFilesOnUpdate(const JxSequenceAction& action);
    void action_StoreLocalSetup(const JxSequenceAction& action);
    void action_StoreCustomizedConfig(const JxSequenceAction& action);
    void action_DeleteRegValuesOnUpdate(const JxSequenceAction& action);
    void action_AddRegValues(const JxSequenceAction& action);
    void action_ReconfigXml(const JxSequenceAction& action);
    void action_SelfRegFile(const JxSequenceAction& action);
    void action_SelfRegService(const JxSequenceAction& action);
    void action_ExecuteAppSequenceInst(const JxSequenceAction& action);
    void action_ExecuteAppSequenceUninst(const JxSequenceAction& action);
    void action_SelfUnRegService(const JxSequenceAction& action);
    void action_SelfUnRegFile(const JxSequenceAction& action);
    void action_DeleteRegValues(const JxSequenceAction& action);
    void action_ExecuteCustomAction(const JxSequenceAction& action);
    void action_InstallCustomization(const JxSequenceAction& action);
    void action_CheckServices(const JxSequenceAction& action);
    void action_RestoreRegValues(const JxSequenceAction& action);
    void action_CreateShortcuts(const JxSequenceAction& action);
    void action_DeleteServiceStates(const JxSequenceAction& action);
    void action_DeleteFileOnUpdateFM(const JxSequenceAction& action);
    void action_DeleteFiles(const JxSequenceAction& action);
    void action_SaveShareCounter(const JxSequenceAction& action);
    void action_SaveSettings(const JxSequenceAction& action);
    void action_SetProductInstalled(const JxSequenceAction& action);
    void action_FinishSysRestore(const JxSequenceAction& action);
    // Seam of the tests: called for every action of the list once its handler is bound; it may
    // replace the handler.
    std::function<void(JxSequenceAction&)> m_BindSequenceHandlerForTesting;

    // File actions: temporary copies of the package files beside their targets (CopyFiles), their
    // commit onto the targets (CleanUp), and the removal of the copies a run did not commit with
    // the folders made for them. The state lives as long as this object (m_FileActionState).
    void FileActions_Initialize(const JxSequenceAction& action);
    void CopyFilesTemporary();
    void CommitCopiedFiles();
    void RollbackCopiedFiles();
    // Some temporary copy was neither committed nor removed.
    bool HasUncommittedFileCopies() const;
    JxFileActionState& GetFileActionState() { return *m_FileActionState; }
    // File records: of a file on disk, of a packaged file, of a metadata row. The path argument
    // gets its expansion.
    JxFile& CollectFileInformation(JxFile& record, std::u16string& path, bool is64Bit) override;
    JxFile& CollectFileInformationFromVFS(JxFile& record, std::u16string& path) override;
    JxFile& CollectFileInformationFromPackageEntry(JxFile& record, const JxFile& row) override;
    // File information and support files.
    // Progress of a package repack (phase 2 only: done of total bytes moves at most ten steps);
    // always 1 ("go on"). Runs on the repacking thread without the object lock.
    int OnRepackProgress(DWORD phase, DWORD done, DWORD total, DWORD_PTR packageBytes) override;
    // The copied-components set, keyed by feature name + component id (the argument orders differ).
    void SetComponentFileCopied(const std::u16string& featureName,
                                const std::u16string& componentId) override;
    bool ComponentFileWasCopied(const std::u16string& componentId,
                                const std::u16string& featureName) override;
    bool ComponentContainsPrerequisites(const std::u16string& featureName,
                                        const std::u16string& componentId) override;
    // The system file searches of the file rows, into the properties they name.
    void SystemSearchFiles() override;
    // Extracts the support files of the components into "[_SupportDir]"; the names written.
    std::vector<std::u16string>& ExtractSupportFiles(std::vector<std::u16string>& names) override;
    void DeleteSupportFiles(const std::vector<std::u16string>& names) override;
    // In an uninstall with "_DeleteEmptyInstallDir": removes INSTALLDIR and its empty parents.
    void DeleteEmptyInstallDir() override;
    // Shortcuts: the install run starts the setup program once per file row with a shortcut
    // ("/_RunCreateShortcut" and "/_FileIndex"); in that child run ExternCreateShortcut creates the
    // row's link.
    void CreateShortcuts(const JxSequenceAction& action);

    // The end of the install sequence and the services around it.
    void InitSxsShareCounter() override;
    void SetShareCounterUpdateMode(bool update);
    // The shutdown of the product's services and processes before files are replaced; after a
    // failed shutdown (outside an uninstallation) the fallback brings the services back.
    bool ShutdownActions();
    bool ShutdownCreateDumps(const std::u16string& prefix, const std::u16string& level);
    bool ShutdownServices(const std::vector<std::u16string>& list);
    bool CanAllServicesShutdown();
    bool CanServiceShutdown(const std::u16string& serviceName);
    bool ShutdownService(const std::u16string& serviceName);
    bool ShutdownServiceUsingCA(const JxService& row);
    bool IsFinalShutdown(const std::u16string& serviceName);
    bool ShutdownServiceUsingSCM(const JxService& row);
    void FallBackReactivateServices();
    bool CanRevertServiceState(const std::u16string& serviceName);
    void FallBackActivateServiceByReg(const std::u16string& serviceName);
    void FallBackActivateServiceByServiceController(const std::u16string& serviceName);
    // The activation of the product's services after the installation, in the reverse of the
    // shutdown order, then the startup actions; the stored start types are done with afterwards.
    void CheckAndActivateServices();
    void CheckAndActivateService(const JxService& row, const JxComponent& component);
    void CheckServiceRegistration(const JxService& row, const std::u16string& path);
    void ActivateAndStartService(const JxService& row, const std::u16string& path);
    void RegisterServiceAsPPL(const JxService& row, const std::u16string& path, DWORD startType);
    void EnableServiceWithStartType(const JxService& row, DWORD startType);
    void StartTolvaneService(const JxService& row);
    void ExecuteCustomStartupActions();
    void DeleteServiceStates();
    bool ConfigureManamgementServer() override;
    void SetAccessKey() override;
    void AuthorizeClient() override;
    void DeleteMMSDB() override;
    // Customized setups: "$CUSTOMIZE\customize.xml" beside the program or in the packages.
    bool Load_Customized_Config() override;
    bool Configure_Customized_Properties() override;
    bool Configure_Customized_Strings() override;
    // Whether the command line (or another property source) asks for a support mode.
    bool IsSupportModeRequested();
    // Runs every requested support mode; true when at least one ran. m_bSupportModeFailed tells
    // whether the work of one of them failed.
    bool ExecuteSupportFunctions();
    bool _support_ExtractTo();
    bool _support_DumpRegValues();
    bool _support_FixServices();
    bool _support_RunCreateShortcut();
    bool _support_ShutdownServices();
    // In a child run started by a setup: creates the one shortcut its properties describe. False
    // (nothing created or removed) when the index names no file row, or the row names a link
    // outside its shell folder or a target outside the product's folders.
    bool ExternCreateShortcut();
    void Configure_Customized_UpgradeProducts() override;
    void Configure_Customized_UpdateProduct() override;
    void ExtractComponentsAsWPK(const JxSequenceAction& action);
    void _files_GroupByComponent();
    void _files_Collect(bool targets);
    void _files_AddRecord(const std::u16string& path, const std::u16string& componentId,
                          const std::u16string& language, bool target, bool is64Bit);
    void _files_ExpandWildcard(const std::u16string& pattern, const std::u16string& componentId,
                               const std::u16string& language, bool target, bool is64Bit);
    std::u16string _files_SourcePath(const JxFile& row, const std::u16string& language);
    bool _files_PrepareDestinationDir(const std::u16string& path, bool is64Bit);
    void _copy_EvaluateRules(const JxFeature& feature, const JxComponent& component);
    void _copy_EvaluateActions(const JxComponent& component, const JxFeature& feature, const JxFile& row);
    void _copy_Simulate(const JxComponent& component, const JxFeature& feature, const JxFile& row);
    void _copy_EvaluateFile(const JxComponent& component, const JxFeature& feature, const JxFile& row,
                            const std::u16string& language);
    void _copy_ExecuteTemporary(JxFileCopyRecord& record);
    void _copy_Fail(const std::u16string& messageKey, const std::u16string& detail);
    void _commit_MoveFile(JxFileCopyRecord& record);
    void _commit_RenameExistent(const JxFileCopyRecord& record);
    bool _commit_ReplaceAside(JxFileCopyRecord& record, bool& needsReboot);
    void _commit_MoveAtReboot(JxFileCopyRecord& record, bool& needsReboot);
    void _commit_Warn(const std::u16string& detail);
    void _rollback_RemoveCreatedFolders();

    // Registry actions: the definition's registry rows written, removed, kept across an update and
    // dumped; the hives of users who are not logged on; permissions of the product's keys.
    void AddRegValues(const JxSequenceAction& action);
    // False (the Win32 reason logged) when the registry refused a write of the row.
    bool WriteRegistryObject(const JxRegValue& row, bool force);
    void DeleteRegValues(const JxSequenceAction& action);
    void DeleteRegValuesOnUpdate();
    void DeleteRegistyObject(const JxRegValue& row, bool force);
    void SearchRestoreRegValues(const JxSequenceAction& action);
    void RestoreRegValues(const JxSequenceAction& action);
    // At the end of the sequence: writes back the values SearchRestoreRegValues saved when the run
    // ended before RestoreRegValues (a failure or a cancel in between); nothing otherwise.
    void RestoreSavedRegValuesIfPending();
    std::vector<JxRegValue> GetAllRegObjectsFromKey(const std::u16string& root, const std::u16string& key,
                                                    bool is64Bit);
    // False when the file could not be written.
    bool DumpRegValuesToFile(const std::u16string& path);
    void GetAllUserProfiles();
    void LoadUserProfiles();
    void UnloadUserProfiles();
    void PatchRegkeyAcl(HKEY root, const std::u16string& key, REGSAM access);
    std::vector<JxUserHive> m_UserHives;    // the "UserFiles" list
    bool m_RegValuesRestorePending = false; // saved values not yet written back

    // XML reconfiguration: the installed files of the rows flagged "reconfigxml" get their
    // placeholders (a property name between two section signs) replaced with property values.
    void reconfigXml(const JxSequenceAction& action);
    // The whole file decoded from UTF-8 (a signature is kept as the character U+FEFF); false when
    // the file cannot be read or is not valid UTF-8.
    static bool ReadUtf8TextFile(const std::u16string& path, std::u16string& text);
    std::u16string ReplaceReconfigPlaceholders(const std::u16string& text);
    // Replaces the file with the text as UTF-8 (see _disk_ReplaceFile); false when it could not.
    static bool WriteUtf8TextFile(const std::u16string& path, const std::u16string& text);

    // Package operations
    // The package store defines these; they mount, list, extract and load packaged files through the
    // attached virtual file system. Paths inside it begin with "\" and a package root ("\$SETUP\").
    // Attaches the virtual file system (not owned) and mounts the packages of the module folder:
    // "merge.wpk", "$*.wpk", "{*}.wpk" replacing, then "*.wpk" keeping what is mounted.
    void MountInternalPackages(VirtualFS* vfs);
    // Moves waiting ".wpk.jxtmp" copies into place, then mounts the folder's files of the pattern.
    void MountExternalPackages(const std::u16string& folder, const std::u16string& pattern, int mode);
    // Mounts one package file (making a virtual file system when none is attached).
    bool MountExternalPackage(const std::u16string& path, int mode);
    // Mounts the packages of outsourcable components that are not mounted yet from their locations.
    void MountOutsourcedComponents();
    void MovePreviouslyLockedWPKs(const std::u16string& folder);
    // Remembers the folder of a package file whose ".wpk.jxtmp" copy waits to be moved into place.
    void AddTmpWPKDir(const std::u16string& path);
    // Unmounts everything and moves the waiting copies of the remembered folders into place.
    void MoveTempWks();
    // Extracts every packaged file below "[ExtractTo]"; false when a file was not extracted or a
    // packaged name would leave the folder.
    bool ExtractAll();
    void ExtractDir(const std::u16string& vfsFolder, const std::u16string& diskFolder,
                    bool keepStructure) override;
    bool ExtractFileTo(const std::u16string& vfsPath, const std::u16string& diskPath);
    // Names of the files (not directories) that a search finds, in search order.
    void GetFileListFromVFSDir(std::vector<std::u16string>& out, const std::u16string& folder) override;
    void GetFileListFromVFSPattern(std::vector<std::u16string>& out, const std::u16string& pattern) override;
    void GetFullPathFileListFromVFSDir(std::vector<std::u16string>& out,
                                       const std::u16string& pattern) override;
    bool IsFileMountedInVfs(const std::u16string& path) override;
    // Loads a DLL from the module folder, else from the packages (a temporary copy), else from the
    // destination folder of the component that installs it; null when none loads. The caller frees
    // it (FreeLibrary, or VirtualFS::FreeDll for a packaged copy).
    HMODULE LoadDLL(const std::u16string& name, const std::u16string& vfsFolder);
    // Releases a module of LoadDLL the way it was loaded: a packaged copy through the package file
    // system (its temporary file goes with the last reference), any other with FreeLibrary.
    bool FreeDLL(HMODULE module);
    VirtualFS* GetVfs() const { return m_Vfs; }
    // How GetXMLContentFromFile reads a packaged file whole; the package store sets it when it
    // attaches the virtual file system.
    enum class JxPackagedRead { Ok, NotFound, ReadError };
    using JxReadPackagedFileFn = JxPackagedRead (*)(VirtualFS& vfs, const std::u16string& path,
                                                    std::string& bytes);
    using JxVfsDeleter = void (*)(VirtualFS* vfs);
    JxReadPackagedFileFn m_ReadPackagedFile = nullptr;
    // Whether a packaged path (no wildcard) is present; set with m_ReadPackagedFile. The data
    // model's own operations ask through it, since they sit below the package store.
    using JxFindPackagedFileFn = bool (*)(VirtualFS& vfs, const std::u16string& path);
    JxFindPackagedFileFn m_FindPackagedFile = nullptr;
    std::unique_ptr<VirtualFS, JxVfsDeleter> m_OwnedVfs{nullptr, nullptr}; // one made by MountExternalPackage
    std::multiset<HMODULE> m_PackagedDlls; // one entry per load of LoadDLL through the package file system
    std::set<std::u16string> m_MountedPackageFiles; // full paths, lower case

    // Members, in the order in which they are built.
    PropertyCache m_Properties;
    JxProductInfo m_ProductInfo;
    std::vector<JxFeature> m_Features;
    std::vector<JxFile> m_Files;
    std::vector<JxRegValue> m_RegValuesInstall;
    std::vector<JxSelfRegFile> m_SelfRegFiles;
    std::vector<JxService> m_InstallServices;
    std::vector<JxApplication> m_InstallApps;
    std::vector<JxFile> m_SetupFiles; // the same SetupFile rows again, for the removal of files
    std::vector<JxRegValue> m_RegValuesUninstall;
    std::vector<JxSelfRegFile> m_SelfUnregFiles;
    std::vector<JxService> m_UninstallServices;
    std::vector<JxApplication> m_UninstallApps;
    std::vector<JxSequenceEntry> m_ExecuteActions;
    std::vector<JxSequenceEntry> m_PropertyActions;
    std::vector<JxRegValue> m_RegValuesSetProperty;
    std::vector<JxRegValue> m_RegValuesFeatureCheck;
    std::vector<JxRegValue> m_RegValuesDeleteOnUpdate;
    std::vector<JxRegValue> m_RegValuesRestore;
    // Positions in m_Files (not pointers: they stay valid when m_Files grows); emptied whenever
    // the definition is loaded again.
    std::vector<size_t> m_WatchProcessFiles;
    std::vector<JxCondition> m_InstallConditions;
    std::vector<JxFile> m_Prerequisites;
    std::vector<JxCondition> m_SystemRecommendations;
    std::set<std::u16string> m_CopiedComponents; // feature name joined with component id
    std::vector<JxApplication> m_LaunchAtEndApps;
    std::vector<JxApplication> m_FinishDialogApps;
    JxProgressCallback m_ProgressCallback;
    CleanEmptyFolder m_CleanEmptyFolder;
    std::map<std::u16string, JxComponent> m_Components; // every component row by id, the last one wins
    bool m_SkipCommonUpdate = false;
    JxRequirements m_Requirements;
    JxRequirements m_SxsRequirements;
    JxShareCounterList m_ShareCounters; // reads the registry's counters when it is made
    std::vector<JxFile> m_FileMetaInformation;
    std::u16string m_appDir;      // the application folder, ending in "\"
    std::u16string m_ExeFileName; // the process executable's file name
    bool m_CancelAllowed = true;
    bool m_CountingProcessSteps = false;
    std::u16string m_WrapString;
    std::u16string m_ConfigurationXml;
    bool m_NoWrapString = true;
    CXMLDOMDocument m_ConfigDocument;
    CXMLDOMElement m_ConfigRoot;
    uint32_t m_StepsMax = 0;
    uint32_t m_StepsCurrent = 0;
    std::u16string m_InstalledProductType;
    int32_t m_InstalledMajorVersion = 0;
    IJxExternalGUI* m_Gui = nullptr; // not owned
    VirtualFS* m_Vfs = nullptr;      // not owned
    CJxObjectLock m_Mutex;
    std::unique_ptr<CPropertyAccessor> m_PropertyAccessor;
    int m_UpdateMode = 0; // 0 NOUPDATE, 1 UPDATE, 2 UPGRADE, 3 EXITSETUP, 4 RELOADCONFIG
    bool m_SkipRebootQuery = false;
    JxCustomizationData m_Customization;
    // Set by ExecuteSupportFunctions when the work of a requested support mode failed.
    bool m_bSupportModeFailed = false;
    bool m_UserCancelled = false;
    JxSequenceData m_SequenceData;
    std::unique_ptr<JxFileActionState> m_FileActionState;
    bool m_CommonUpdateMode = false; // the common-update mode is prepared (InitCommonUpdateMode)
    std::vector<std::unique_ptr<JxWebDownloadObject>> m_Billboards;
    bool m_FeatureActivationMode = false;
    JxSetupSVCData m_SetupSvc;
    bool m_DoNotLog = false;
    bool m_SkipSaveServiceStates = false;
    std::set<std::u16string> m_ExtractedPackages;
    std::set<std::u16string> m_TempPackageDirs;
    bool m_AllFeaturesActivated = false;
    JxUiSequencer m_UiSequencer;
    // The restore point of the run: made by CreateSysRestore; a point still open when the data
    // object goes is cancelled.
    std::unique_ptr<JxSystemRestorePoint> m_RestorePoint;

private:
    // Files on the disk: whether one exists, its bytes, a text written as UTF-16LE.
    static bool _disk_FileExists(const std::u16string& path);
    static bool _disk_ReadFile(const std::u16string& path, std::string& bytes);
    static bool _disk_WriteUtf16File(const std::u16string& path, const std::u16string& text);
    // Writes the bytes to a file beside the path and moves it over the path, so that the path
    // keeps its old content whole when the write fails (false, the last error set).
    static bool _disk_ReplaceFile(const std::u16string& path, const std::string& bytes);

    // Steps of LoadConfiguration.
    void _load_ResetLists();
    void _load_ReportParseError();
    void _load_Product();
    void _load_Conditions();
    void _load_Sequences();
    void _load_Features();
    void _load_Properties();
    void _load_Strings();
    void _load_Files();
    void _load_Registry();
    void _load_SelfRegFiles();
    void _load_Services();
    void _load_Applications();
    // Steps of the service registration.
    void _svc_UnRegisterRows(const JxSequenceAction& action, bool onUpdateOnly);
    // The component of a self-registration row, unless it is extracted as a package (logged).
    bool _selfreg_Component(const JxSelfRegFile& row, const WCHAR* context, JxFeature& feature,
                            JxComponent& component);
    // The paths of the file rows a self-registration row names, expanded.
    std::vector<std::u16string> _selfreg_Paths(const JxSelfRegFile& row, const JxComponent& component);
    // One run of the registration program for a server; its result is left to its own log lines.
    void _selfreg_Run(const JxSelfRegFile& row, const std::u16string& path, bool unregister);
    void _svc_ReportRegistrationFailure(const JxService& row, const JxSequenceAction& action);
    // The RunOnce entry that repairs the services when the run does not end normally.
    void _shutdown_WriteRepairEntry();
    // Minidumps of the named processes written by the engine itself (32-bit Windows).
    void _shutdown_DumpInProcess(const std::u16string& settings);

    // Steps of the command line, the stored settings and the file metadata.
    bool _settings_HasProductId(const WCHAR* context);
    std::u16string _settings_CommonAppDataFolder();
    void _settings_SaveCounters(const std::u16string& installMode);
    bool _settings_SaveProperties();
    void _settings_RemoveProduct();

    // Steps of SetCurrentLanguage; each true when it chose the current language.
    bool _lang_FromInstalledProduct(const std::vector<std::u16string>& languages);
    bool _lang_FromWindowsLanguage(const std::vector<std::u16string>& languages);
};

// The integer as decimal text ("-" before a negative value, no grouping).
std::u16string IntToWString(int value);

// The generation of a product version: the decimal number before its first "."; 0 when the text
// has no "." or that part is not a number.
int GetGenerationFromVersion(const std::u16string& version);

// Holds the object lock of a data object for one scope.
class CJxDataLock {
public:
    explicit CJxDataLock(JxData& data) : m_Data(data) { m_Data.LockObject(); }
    ~CJxDataLock() { m_Data.UnlockObject(); }
    CJxDataLock(const CJxDataLock&) = delete;
    CJxDataLock& operator=(const CJxDataLock&) = delete;

private:
    JxData& m_Data;
};

} // namespace JxSetup::Data

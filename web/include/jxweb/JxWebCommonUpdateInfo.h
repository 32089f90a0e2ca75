// The descriptions of the common update that the update servers publish as XML (UTF-16 text): the
// common-update information of a component, the redirection list, and "SetupInformation.xml" with
// its setup files, features and component files; the content-store URLs derived from them, and the
// entries of the download list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

class CXMLDOMNode;

namespace JxSetup::Data {

enum CommonUpdateType : int32_t {
    CommonUpdateUnknown = 0,
    CommonUpdateUninstall = 1,
    CommonUpdateSignature = 2,
    CommonUpdateSoftware = 3,
};

// "uninstall", "signature" or "software" ignoring case; anything else is unknown.
CommonUpdateType ParseCommonUpdateType(const std::u16string& text);

// Initialises COM for the thread and undoes it at the end when the call succeeded.
class ComInitGuard {
public:
    ComInitGuard() = default;
    ~ComInitGuard() { Uninitialize(); }
    ComInitGuard(const ComInitGuard&) = delete;
    ComInitGuard& operator=(const ComInitGuard&) = delete;
    bool Initialize(DWORD model);
    void Uninitialize();

private:
    bool m_Initialized = false;
};

class JxWebCommonUpdateInfo {
public:
    std::u16string m_Version;
    std::u16string m_UninstallerUrl;
    std::u16string m_RedirectionUrl;
    std::u16string m_ContentStoreUrl; // "akamaiuri"

    static JxWebCommonUpdateInfo ParseFromXMLString(const std::u16string& xml);
    bool IsValid() const;
    // The content-store URL of the "SetupInformation.xml" whose checksum is the SHA text.
    std::u16string GetCdnFileUrl(const std::u16string& sha) const;
};

class JxWebCommonUpdateItem {
public:
    std::u16string m_Version;
    CommonUpdateType m_Type = CommonUpdateUnknown;
    std::u16string m_Url;
    std::u16string m_PackageCode;

    static std::vector<JxWebCommonUpdateItem> ParseItemsFromXMLString(const std::u16string& xml);
};

class JxWebSetupInformationIFeature {
public:
    std::u16string m_Name;
    std::u16string m_DependsOn;
    std::u16string m_ProductTypes;
    int32_t m_Generation = 0;

    static JxWebSetupInformationIFeature ParseFeatureFromXMLNode(const CXMLDOMNode& element);
};

class JxWebSetupInformationComponentFile {
public:
    std::u16string m_Id;
    std::u16string m_FileName;
    std::u16string m_Language;
    std::u16string m_Sha;

    static JxWebSetupInformationComponentFile ParseComponentFileFromXMLNode(const CXMLDOMNode& element);
};

class JxWebSetupInformationSetupFile {
public:
    std::u16string m_Name;
    std::u16string m_Sha;
    std::u16string m_ProductTypes; // separated by ","
    int32_t m_Size = 0;
    std::vector<JxWebSetupInformationIFeature> m_Features;
    std::vector<JxWebSetupInformationComponentFile> m_ComponentFiles;

    static JxWebSetupInformationSetupFile ParseSetupFileFromXMLNode(const CXMLDOMNode& element);
};

class JxWebSetupInformation {
public:
    std::u16string m_BaseUrl; // ends with "/"
    CommonUpdateType m_Type = CommonUpdateUnknown;
    std::u16string m_Version;
    std::vector<JxWebSetupInformationSetupFile> m_SetupFiles;

    // Fills the version and appends the setup files of the text.
    void ParseFromXMLString(const std::u16string& xml);
    std::u16string GetXmlUrl() const;
    std::u16string GetShaUrl() const;
};

struct JxWebDownloadEntry {
    std::u16string m_BaseUrl;
    std::u16string m_FileName;
    std::u16string m_TargetFolder;
    std::u16string m_Sha;
    int32_t m_Size = 0;
    bool m_DownloadNeeded = true;
};

// The file of a download entry: below the content store by its checksum, else beside its
// "SetupInformation.xml".
std::u16string GetDownloadEntryUrl(const JxWebDownloadEntry& entry, const std::u16string& contentStoreUrl);

} // namespace JxSetup::Data

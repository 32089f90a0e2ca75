// The setup's command-channel client: the server information of a management server, and whether
// this machine's management service runs as a secondary server.
#include "jxbase/xml/document.h"
#include "jxmms/MmsCmd.h"
#include "jxmms/MmsCmdHost.h"
#include "jxplat/combaseapi.h"
#include "jxplat/shlwapi.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"

namespace {

// The folder of the management service's program, empty when it is not there.
std::u16string _ClientServiceFolder() {
    std::u16string image;
    HKEY hkey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\Jxmms", 0, KEY_READ,
                      &hkey) == ERROR_SUCCESS) {
        std::vector<WCHAR> buffer(2048);
        DWORD size = static_cast<DWORD>((buffer.size() - 1) * sizeof(WCHAR)), type = 0;
        if (RegQueryValueExW(hkey, u"ImagePath", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ))
            image.assign(buffer.data(), size / sizeof(WCHAR));
        RegCloseKey(hkey);
    }
    image = image.substr(0, image.find(u'\0'));
    std::erase(image, u'"');
    const size_t slash = image.find_last_of(u"\\/");
    if (slash == std::u16string::npos)
        return {};
    std::u16string folder = image.substr(0, slash);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return folder;
}

bool _ClientIsTrue(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"TRUE");
}

} // namespace

bool IsSecondaryMMS() {
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ||
        SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 4, 3, nullptr, 0, nullptr);
    const std::u16string folder = _ClientServiceFolder();
    if (folder.empty())
        return false;
    const std::u16string config = folder + u"\\Config.xml";
    if (GetFileAttributesW(config.c_str()) != INVALID_FILE_ATTRIBUTES) {
        CXMLDOMDocument document;
        if (document.Create() && document.Load(config.c_str())) {
            const CXMLDOMNode node =
                document.SelectSingleNode(u"//group[@name='Server']/setting[@name='IsSecondaryMMS']");
            if (node)
                return _ClientIsTrue(node.GetAttribute(u"value"));
        }
    }
    const std::u16string appConfig = folder + u"\\Jxmms.exe.config";
    if (GetFileAttributesW(appConfig.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    CXMLDOMDocument document;
    if (!document.Create() || !document.Load(appConfig.c_str()))
        return false;
    const CXMLDOMNode node = document.SelectSingleNode(
        u"//applicationSettings//Tolvane.Corvata.Business.Server.Jxmms.Properties.Settings/"
        u"setting[@name='IsSecondaryMMS']/value");
    return node && _ClientIsTrue(node.GetText());
}

int MmsClient::GetServerInfo(const std::u16string& hostName, google::protobuf::MessageLite& answer,
                             const std::u16string& kind, JxSetup::Data::JxLog* log) {
    if (jxtext::EqualsNoCase(kind, u"mms")) {
        const bool secondary = IsSecondaryMMS();
        MmsAuthSubject = secondary ? 5 : 4;
        if (log != nullptr)
            log->Log(JxSetup::Data::LP_INFO, u"lib", u"MmsClient::GetServerInfo",
                     secondary ? u"Set AuthSubject to Secondary MMS" : u"Set AuthSubject to Sub MMS");
    } else {
        MmsAuthSubject = 1;
    }
    MmsHostConfig config;
    config.hosts.push_back(
        {MmsHostMain, hostName.empty() ? std::string("localhost") : MmsCmd::WideToUtf8(hostName)});
    config.transport = 0;
    MmsCmdHostRegistry::Instance().SetHosts(config);
    MmsCmdImpl impl(MmsHostAnyMain, nullptr);
    MmsCmd cmd(&impl, false);
    return cmd.Get("api/common/serverinfo", answer, 0, nullptr, nullptr);
}

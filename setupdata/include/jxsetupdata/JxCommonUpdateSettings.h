// What an outside caller of the setup data gives to prepare the common-update mode, and the blocks
// of downloaded bytes (billboards) the setup data keeps for it.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace JxSetup::Data {

struct JxCommonUpdateSettings {
    std::u16string m_ProductVersion;
    std::u16string m_Component;
    std::u16string m_DownloadFolder;
    std::u16string m_ProductId;
    BOOL m_OpenLog = FALSE;
    std::u16string m_LogFileName;
    std::u16string m_ProxyUrl;
    std::u16string m_ProxyUser;
    std::u16string m_ProxyPassword;
    DWORD m_NoCertCheck = 0; // 1: certificates are not checked

    bool IsComplete() const {
        return !m_ProductVersion.empty() && !m_Component.empty() && !m_DownloadFolder.empty() &&
               !m_ProductId.empty();
    }
};

// A block of downloaded bytes.
class JxWebDownloadObject {
public:
    JxWebDownloadObject() = default;
    virtual ~JxWebDownloadObject() = default;
    std::vector<BYTE> m_Data;
    DWORD Length() const { return static_cast<DWORD>(m_Data.size()); }
};

} // namespace JxSetup::Data

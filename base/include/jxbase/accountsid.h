// A copied security identifier with its account names, as the local system looks them up.
#pragma once

#include <string>

#include <windows.h>

class CAccountSid {
public:
    CAccountSid() = default;
    explicit CAccountSid(PSID sid);
    ~CAccountSid();
    CAccountSid(const CAccountSid&) = delete;
    CAccountSid& operator=(const CAccountSid&) = delete;

    // Empties the object, then copies a valid SID, makes its text form and looks its account up.
    // An invalid SID or a failed allocation returns false and leaves the object empty; a failed
    // lookup leaves the names empty but still succeeds.
    bool Assign(PSID sid);
    void Reset();

    bool IsValid() const { return m_bValid; }
    // The owned copy; null when empty.
    PSID GetSid() const { return m_pSid; }
    DWORD GetSidLength() const { return m_dwSidLength; }
    const std::u16string& GetAccountName() const { return m_accountName; }
    const std::u16string& GetSidText() const { return m_sidText; }
    const std::u16string& GetDomainName() const { return m_domainName; }
    SID_NAME_USE GetAccountType() const { return m_accountType; }

private:
    void _sid_LookupAccount();

    PSID m_pSid = nullptr;
    DWORD m_dwSidLength = 0;
    bool m_bValid = false;
    std::u16string m_accountName;
    std::u16string m_sidText;
    std::u16string m_domainName;
    SID_NAME_USE m_accountType = SidTypeUser;
};

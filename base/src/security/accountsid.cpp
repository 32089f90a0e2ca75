// CAccountSid: an owned copy of a SID with its text form and the account the local system names.
#include "jxbase/accountsid.h"

#include <cstring>
#include <new>
#include <vector>

#include "jxbase/trace.h"

CAccountSid::CAccountSid(PSID sid) {
    Assign(sid);
}

CAccountSid::~CAccountSid() {
    Reset();
}

void CAccountSid::Reset() {
    if (m_pSid) {
        LocalFree(m_pSid);
        m_pSid = nullptr;
    }
    m_accountName.clear();
    m_sidText.clear();
    m_domainName.clear();
    m_accountType = SidTypeUser;
    m_dwSidLength = 0;
    m_bValid = false;
}

bool CAccountSid::Assign(PSID sid) {
    Reset();
    if (!sid || !IsValidSid(sid)) {
        JX_QRV_TRACE(0, u"CAccountSid::Assign", u"the SID is not valid\n");
        return false;
    }
    const DWORD length = GetLengthSid(sid);
    // One byte more than the SID needs, zeroed.
    PSID copy = LocalAlloc(LPTR, length + 1);
    if (!copy) {
        JX_QRV_TRACE(0, u"CAccountSid::Assign", u"LocalAlloc of %lu bytes failed\n", length + 1);
        return false;
    }
    if (!CopySid(length + 1, copy, sid)) {
        JX_QRV_TRACE(0, u"CAccountSid::Assign", u"CopySid failed with %lu\n", GetLastError());
        LocalFree(copy);
        return false;
    }
    m_pSid = copy;
    m_dwSidLength = length;
    LPWSTR text = nullptr;
    if (ConvertSidToStringSidW(m_pSid, &text)) {
        m_sidText = text;
        LocalFree(text);
    } else {
        JX_QRV_TRACE(0, u"CAccountSid::Assign", u"ConvertSidToStringSid failed with %lu\n", GetLastError());
    }
    _sid_LookupAccount();
    m_bValid = true;
    return true;
}

// The account's names on the local system; they stay empty when the lookup fails.
void CAccountSid::_sid_LookupAccount() {
    DWORD nameSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use = SidTypeUser;
    if (LookupAccountSidW(nullptr, m_pSid, nullptr, &nameSize, nullptr, &domainSize, &use) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        JX_QRV_TRACE(0, u"CAccountSid::Assign", u"LookupAccountSid of %ls failed with %lu\n",
                     m_sidText.c_str(), GetLastError());
        return;
    }
    std::vector<WCHAR> name;
    std::vector<WCHAR> domain;
    try {
        name.assign(nameSize + 1, 0);
        domain.assign(domainSize + 1, 0);
    } catch (const std::bad_alloc&) {
        JX_QRV_TRACE(0, u"CAccountSid::Assign", u"no memory for the account names\n");
        return;
    }
    nameSize = static_cast<DWORD>(name.size());
    domainSize = static_cast<DWORD>(domain.size());
    if (!LookupAccountSidW(nullptr, m_pSid, name.data(), &nameSize, domain.data(), &domainSize, &use)) {
        JX_QRV_TRACE(0, u"CAccountSid::Assign", u"LookupAccountSid of %ls failed with %lu\n",
                     m_sidText.c_str(), GetLastError());
        return;
    }
    m_accountName = name.data();
    m_domainName = domain.data();
    m_accountType = use;
}

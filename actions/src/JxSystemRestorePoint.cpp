// The system restore point of an installation, over the System Restore client functions that
// "SrClient.dll" exports. A machine without the library (a server edition) has no restore
// service: every operation answers 0 and the installation goes on.
#include "jxsetupdata/JxSystemRestorePoint.h"

#include <algorithm>

#include "jxbase/trace.h"

namespace JxSetup::Data {
namespace {

// Traces at a debug level of at least `level`.
#define JX_SR_TRACE(level, operation, format, ...)                                                           \
    JX_ENGINE_TRACE((level)-1, u"JxSetup::Data::JxSystemRestorePoint::" operation, format, ##__VA_ARGS__)

// The principals that may call back into this process: administrators, the service accounts,
// SELF and LOCAL SYSTEM.
const WELL_KNOWN_SID_TYPE kComPrincipals[] = {WinBuiltinAdministratorsSid, WinLocalServiceSid,
                                              WinNetworkServiceSid, WinSelfSid, WinLocalSystemSid};

struct CWellKnownSid {
    alignas(DWORD) BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
    PSID Get() { return bytes; }
};

} // namespace

JxSystemRestorePoint::JxSystemRestorePoint() {
    m_Library = LoadLibraryW(u"SrClient.dll");
    JX_SR_TRACE(5, u"JxSystemRestorePoint", u"Initializing SystemRestore API. Loading SrClientDll: %08X\n",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_Library)));
    if (!m_Library) {
        JX_SR_TRACE(2, u"JxSystemRestorePoint",
                    u"SystemRestore API could not be loaded. No restore point service available!\n");
        return;
    }
    m_SetRestorePoint =
        reinterpret_cast<PFN_SRSetRestorePointW>(GetProcAddress(m_Library, "SRSetRestorePointW"));
    m_RemoveRestorePoint =
        reinterpret_cast<PFN_SRRemoveRestorePoint>(GetProcAddress(m_Library, "SRRemoveRestorePoint"));
    if (!m_SetRestorePoint || !m_RemoveRestorePoint) {
        JX_SR_TRACE(2, u"JxSystemRestorePoint", u"API loaded, but not usable.\n");
        _sr_Unload();
        return;
    }
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        JX_SR_TRACE(2, u"JxSystemRestorePoint", u"Unexpected error: CoInitializeEx() failed with 0x%08x\n",
                    static_cast<unsigned>(hr));
        return;
    }
    m_bComInitialized = true; // S_OK or S_FALSE: either is balanced by the destructor
    if (!SetComSecurity()) {
        JX_SR_TRACE(2, u"JxSystemRestorePoint", u"Could not set COM security. Disabling SRS.\n");
        _sr_Unload();
    }
}

JxSystemRestorePoint::~JxSystemRestorePoint() {
    if (m_SequenceNumber != 0) {
        JX_SR_TRACE(2, u"~JxSystemRestorePoint",
                    u"There is still a restore point opened! Closing it as FAILED\n");
        EndSystemRestorePoint(false);
    }
    if (m_Library) {
        JX_SR_TRACE(5, u"~JxSystemRestorePoint", u"Unloading system restore point API.\n");
        _sr_Unload();
        JX_SR_TRACE(5, u"~JxSystemRestorePoint", u"Unloading done.\n");
    }
    // Only an initialization of this object is undone: the thread's COM stays as its owner set it.
    if (m_bComInitialized)
        CoUninitialize();
}

void JxSystemRestorePoint::_sr_Unload() {
    if (m_Library)
        FreeLibrary(m_Library);
    m_Library = nullptr;
    m_SetRestorePoint = nullptr;
    m_RemoveRestorePoint = nullptr;
}

bool JxSystemRestorePoint::SetComSecurity() {
    CWellKnownSid sids[std::size(kComPrincipals)];
    DWORD aclSize = sizeof(ACL);
    for (size_t i = 0; i < std::size(kComPrincipals); ++i) {
        DWORD size = SECURITY_MAX_SID_SIZE;
        if (!CreateWellKnownSid(kComPrincipals[i], nullptr, sids[i].Get(), &size))
            return false;
        aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sids[i].Get());
    }
    alignas(DWORD) BYTE aclBytes[512] = {};
    PACL acl = reinterpret_cast<PACL>(aclBytes);
    if (aclSize > sizeof(aclBytes) || !InitializeAcl(acl, aclSize, ACL_REVISION))
        return false;
    for (CWellKnownSid& sid : sids)
        if (!AddAccessAllowedAce(acl, ACL_REVISION, COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL, sid.Get()))
            return false;
    SECURITY_DESCRIPTOR descriptor = {};
    PSID administrators = sids[0].Get();
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, administrators, FALSE) ||
        !SetSecurityDescriptorGroup(&descriptor, administrators, FALSE) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE))
        return false;
    const HRESULT hr = CoInitializeSecurity(&descriptor, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                            RPC_C_IMP_LEVEL_IDENTIFY, nullptr,
                                            EOAC_DISABLE_AAA | EOAC_NO_CUSTOM_MARSHAL, nullptr);
    // The engine's start-up sets the process's security first, and it can be set only once: the
    // client then works with the security the process has.
    if (hr == RPC_E_TOO_LATE) {
        JX_SR_TRACE(5, u"SetComSecurity", u"COM security of the process is already set.\n");
        return true;
    }
    return SUCCEEDED(hr);
}

int JxSystemRestorePoint::BeginSystemRestorePoint(const std::u16string& description) {
    if (!m_SetRestorePoint) {
        JX_SR_TRACE(2, u"BeginSystemRestorePoint", u"SystemRestore Services not usable.\n");
        return 0;
    }
    if (m_SequenceNumber != 0) {
        JX_SR_TRACE(2, u"BeginSystemRestorePoint",
                    u"There is already a system restore point recording session with ID #%i running.\n",
                    static_cast<int>(m_SequenceNumber));
        JX_SR_TRACE(5, u"BeginSystemRestorePoint", u"Will not start another session.\n");
        return 1;
    }
    m_Request = {};
    m_Request.dwEventType = BEGIN_SYSTEM_CHANGE;
    m_Request.dwRestorePtType = APPLICATION_INSTALL;
    // The record holds 255 units and the terminator: a longer description is cut.
    const size_t length = std::min<size_t>(description.size(), MAX_DESC_W - 1);
    std::copy_n(description.begin(), length, m_Request.szDescription);
    m_Status = {};
    if (!m_SetRestorePoint(&m_Request, &m_Status)) {
        JX_SR_TRACE(1, u"BeginSystemRestorePoint",
                    u"System restore point recording start failed with error %08X.\n",
                    static_cast<unsigned>(m_Status.nStatus));
        return 0;
    }
    m_SequenceNumber = m_Status.llSequenceNumber;
    JX_SR_TRACE(5, u"BeginSystemRestorePoint", u"System restore point recording started with ID #%i\n",
                static_cast<int>(m_SequenceNumber));
    return 1;
}

BOOL JxSystemRestorePoint::EndSystemRestorePoint(bool success) {
    if (!m_SetRestorePoint) {
        JX_SR_TRACE(2, u"EndSystemRestorePoint", u"SystemRestore Services not usable.\n");
        return 0;
    }
    if (m_SequenceNumber == 0) {
        JX_SR_TRACE(5, u"EndSystemRestorePoint", u"System restore point recording not started. Ignoring.\n");
        return 0;
    }
    JX_SR_TRACE(5, u"EndSystemRestorePoint", u"Ending recoring session #%i with result %s.\n",
                static_cast<int>(m_SequenceNumber), success ? u"SUCCESS" : u"FAILURE");
    m_Request = {};
    m_Request.dwEventType = END_SYSTEM_CHANGE;
    m_Request.llSequenceNumber = m_SequenceNumber;
    m_Request.dwRestorePtType = success ? APPLICATION_INSTALL : CANCELLED_OPERATION;
    m_Status = {};
    const BOOL result = m_SetRestorePoint(&m_Request, &m_Status);
    m_SequenceNumber = 0;
    return result;
}

} // namespace JxSetup::Data

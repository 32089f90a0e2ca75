// The HTTP client's settings, result helpers, session (user agent) and the process-wide client
// lock. The transfer itself is in httptransfer.cpp.
#include <array>
#include <atomic>
#include <algorithm>
#include <cstring>
#include <string>

#include "jxbase/ServiceController.h"
#include "jxweb/HttpClient.h"

namespace {

std::u16string _http_Decimal(DWORD n) {
    std::u16string text;
    for (char c : std::to_string(n))
        text.push_back(static_cast<char16_t>(c));
    return text;
}

// Clients whose helper was destroyed while their worker still ran; guarded by the client lock.
std::vector<const HttpClient*>& _http_InvalidClients() {
    static auto* list = new std::vector<const HttpClient*>;
    return *list;
}

} // namespace

std::u16string HttpClient::Result::GetHeader(const std::u16string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::u16string() : it->second;
}

bool HttpClient::Result::HasHeaderWithPrefix(const std::u16string& name, const std::u16string& prefix) const {
    auto it = headers.find(name);
    return it != headers.end() && it->second.size() >= prefix.size() &&
           it->second.compare(0, prefix.size(), prefix) == 0;
}

void HttpClient::Result::NameProtobufError(DWORD code, std::u16string& text) {
    switch (code & ~0x20000000u) {
    case 11:
        text = u"ErrProtobufSerialize";
        break;
    case 12:
        text = u"ErrProtobufDeserialize";
        break;
    case 13:
        text = u"ErrProtobufInvalidContentType";
        break;
    default:
        break;
    }
}

CRITICAL_SECTION& HttpClient::ClientLock() {
    // Deliberately leaked: a client destroyed during static destruction still finds the lock.
    static CRITICAL_SECTION* lock = [] {
        auto* section = new CRITICAL_SECTION;
        InitializeCriticalSectionAndSpinCount(section, 1000);
        return section;
    }();
    return *lock;
}

void HttpClient::AddInvalidHttpClient(const HttpClient* client) {
    EnterCriticalSection(&ClientLock());
    _http_InvalidClients().push_back(client);
    LeaveCriticalSection(&ClientLock());
}

bool HttpClient::IsInvalidHttpClient(const HttpClient* client) {
    auto& list = _http_InvalidClients();
    auto it = std::find(list.begin(), list.end(), client);
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

namespace {

// The time-outs a test gave every new client (all 0: none given).
std::array<std::atomic<DWORD>, 5> g_TestTimeouts{};

} // namespace

HttpClient::HttpClient(ProgressCallback progress, DWORD initialReceiveBufferSize)
    : m_ProgressCallback(std::move(progress)), m_InitialReceiveBufferSize(initialReceiveBufferSize) {
    m_CancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    InitializeCriticalSection(&m_TransferLock);
    if (g_TestTimeouts[1])
        SetTimeouts(g_TestTimeouts[0], g_TestTimeouts[1], g_TestTimeouts[2], g_TestTimeouts[3],
                    g_TestTimeouts[4]);
}

void HttpClient::SetDefaultTimeoutsForTesting(DWORD resolve, DWORD connect, DWORD send, DWORD receive,
                                              DWORD receiveResponse) {
    g_TestTimeouts[0] = resolve;
    g_TestTimeouts[2] = send;
    g_TestTimeouts[3] = receive;
    g_TestTimeouts[4] = receiveResponse;
    g_TestTimeouts[1] = connect; // the one a new client looks at
}

HttpClient::~HttpClient() {
    EnterCriticalSection(&ClientLock());
    m_SessionOpen = false;
    ClearRequestBody();
    if (m_CancelEvent)
        CloseHandle(m_CancelEvent);
    m_CancelEvent = nullptr;
    LeaveCriticalSection(&ClientLock());
    DeleteCriticalSection(&m_TransferLock);
}

void HttpClient::SetRequestHeader(const std::u16string& name, const std::u16string& value) {
    m_RequestHeaders[name] = value;
}

void HttpClient::ClearRequestHeaders() {
    m_RequestHeaders.clear();
}

void HttpClient::SetRequestBody(const void* data, DWORD length, bool copy) {
    if (!data)
        return;
    ClearRequestBody();
    if (copy) {
        m_OwnedBody.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + length);
        m_RequestBody = m_OwnedBody.data();
        m_RequestBodyOwned = true;
    } else {
        m_RequestBody = static_cast<const BYTE*>(data);
    }
    m_RequestBodyLength = length;
}

void HttpClient::ClearRequestBody() {
    if (m_RequestBodyOwned)
        std::vector<BYTE>().swap(m_OwnedBody);
    m_RequestBodyOwned = false;
    m_RequestBody = nullptr;
    m_RequestBodyLength = 0;
}

void HttpClient::SetProxy(const std::u16string& url, const std::u16string& user,
                          const std::u16string& password) {
    m_ProxyUrl = url;
    m_ProxyUser = user;
    m_ProxyPassword = password;
}

void HttpClient::SetTimeouts(DWORD resolve, DWORD connect, DWORD send, DWORD receive, DWORD receiveResponse) {
    // Each request takes its time-outs from here, so an open session sees them at once.
    m_ResolveTimeout = resolve;
    m_ConnectTimeout = connect;
    m_SendTimeout = send;
    m_ReceiveTimeout = receive;
    m_ReceiveResponseTimeout = receiveResponse;
}

void HttpClient::SetConnectionInfoCallback(ConnectionInfoCallback callback) {
    m_ConnectionInfoCallback = std::move(callback);
}

void HttpClient::SetThrottleForTesting(std::function<LONGLONG()> ticks, std::function<bool(DWORD)> wait) {
    m_ThrottleTicks = std::move(ticks);
    m_ThrottleWait = std::move(wait);
}

void HttpClient::SetRequestPieceObserverForTesting(std::function<void(DWORD)> observer) {
    m_RequestPieceObserver = std::move(observer);
}

bool HttpClient::IsCanceled(DWORD milliseconds) const {
    return !m_CancelEvent || WaitForSingleObject(m_CancelEvent, milliseconds) == WAIT_OBJECT_0;
}

bool HttpClient::ReportProgress(DWORD chunk, DWORD received, DWORD total) const {
    return !m_ProgressCallback || m_ProgressCallback(chunk, received, total);
}

bool HttpClient::OpenSession() {
    if (m_SessionOpen)
        return true;
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&version));
    DWORD major = version.dwMajorVersion, minor = version.dwMinorVersion;
    // Without a compatibility manifest the system answers 6.2 from Windows 8 on; the registry
    // knows better.
    if (major >= 6 && minor >= 2) {
        GetWindowsVersionFromRegistry(version);
        major = version.dwMajorVersion;
        minor = version.dwMinorVersion;
        if (major >= 6 && minor >= 3) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                              KEY_READ, &key) == ERROR_SUCCESS) {
                DWORD value = 0, size = sizeof value, type = 0;
                if (RegQueryValueExW(key, u"CurrentMajorVersionNumber", nullptr, &type,
                                     reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                    type == REG_DWORD) {
                    major = value;
                    size = sizeof value;
                    if (RegQueryValueExW(key, u"CurrentMinorVersionNumber", nullptr, &type,
                                         reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                        type == REG_DWORD)
                        minor = value;
                }
                RegCloseKey(key);
            }
        }
    }
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    bool x64 = wow64 != FALSE;
    if (!x64) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0, KEY_READ,
                          &key) == ERROR_SUCCESS) {
            WCHAR text[64] = {};
            DWORD size = sizeof text - sizeof(WCHAR), type = 0;
            if (RegQueryValueExW(key, u"PROCESSOR_ARCHITECTURE", nullptr, &type,
                                 reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS)
                x64 = std::u16string(text).find(u"64") != std::u16string::npos;
            RegCloseKey(key);
        }
    }
    m_UserAgent = m_UserAgentPrefix + u" (Windows NT " + _http_Decimal(major) + u"." + _http_Decimal(minor) +
                  (x64 ? u"; x64" : u"; x86") + u")";
    m_SessionOpen = true;
    return true;
}

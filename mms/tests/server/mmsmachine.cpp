// The machine of the management-server tests (see mmsmachine.h).
#include "mmsmachine.h"

#include <Poco/Net/ServerSocket.h>
#include <filesystem>
#include <fstream>

#include <windows.h>

#include "jxplat/text.h"

namespace jxmmstest {

MmsMachine::MmsMachine() : m_OwnRoot(std::make_unique<jxtest::TempMachineRoot>()) {
    jxplat::MachineDescription d;
    d.readyServices = {"jxmms"};
    m_OwnRoot->Describe(d);
    m_Path = m_OwnRoot->Path();
    _Prepare();
}

MmsMachine::MmsMachine(const std::string& machineRoot) : m_Path(machineRoot) {
    _Prepare();
}

void MmsMachine::_Prepare() {
    m_Pki = std::make_unique<jxwebtest::TestPki>(m_Path);
    m_Port = FreePort();
    ReserveUrl(u"https://+:" + jxtext::ToText(static_cast<int>(m_Port)) + u"/tolvane/mms/");
    std::filesystem::create_directories(MmsServerFiles::Folder(m_Path));
    WriteSettings(Settings());
}

MmsMachine::~MmsMachine() {
    StopService();
}

MmsServerSettings MmsMachine::Settings() const {
    MmsServerSettings s;
    s.port = m_Port;
    s.certificatePem = m_Pki->selfSigned.certificatePem;
    s.keyPem = m_Pki->selfSigned.keyPem;
    return s;
}

void MmsMachine::WriteSettings(const MmsServerSettings& settings) const {
    std::ofstream(MmsServerFiles::Settings(m_Path), std::ios::trunc) << settings.Save();
}

void MmsMachine::RegisterService(DWORD startType) const {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    const std::u16string image = u"\"" + ProgramPath() + u"\"";
    SC_HANDLE service = CreateServiceW(scm, u"jxmms", u"Management server", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                       image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(scm);
}

void MmsMachine::UnregisterService() const {
    StopService();
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = scm ? OpenServiceW(scm, u"jxmms", SERVICE_ALL_ACCESS) : nullptr;
    if (service) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
    if (scm)
        CloseServiceHandle(scm);
}

bool MmsMachine::ServiceRunning() const {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = scm ? OpenServiceW(scm, u"jxmms", SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS status{};
    const bool running =
        service && QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
    if (service)
        CloseServiceHandle(service);
    if (scm)
        CloseServiceHandle(scm);
    return running;
}

DWORD MmsMachine::ServiceStartType() const {
    HKEY key = nullptr;
    DWORD start = 0xFFFFFFFF, size = sizeof(start), type = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\jxmms", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        RegQueryValueExW(key, u"Start", nullptr, &type, reinterpret_cast<BYTE*>(&start), &size);
        RegCloseKey(key);
    }
    return start;
}

bool MmsMachine::StartService() const {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = scm ? OpenServiceW(scm, u"jxmms", SERVICE_ALL_ACCESS) : nullptr;
    const bool started = service && StartServiceW(service, 0, nullptr);
    if (service)
        CloseServiceHandle(service);
    if (scm)
        CloseServiceHandle(scm);
    return started;
}

bool MmsMachine::StopService() const {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = scm ? OpenServiceW(scm, u"jxmms", SERVICE_ALL_ACCESS) : nullptr;
    SERVICE_STATUS status{};
    const bool stopped = service && ControlService(service, SERVICE_CONTROL_STOP, &status);
    if (service)
        CloseServiceHandle(service);
    if (scm)
        CloseServiceHandle(scm);
    return stopped;
}

std::vector<MmsRecordedRequest> MmsMachine::Requests() const {
    return MmsServerFiles::ReadRecord(m_Path);
}

void MmsMachine::ReserveUrl(const std::u16string& prefix) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\UrlAclInfo",
                    0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    const std::u16string sddl = u"D:(A;;GX;;;NS)";
    RegSetValueExW(key, prefix.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(sddl.c_str()),
                   static_cast<DWORD>((sddl.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
}

void MmsMachine::RemoveReservations() {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\UrlAclInfo",
                    KEY_WOW64_64KEY, 0);
}

uint16_t MmsMachine::FreePort() {
    Poco::Net::ServerSocket socket(Poco::Net::SocketAddress("127.0.0.1", 0));
    const uint16_t port = socket.address().port();
    socket.close();
    return port;
}

void MmsMachine::SetProcessorArchitecture(const std::u16string& text) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                    0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, u"PROCESSOR_ARCHITECTURE", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
}

std::u16string MmsMachine::ProgramPath() {
    std::u16string path = u"Z:" + jxtext::W(jxtest::BuildDir() + "/tests/programs/jxmms.exe");
    for (char16_t& c : path)
        if (c == u'/')
            c = u'\\';
    return path;
}

} // namespace jxmmstest

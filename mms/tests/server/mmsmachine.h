// A machine root with a management server for one test: a self-signed certificate made for it, a
// free port on 127.0.0.1 reserved for the server's API as HTTP.sys keeps reservations, and the
// service "jxmms" whose program (tests/programs/jxmms.exe) runs the test management server with
// the settings the test writes. The Service Control Manager's start of the service returns once
// the server listens.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "jxtest/machine_root.h"
#include "mmstestserver.h"

namespace jxmmstest {

class MmsMachine {
public:
    // A fresh machine root of its own.
    MmsMachine();
    // The server on a machine root the caller made; its description must name "jxmms" among its
    // readyServices.
    explicit MmsMachine(const std::string& machineRoot);
    ~MmsMachine();

    const std::string& Path() const { return m_Path; }
    const jxwebtest::TestPki& Pki() const { return *m_Pki; }
    // The reserved port of the API.
    uint16_t Port() const { return m_Port; }
    // Default settings: the reserved port and the self-signed certificate.
    MmsServerSettings Settings() const;
    // Writes the settings the service program reads when it starts.
    void WriteSettings(const MmsServerSettings& settings) const;
    // Registers the service "jxmms" (stopped, start type manual unless given).
    void RegisterService(DWORD startType = SERVICE_DEMAND_START) const;
    // Stops and deletes the service.
    void UnregisterService() const;
    bool ServiceRunning() const;
    DWORD ServiceStartType() const;
    // Starts or stops the service as an administrator would.
    bool StartService() const;
    bool StopService() const;
    // The requests the service's server has recorded.
    std::vector<MmsRecordedRequest> Requests() const;

    // Reserves a URL prefix ("https://+:8443/tolvane/mms/") in the registry of HTTP.sys.
    static void ReserveUrl(const std::u16string& prefix);
    static void RemoveReservations();
    // A port on 127.0.0.1 that nothing listens on right now.
    static uint16_t FreePort();
    // The Windows path of the service program.
    static std::u16string ProgramPath();
    // "PROCESSOR_ARCHITECTURE" of the system environment, as Windows sets it ("AMD64", "x86").
    static void SetProcessorArchitecture(const std::u16string& text);

private:
    void _Prepare();

    std::unique_ptr<jxtest::TempMachineRoot> m_OwnRoot;
    std::string m_Path;
    std::unique_ptr<jxwebtest::TestPki> m_Pki;
    uint16_t m_Port = 0;
};

} // namespace jxmmstest

// The clients of the product's drivers that initialization uses to test the connection: the
// file-system filter driver's process manager and the legacy driver's.
#pragma once

#include <windows.h>

namespace JxSetup::Data {

// Whether the current user is in the Administrators group (no linked-token test).
bool IsCurrentUserAdmin();

class CProcessManager {
public:
    explicit CProcessManager(bool isAdmin) : m_bAdmin(isAdmin) {}
    // Opens the control device and reads the driver's property bag; false when the driver is absent.
    bool Connect(int mode, int flags);

private:
    bool m_bAdmin;
};

class CLegacyProcessManager {
public:
    explicit CLegacyProcessManager(bool isAdmin) : m_bAdmin(isAdmin) {}
    bool Connect(int mode, int flags);

private:
    bool m_bAdmin;
};

} // namespace JxSetup::Data

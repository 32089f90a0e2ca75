// The SQL connection parameters that a GUI module fills in and hands to the management-server
// operations of the setup data. The module builds the record itself, so its layout (one virtual
// operation, the destructor, then the fields in this order) is part of the setup-data interface.
#pragma once

#include <string>

namespace JxSetup::Data {

class JxWebSqlDBRequest {
public:
    // Every text empty; the flag is left for the creator to set.
    JxWebSqlDBRequest() {}
    virtual ~JxWebSqlDBRequest() {}

    // The SQL server: a machine, or a machine and an instance joined by a backslash.
    std::u16string m_Server;
    std::u16string m_Database;
    bool m_UseWindowsAuthentication;
    std::u16string m_User;
    std::u16string m_Password;
    // Passed on to the server unchanged; the setup itself leaves it empty.
    std::u16string m_AdditionalSetting;
};

} // namespace JxSetup::Data

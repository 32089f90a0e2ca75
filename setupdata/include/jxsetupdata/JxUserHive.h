// One profile of the machine whose registry hive the registry actions may need loaded.
#pragma once

#include <string>

namespace JxSetup::Data {

struct JxUserHive {
    std::u16string m_Sid;      // the user's SID, the name of its sub-key of "ProfileList"
    std::u16string m_HiveFile; // the profile's "NTUSER.DAT"
    bool m_LoadedBySetup = false;
};

} // namespace JxSetup::Data

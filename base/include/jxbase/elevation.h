// Whether the user is an administrator, whether the process runs elevated, and whether User
// Account Control would let it elevate (and without a prompt). The engine asks these before it
// relaunches itself elevated.
#pragma once

#include <windows.h>

// The calling thread's token is a member of Administrators (S-1-5-32-544). When it is not and
// checkLinkedToken is set, the linked token of the process is tested as well: that finds an
// administrator whose process runs with the filtered token of UAC. Any failing step counts as
// "not a member".
bool IsUserAdmin(bool checkLinkedToken);
// The process token reports itself elevated.
bool IsProcessElevated();
// UAC is on (Windows 6.0 or later, "EnableLUA" not 0) and either the user is an administrator
// (linked token included) or standard users may ask for elevation ("ConsentPromptBehaviorUser"
// not 0).
bool CanElevateWithUac();
bool IsUserAdminOrCanElevate();
// IsUserAdmin(checkLinkedToken). When elevatesSilently is given it tells whether an administrator
// is elevated without a prompt ("ConsentPromptBehaviorAdmin" 0 with UAC on).
bool IsUserAdminEx(bool checkLinkedToken, bool* elevatesSilently = nullptr);

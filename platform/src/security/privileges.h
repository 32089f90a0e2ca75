// The process token's privileges, as the registry and other parts of the stand-in check them.
#pragma once

#include <string_view>

#include "jxplat/security.h"

namespace jxplat::security {

// The privilege's LUID by its name ("SeBackupPrivilege"), ignoring case; false for unknown names.
bool PrivilegeLuid(std::u16string_view name, LUID* luid);
// The name of a privilege's LUID; empty for an unknown one.
std::u16string_view PrivilegeName(const LUID& luid);
// Whether the process token holds the privilege and has it enabled now.
bool IsPrivilegeEnabled(std::u16string_view name);

} // namespace jxplat::security

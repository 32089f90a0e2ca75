// The script that removes the setup program after the engine has ended (JxData_SelfDelete*.cpp).
#pragma once

#include <string>

namespace JxSetup::Data {

// How often the script tries to delete the setup program, with a pause of about a second
// between two tries, before it gives up and leaves the rest to the reboot.
inline constexpr int kSelfDeleteTries = 60;

// The batch text, ready for the file: narrow text in the ANSI code page, lines ended by CR LF.
std::string _selfdel_ScriptText(const std::u16string& setupProgram, const std::u16string& script,
                                const std::u16string& folder);

} // namespace JxSetup::Data

// The name the file actions know the base library's redirection guard by: with true, redirection
// is off on this thread while the object lives.
#pragma once

#include "jxbase/wow64guard.h"

namespace JxSetup::Data {

using CWow64RedirectionOff = ::CWow64FsRedirectionGuard;

} // namespace JxSetup::Data

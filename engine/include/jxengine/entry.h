// The program entry: one engine-control object and the chain of a whole run.
#pragma once

#include <functional>

#include <windows.h>

int JxSetupEntry(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

namespace JxSetup::Data {

// The outermost exception boundary: the run's exit code, or 1 after an ERROR line when the run
// ended with an exception.
int RunGuarded(const std::function<int()>& run);

} // namespace JxSetup::Data

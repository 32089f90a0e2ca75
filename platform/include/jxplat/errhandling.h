// The calling thread's last-error value.
#pragma once

#include "jxplat/wintypes.h"

DWORD GetLastError();
void SetLastError(DWORD code);

// The stand-in's Win32 API, as the engine's code includes it on Windows.
#pragma once

#include "jxplat/wintypes.h"
#include "jxplat/winerror.h"
#include "jxplat/errhandling.h"
#include "jxplat/winbase.h"
#include "jxplat/winreg.h"
#include "jxplat/winuser.h"
#include "jxplat/debugapi.h"
#include "jxplat/processenv.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/combaseapi.h"
#include "jxplat/fileapi.h"
#include "jxplat/winver.h"

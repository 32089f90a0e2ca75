// The debug-help functions of Windows as far as the engine calls them.
#pragma once
#include "jxplat/dbghelp.h"

// The device-installation functions of Windows as far as the engine calls them.
#pragma once
#include "jxplat/setupapi.h"

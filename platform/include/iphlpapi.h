// The IP helper of Windows as far as the engine calls it.
#pragma once
#include "jxplat/iphlpapi.h"

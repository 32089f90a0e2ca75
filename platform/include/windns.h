// The DNS client API of Windows as far as the engine calls it.
#pragma once
#include "jxplat/windns.h"

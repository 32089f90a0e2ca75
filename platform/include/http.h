// The HTTP Server API of Windows as far as the engine calls it.
#pragma once
#include "jxplat/http.h"

// Windows Sockets 1.1 as far as the engine calls it.
#pragma once
#include "jxplat/winsock.h"

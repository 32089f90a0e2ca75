// Windows Sockets 2 as far as the engine calls it.
#pragma once
#include "jxplat/winsock.h"

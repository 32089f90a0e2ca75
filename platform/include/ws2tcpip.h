// Name resolution and address texts of Windows Sockets 2.
#pragma once
#include "jxplat/winsock.h"

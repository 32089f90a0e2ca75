// The program entry: one engine-control object and the chain of a whole run.
#pragma once

#include <windows.h>

int JxSetupEntry(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

// The high-resolution performance counter: a monotonic count and its ticks per second.
#pragma once

#include "jxplat/fileapi.h" // LARGE_INTEGER

BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

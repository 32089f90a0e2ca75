// NT-form paths of the drivers (\Device\HarddiskVolume2\..., \??\C:\...,
// \??\UNC\...) in their Win32 form, through the filter manager's volume names,
// a short-lived cache of them, fixed prefixes and a probe of the local fixed
// drives.
#pragma once

#include <string>

#include <windows.h>

// Empty for an empty input; the input itself when no rule applies or the filter
// library is missing.
void ConvertNtPathToDosPath(const WCHAR* ntPath, std::u16string& dosPath);

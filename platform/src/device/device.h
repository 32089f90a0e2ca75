// The device part of CreateFileW.
#pragma once

#include <string_view>

#include "jxplat/wintypes.h"

namespace jxplat {
// "\\.\Name": a device, not a file.
bool IsDevicePath(std::u16string_view path);
// Connects to the driver's socket; INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND when no driver
// serves the device.
HANDLE OpenDevice(std::u16string_view path);
} // namespace jxplat

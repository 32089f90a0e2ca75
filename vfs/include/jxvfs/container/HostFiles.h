// Whole-file reads and writes of host files, for the package writer and the package tool.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace jxpkg {

// Reads the whole file; false when it cannot be opened or read.
bool ReadHostFileBytes(const std::string& path, std::vector<BYTE>& out);
// Writes every byte to the descriptor, going on after interrupted or partial writes.
bool WriteAllToHostFd(int fd, const BYTE* data, size_t length);

} // namespace jxpkg

// The machine's fault switches that the file and registry calls consult: a disk that fills after a
// number of bytes, and a program that ends at a named point (see faults in platform/MACHINE.md).
#pragma once

#include <cstddef>
#include <string>

namespace jxplat {

// How many of `wanted` bytes a write to the host file may still put on its disk: all of them when
// no full disk covers the file. With `allOrNothing` a write that does not fit whole gets 0.
size_t ClaimDiskSpace(const std::string& hostPath, size_t wanted, bool allOrNothing = false);
// A registry write that grows a hive by `bytes`: false when the disk that holds the hive files
// (C:\Windows\System32\config) is full.
bool ClaimRegistrySpace(size_t bytes);

// The kill point "start": a program of the machine ends as it asks for its command line.
void KillPointAtStart();
// Whether a write into the host file is at the machine's kill point ("filecopy",
// "maintenancecopy"); the writer puts part of its data down and then calls EndAtKillPoint.
bool IsKillPointWrite(const std::string& hostPath);
[[noreturn]] void EndAtKillPoint();

} // namespace jxplat

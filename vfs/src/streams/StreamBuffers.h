// Decode buffers of closed streams, kept for the next stream on the same thread: reading many small
// files one after the other then neither maps nor faults fresh memory for each of them.
#pragma once

#include <cstddef>
#include <memory>

#include <windows.h>

namespace jxvfs {

// A buffer of at least `size` bytes (not zeroed), or null without memory.
std::unique_ptr<BYTE[]> TakeStreamBuffer(size_t size);
// Hands a buffer of `size` bytes back for reuse (or frees it).
void GiveStreamBuffer(std::unique_ptr<BYTE[]> buffer, size_t size);

} // namespace jxvfs

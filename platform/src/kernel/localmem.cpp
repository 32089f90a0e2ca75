// Local memory: the buffers FormatMessageW allocates, freed with LocalFree.
#include <cstdlib>

#include "jxplat/errhandling.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    if (bytes == 0)
        bytes = 1; // Windows hands out a valid block for a size of 0 too
    void* memory = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes) : std::malloc(bytes);
    if (!memory)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

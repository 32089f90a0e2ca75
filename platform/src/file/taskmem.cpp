// The COM task allocator.
#include <cstdlib>

#include "jxplat/fileapi.h"

LPVOID CoTaskMemAlloc(SIZE_T size) {
    return std::malloc(size ? size : 1);
}

void CoTaskMemFree(LPVOID memory) {
    std::free(memory);
}

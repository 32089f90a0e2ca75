// Unnamed file mappings and their views, and the system's page and allocation units.
#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/winerror.h"

using namespace jxplat;

namespace {

constexpr DWORD kAllocationGranularity = 65536;

class CMappingObject : public CKernelObject {
public:
    CMappingObject(std::shared_ptr<CFileObject> file, unsigned long long size, bool writable)
        : file(std::move(file)), size(size), writable(writable) {}
    std::shared_ptr<CFileObject> file;
    unsigned long long size;
    bool writable;
};

struct CViewTable {
    std::mutex lock;
    std::map<const void*, size_t> lengths;
};

CViewTable& Views() {
    static CViewTable* views = new CViewTable; // lives until the process ends
    return *views;
}

template <typename T> T Fail(DWORD error, T result) {
    SetLastError(error);
    return result;
}

} // namespace

void GetSystemInfo(LPSYSTEM_INFO systemInfo) {
    if (!systemInfo)
        return;
    *systemInfo = SYSTEM_INFO{};
    DWORD processors = std::clamp<DWORD>(std::thread::hardware_concurrency(), 1, 32);
    systemInfo->wProcessorArchitecture = 0; // x86: the engine is a 32-bit program
    systemInfo->dwPageSize = 4096;
    systemInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x00010000);
    systemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFEFFFF);
    systemInfo->dwActiveProcessorMask = processors >= 32 ? 0xFFFFFFFFu : ((DWORD_PTR{1} << processors) - 1);
    systemInfo->dwNumberOfProcessors = processors;
    systemInfo->dwProcessorType = 586;
    systemInfo->dwAllocationGranularity = kAllocationGranularity;
    systemInfo->wProcessorLevel = 6;
}

HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCWSTR name) {
    if (name && *name)
        return Fail<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
    auto object = ReferenceFileHandle(file);
    if (!object)
        return nullptr;
    if (protect != PAGE_READONLY && protect != PAGE_READWRITE)
        return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    const bool writable = protect == PAGE_READWRITE;
    if (!object->CanRead() || (writable && !object->CanWrite()))
        return Fail<HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    struct stat status {};
    if (::fstat(object->RawFd(), &status) != 0)
        return Fail<HANDLE>(Win32ErrorFromErrno(errno), nullptr);
    const unsigned long long fileSize = static_cast<unsigned long long>(status.st_size);
    unsigned long long size = (static_cast<unsigned long long>(maximumSizeHigh) << 32) | maximumSizeLow;
    if (size == 0) {
        if (fileSize == 0)
            return Fail<HANDLE>(ERROR_FILE_INVALID, nullptr);
        size = fileSize;
    } else if (size > fileSize) {
        if (!writable)
            return Fail<HANDLE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
        if (::ftruncate(object->RawFd(), static_cast<off_t>(size)) != 0)
            return Fail<HANDLE>(Win32ErrorFromErrno(errno), nullptr);
    }
    HANDLE mapping = InsertKernelHandle(std::make_shared<CMappingObject>(object, size, writable));
    SetLastError(ERROR_SUCCESS);
    return mapping;
}

LPVOID MapViewOfFile(HANDLE fileMappingObject, DWORD desiredAccess, DWORD fileOffsetHigh, DWORD fileOffsetLow,
                     SIZE_T numberOfBytesToMap) {
    return MapViewOfFileEx(fileMappingObject, desiredAccess, fileOffsetHigh, fileOffsetLow,
                           numberOfBytesToMap, nullptr);
}

LPVOID MapViewOfFileEx(HANDLE fileMappingObject, DWORD desiredAccess, DWORD fileOffsetHigh,
                       DWORD fileOffsetLow, SIZE_T numberOfBytesToMap, LPVOID baseAddress) {
    auto mapping = ReferenceKernelHandleAs<CMappingObject>(fileMappingObject);
    if (!mapping)
        return Fail<LPVOID>(ERROR_INVALID_HANDLE, nullptr);
    const bool writes = (desiredAccess & FILE_MAP_WRITE) != 0;
    if (writes && !mapping->writable)
        return Fail<LPVOID>(ERROR_ACCESS_DENIED, nullptr);
    const unsigned long long offset = (static_cast<unsigned long long>(fileOffsetHigh) << 32) | fileOffsetLow;
    if (offset % kAllocationGranularity != 0)
        return Fail<LPVOID>(ERROR_MAPPED_ALIGNMENT, nullptr);
    if (offset >= mapping->size)
        return Fail<LPVOID>(ERROR_ACCESS_DENIED, nullptr);
    unsigned long long length = numberOfBytesToMap ? numberOfBytesToMap : mapping->size - offset;
    if (length > mapping->size - offset)
        return Fail<LPVOID>(ERROR_ACCESS_DENIED, nullptr);
    const bool copy = (desiredAccess & FILE_MAP_COPY) != 0;
    void* view = ::mmap(baseAddress, length, writes || copy ? PROT_READ | PROT_WRITE : PROT_READ,
                        copy ? MAP_PRIVATE : MAP_SHARED, mapping->file->RawFd(), static_cast<off_t>(offset));
    if (view == MAP_FAILED)
        return Fail<LPVOID>(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : Win32ErrorFromErrno(errno), nullptr);
    if (baseAddress && view != baseAddress) {
        ::munmap(view, length);
        return Fail<LPVOID>(ERROR_INVALID_ADDRESS, nullptr);
    }
    CViewTable& views = Views();
    std::lock_guard<std::mutex> guard(views.lock);
    views.lengths[view] = static_cast<size_t>(length);
    return view;
}

BOOL UnmapViewOfFile(LPCVOID baseAddress) {
    size_t length = 0;
    {
        CViewTable& views = Views();
        std::lock_guard<std::mutex> guard(views.lock);
        auto found = views.lengths.find(baseAddress);
        if (found == views.lengths.end())
            return Fail<BOOL>(ERROR_INVALID_ADDRESS, FALSE);
        length = found->second;
        views.lengths.erase(found);
    }
    return ::munmap(const_cast<void*>(baseAddress), length) == 0 ? TRUE : FailFromErrno();
}

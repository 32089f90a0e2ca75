// The property-bag I/O control protocol of the drivers: control codes, the
// request and answer buffers (a wire format shared with the drivers), the one
// wrapper of plain requests and the value request that turns an answer into a
// VARIANT.
#pragma once

#include <memory>
#include <string>

#include <windows.h>

#include "jxpropertybag/SmartObjects.h"

class CMHPropertyBag;

enum MhvIoctlCode : DWORD {
    IOCTL_MHV_COMMIT_TICKET = 0xA1110044,
    IOCTL_MHV_RELEASE_PROPERTYBAG = 0xA1110048,
    IOCTL_MHV_GET_PROPERTYBAG_VALUE = 0xA111004C,
    IOCTL_MHV_SET_PROPERTYBAG_VALUE = 0xA1110050,
    IOCTL_MHV_GET_PROPERTYBAG = 0xA1110054,
    IOCTL_MHV_GET_SCHEDULED_ITEM = 0xA1110058,
    IOCTL_MHV_CREATE_PROPERTYBAG = 0xA111005C,
    IOCTL_MHV_INVOKE_PROPERTYBAG = 0xA1110060,
    IOCTL_MHV_REGISTER_EVENT_SINK = 0xA1110064,
    IOCTL_MHV_UNREGISTER_EVENT_SINK = 0xA1110280,
    IOCTL_MHV_REMOVE_PROPERTYBAG_VALUE = 0xA1110284,
    IOCTL_MHV_IMPERSONATE_TO_TICKET = 0xA1110288,
    IOCTL_MHV_REVERT_FROM_IMPERSONATION = 0xA111028C,
    IOCTL_MHV_ENABLE_TICKET_QUEUE = 0xA1110290,
    IOCTL_MHV_GET_HANDLE_OBJECT = 0xA1110294,
    IOCTL_MHV_BROADCAST_STOP_NOTIFICATION = 0xA1110298,
};

// Offsets of the value buffer (MhvValueBuffer).
enum : DWORD {
    kMhvArgumentWord = 0, // answer: the VARTYPE
    kMhvKind = 4,         // answer: the 32-bit value
    kMhvIndex = 8,
    kMhvGathered = 12,
    kMhvBagId = 64, // answer: the 64-bit value or a child bag's id
    kMhvArgument64 = 72,
    kMhvCapacity = 96, // answer: the number of data bytes
    kMhvData = 100,
    kMhvBagOpenSize = 104,
};

// The largest request buffer and gathered answer a driver can make this client
// allocate.
constexpr size_t kMhvMaxBuffer = 16u << 20;

// The name of a code of the table, or the code as "0x%lx".
std::u16string GetIoctlName(DWORD code);
std::u16string FormatErrorText(DWORD error);
std::u16string GetClientModuleName();
std::u16string GetProcessImageName();

bool MhvDeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                        DWORD outputSize, LPDWORD bytesReturned = nullptr);
bool OpenPropertyBag(const std::weak_ptr<CSmartHandle>& holder, const GUID& bag,
                     std::shared_ptr<CMHPropertyBag>& out, DWORD selector = 0, bool* flag = nullptr);
bool PropertyBagRequest(const std::weak_ptr<CSmartHandle>& holder, DWORD code, ULONGLONG bagId,
                        const WCHAR* name, VARIANT* value, DWORD argumentWord, ULONGLONG argument64,
                        DWORD kind, LONG index, bool mayGrow);
bool PropertyBagRequestOnHandle(HANDLE device, DWORD code, ULONGLONG bagId, const WCHAR* name, VARIANT* value,
                                DWORD argumentWord, ULONGLONG argument64, DWORD kind, LONG index,
                                bool mayGrow);

// Turns one value answer into the VARIANT. `answer` is the request buffer (at
// least 100 bytes), `returned` the bytes the driver said it wrote; `gathered`
// holds the data of earlier chunks (null when none). Short answers, counts
// beyond the buffer, types that would make a VARIANT own driver data as a
// pointer, and blobs into anything but an empty VARIANT or a stream fail:
// false, the VARIANT left as it was. A VT_DISPATCH answer holds a child bag's
// id in llVal: the caller turns it into an object (never VariantClear it).
bool DecodeValueAnswer(const BYTE* answer, size_t answerSize, size_t returned, const BYTE* gathered,
                       size_t gatheredSize, VARIANT& value);

// Plain requests to a driver (overlapped, with the access-denied retry and the
// debugger line), the bag-open request and the value request.
#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "jxplat/text.h"
#include "jxpropertybag/CStreamOnMemory.h"
#include "jxpropertybag/DriverConnection.h"
#include "jxpropertybag/MhvIoctl.h"
#include "jxpropertybag/PropertyBag.h"

namespace {

struct CIoctlName {
    DWORD code;
    const char16_t* name;
};

const CIoctlName kIoctlNames[] = {
    {0xA1110044, u"IOCTL_MHV_COMMIT_TICKET"},
    {0xA1110048, u"IOCTL_MHV_RELEASE_PROPERTYBAG"},
    {0xA111004C, u"IOCTL_MHV_GET_PROPERTYBAG_VALUE"},
    {0xA1110050, u"IOCTL_MHV_SET_PROPERTYBAG_VALUE"},
    {0xA1110054, u"IOCTL_MHV_GET_PROPERTYBAG"},
    {0xA1110058, u"IOCTL_MHV_GET_SCHEDULED_ITEM"},
    {0xA111005C, u"IOCTL_MHV_CREATE_PROPERTYBAG"},
    {0xA1110060, u"IOCTL_MHV_INVOKE_PROPERTYBAG"},
    {0xA1110064, u"IOCTL_MHV_REGISTER_EVENT_SINK"},
    {0xA1110280, u"IOCTL_MHV_UNREGISTER_EVENT_SINK"},
    {0xA1110284, u"IOCTL_MHV_REMOVE_PROPERTYBAG_VALUE"},
    {0xA1110288, u"IOCTL_MHV_IMPERSONATE_TO_TICKET"},
    {0xA111028C, u"IOCTL_MHV_REVERT_FROM_IMPERSONATION"},
    {0xA1110290, u"IOCTL_MHV_ENABLE_TICKET_QUEUE"},
    {0xA1110294, u"IOCTL_MHV_GET_HANDLE_OBJECT"},
    {0xA1110298, u"IOCTL_MHV_BROADCAST_STOP_NOTIFICATION"},
};

// Set while this thread's access-denied retry connects to the driver and asks
// for trust: the requests of that retry never start another one.
thread_local bool t_RetryInProgress = false;

DWORD _mhv_Read32(const BYTE* at) {
    DWORD value;
    std::memcpy(&value, at, 4);
    return value;
}

ULONGLONG _mhv_Read64(const BYTE* at) {
    ULONGLONG value;
    std::memcpy(&value, at, 8);
    return value;
}

void _mhv_Write32(BYTE* at, DWORD value) {
    std::memcpy(at, &value, 4);
}

void _mhv_Write64(BYTE* at, ULONGLONG value) {
    std::memcpy(at, &value, 8);
}

void _mhv_DebugLine(HANDLE device, DWORD code, const std::u16string& what) {
    const std::u16string line = jxtext::Format(
        u"Client %s. In Process %s (%lu). DeviceIoControl(0x%lx, "
        u"%s) failed with %s\n",
        GetClientModuleName().c_str(), GetProcessImageName().c_str(), GetCurrentProcessId(),
        static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(device)), GetIoctlName(code).c_str(), what.c_str());
    OutputDebugStringW(line.c_str());
}

// The retry after an access denial: a connection of the process manager, and
// trust when the caller is not an administrator.
bool _mhv_RetryGranted() {
    if (t_RetryInProgress)
        return false;
    t_RetryInProgress = true;
    bool granted = false;
    {
        const bool admin = IsCurrentUserAdmin();
        CProcessManager manager(admin);
        if (manager.Connect(false, false))
            granted = admin || manager.RequestTrust(10, nullptr);
    }
    t_RetryInProgress = false;
    return granted;
}

} // namespace

std::u16string GetIoctlName(DWORD code) {
    for (const CIoctlName& known : kIoctlNames)
        if (known.code == code)
            return known.name;
    return jxtext::Format(u"0x%lx", code);
}

std::u16string FormatErrorText(DWORD error) {
    LPWSTR text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::u16string out = length && text ? std::u16string(text, length) : std::u16string();
    if (text)
        LocalFree(text);
    while (!out.empty() && std::u16string_view(u" \t.\r\n").find(out.back()) != std::u16string_view::npos)
        out.pop_back();
    return out;
}

std::u16string GetClientModuleName() {
    static HMODULE module = nullptr;
    if (!module)
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&GetClientModuleName), &module);
    WCHAR path[MAX_PATH] = {};
    const DWORD length = module ? GetModuleFileNameW(module, path, MAX_PATH) : 0;
    std::u16string name(path, length);
    name = name.substr(name.find_last_of(u"\\/") == std::u16string::npos ? 0 : name.find_last_of(u"\\/") + 1);
    return name.substr(0, name.find_last_of(u'.'));
}

std::u16string GetProcessImageName() {
    WCHAR path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    return QueryFullProcessImageNameW(GetCurrentProcess(), 0, path, &size) ? std::u16string(path, size) : u"";
}

bool MhvDeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                        DWORD outputSize, LPDWORD bytesReturned) {
    DriverConnectionRegistry& registry = DriverConnectionRegistry::Instance();
    CSmartHandle* event = registry.AcquireEvent();
    bool result = false;
    try {
        auto wipeInput = [&] {
            if (inputSize && input && input != output)
                std::memset(input, 0, inputSize);
        };
        if (!event) {
            DWORD returned = 0;
            result = DeviceIoControl(device, code, input, inputSize, output, outputSize, &returned,
                                     nullptr) != FALSE;
            if (result) {
                wipeInput();
                if (bytesReturned)
                    *bytesReturned = returned;
            }
            return result;
        }
        bool retried = false;
        for (;;) {
            OVERLAPPED overlapped = {};
            overlapped.hEvent = event->Get();
            DWORD returned = 0;
            const BOOL sent =
                DeviceIoControl(device, code, input, inputSize, output, outputSize, &returned, &overlapped);
            const DWORD error = sent ? ERROR_SUCCESS : GetLastError();
            if (sent || error == ERROR_IO_PENDING) {
                result = GetOverlappedResult(device, &overlapped, &returned, TRUE) != FALSE;
                wipeInput();
                if (result && bytesReturned)
                    *bytesReturned = returned;
                break;
            }
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_INVALID_PARAMETER)
                break;
            if (error == ERROR_ACCESS_DENIED && !retried) {
                retried = true;
                if (_mhv_RetryGranted())
                    continue;
            }
            _mhv_DebugLine(device, code, jxtext::Format(u"%s (%lu)", FormatErrorText(error).c_str(), error));
            SetLastError(error);
            break;
        }
    } catch (const std::exception& failure) {
        _mhv_DebugLine(device, code,
                       u"exception: " +
                           jxtext::Utf8ToUtf16(*failure.what() ? failure.what() : "Unknown exception"));
        result = false;
    } catch (...) {
        _mhv_DebugLine(device, code, u"exception: Unknown exception");
        result = false;
    }
    registry.ReleaseEvent(event);
    return result;
}

bool OpenPropertyBag(const std::weak_ptr<CSmartHandle>& holder, const GUID& bag,
                     std::shared_ptr<CMHPropertyBag>& out, DWORD selector, bool* flag) {
    std::shared_ptr<CSmartHandle> live = holder.lock();
    const HANDLE device = live ? live->Get() : INVALID_HANDLE_VALUE;
    if (device == INVALID_HANDLE_VALUE || !device)
        return false;
    BYTE buffer[kMhvBagOpenSize] = {};
    std::memcpy(buffer, &bag, 16);
    _mhv_Write32(buffer + kMhvCapacity, 16);
    DWORD returned = 0;
    if (!MhvDeviceIoControl(device, IOCTL_MHV_GET_PROPERTYBAG + 8 * selector, buffer, sizeof(buffer), buffer,
                            sizeof(buffer), &returned) ||
        returned < 100)
        return false;
    if (flag)
        *flag = _mhv_Read32(buffer) != 0;
    out = MakePropertyBag(holder, _mhv_Read64(buffer + kMhvBagId));
    return true;
}

bool PropertyBagRequest(const std::weak_ptr<CSmartHandle>& holder, DWORD code, ULONGLONG bagId,
                        const WCHAR* name, VARIANT* value, DWORD argumentWord, ULONGLONG argument64,
                        DWORD kind, LONG index, bool mayGrow) {
    std::shared_ptr<CSmartHandle> live = holder.lock();
    if (!live)
        return false;
    return PropertyBagRequestOnHandle(live->Get(), code, bagId, name, value, argumentWord, argument64, kind,
                                      index, mayGrow);
}

bool DecodeValueAnswer(const BYTE* answer, size_t answerSize, size_t returned, const BYTE* gathered,
                       size_t gatheredSize, VARIANT& value) {
    if (!answer || answerSize < kMhvData || returned < 4)
        return false;
    returned = std::min(returned, answerSize);
    const VARTYPE type = static_cast<VARTYPE>(_mhv_Read32(answer + kMhvArgumentWord));
    const BYTE* data = gathered;
    size_t dataSize = gatheredSize;
    auto needData = [&]() {
        if (gathered)
            return true;
        if (returned < kMhvData)
            return false;
        // The count must lie within what the driver wrote and within the buffer.
        const size_t count = _mhv_Read32(answer + kMhvCapacity);
        if (count > returned - kMhvData)
            return false;
        data = answer + kMhvData;
        dataSize = count;
        return true;
    };
    switch (type) {
    case VT_EMPTY:
        VariantClear(&value);
        return true;
    case VT_BSTR: {
        if (!needData())
            return false;
        BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(dataSize / 2));
        if (!text)
            return false;
        std::memcpy(text, data, dataSize / 2 * 2);
        VariantClear(&value);
        value.vt = VT_BSTR;
        value.bstrVal = text;
        return true;
    }
    case VT_DISPATCH:
    case VT_I8:
    case VT_UI8:
        if (returned < kMhvBagId + 8)
            return false;
        VariantClear(&value);
        value.vt = type;
        value.ullVal = _mhv_Read64(answer + kMhvBagId);
        return true;
    case VT_BOOL:
        if (returned < 8)
            return false;
        VariantClear(&value);
        value.vt = VT_BOOL;
        value.boolVal = _mhv_Read32(answer + kMhvKind) ? VARIANT_TRUE : VARIANT_FALSE;
        return true;
    case VT_BLOB: {
        if (!needData() || dataSize > 0xFFFFFFFFu)
            return false;
        if (value.vt == VT_EMPTY) {
            CStreamOnMemory* stream = nullptr;
            try {
                stream = new CStreamOnMemory(data, static_cast<ULONG>(dataSize));
            } catch (const std::bad_alloc&) {
                return false;
            }
            value.vt = VT_UNKNOWN;
            value.punkVal = static_cast<IStream*>(stream);
            return true;
        }
        if ((value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN) || !value.punkVal)
            return false;
        IStream* target = nullptr;
        if (FAILED(value.punkVal->QueryInterface(IID_IStream, reinterpret_cast<void**>(&target))) || !target)
            return false;
        ULONG written = 0;
        const HRESULT hr = target->Write(data, static_cast<ULONG>(dataSize), &written);
        target->Release();
        return SUCCEEDED(hr) && written == dataSize;
    }
    case VT_CLSID: {
        if (!needData() || dataSize < 16)
            return false;
        GUID guid;
        std::memcpy(&guid, data, 16);
        WCHAR text[40] = {};
        StringFromGUID2(guid, text, 40);
        BSTR copy = SysAllocString(text);
        if (!copy)
            return false;
        VariantClear(&value);
        value.vt = VT_BSTR;
        value.bstrVal = copy;
        return true;
    }
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_HRESULT:
    case VT_R4:
        // Only 32-bit scalars: any other type would make the VARIANT own 32 bits of
        // driver data as a pointer or an 8-byte value.
        if (returned < 8)
            return false;
        VariantClear(&value);
        value.vt = type;
        value.ulVal = _mhv_Read32(answer + kMhvKind);
        return true;
    default:
        return false;
    }
}

bool PropertyBagRequestOnHandle(HANDLE device, DWORD code, ULONGLONG bagId, const WCHAR* name, VARIANT* value,
                                DWORD argumentWord, ULONGLONG argument64, DWORD kind, LONG index,
                                bool mayGrow) {
    if (device == INVALID_HANDLE_VALUE || !name || !*name)
        return false;
    const size_t nameLength = std::char_traits<char16_t>::length(name);
    size_t size = std::max<size_t>(2 * nameLength + 102, kind == 0 ? 4096 : 100);
    if (size > kMhvMaxBuffer)
        return false;
    std::vector<BYTE> buffer;
    std::vector<BYTE> gathered;
    gathered.reserve(128); // data() is never null, also for chunks of no bytes
    bool anyGathered = false;
    DriverConnectionRegistry& registry = DriverConnectionRegistry::Instance();
    DWORD returned = 0;
    for (;;) {
        try {
            buffer.assign(size, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        _mhv_Write32(buffer.data() + kMhvCapacity, static_cast<DWORD>(size - kMhvData));
        const size_t maxChars = (size - kMhvData) / 2;
        const size_t copied = std::min(nameLength, maxChars - 1);
        std::memcpy(buffer.data() + kMhvData, name, copied * 2);
        _mhv_Write64(buffer.data() + kMhvBagId, bagId);
        _mhv_Write64(buffer.data() + kMhvArgument64, argument64);
        _mhv_Write32(buffer.data() + kMhvArgumentWord, argumentWord);
        _mhv_Write32(buffer.data() + kMhvKind, kind);
        _mhv_Write32(buffer.data() + kMhvIndex, index == -1 ? 0 : static_cast<DWORD>(index));
        _mhv_Write32(buffer.data() + kMhvGathered, static_cast<DWORD>(gathered.size()));
        CSmartHandle* event = registry.AcquireEvent();
        if (!event)
            return false;
        OVERLAPPED overlapped = {};
        overlapped.hEvent = event->Get();
        const BOOL sent = DeviceIoControl(device, code, buffer.data(), static_cast<DWORD>(size),
                                          buffer.data(), static_cast<DWORD>(size), &returned, &overlapped);
        const DWORD error = sent ? ERROR_SUCCESS : GetLastError();
        if (sent || error == ERROR_IO_PENDING) {
            const bool done = GetOverlappedResult(device, &overlapped, &returned, TRUE) != FALSE;
            registry.ReleaseEvent(event);
            if (!done)
                return false;
            if (anyGathered) {
                const DWORD count = _mhv_Read32(buffer.data() + kMhvCapacity);
                if (returned < kMhvData || count > returned - kMhvData ||
                    gathered.size() + count > kMhvMaxBuffer)
                    return false;
                gathered.insert(gathered.end(), buffer.begin() + kMhvData, buffer.begin() + kMhvData + count);
            }
            break;
        }
        registry.ReleaseEvent(event);
        if (error == ERROR_MORE_DATA) {
            const DWORD count = _mhv_Read32(buffer.data() + kMhvCapacity);
            // A chunk must lie within the answer, and all chunks together within the
            // cap.
            if (returned < kMhvData || count > returned - kMhvData || gathered.size() + count > kMhvMaxBuffer)
                return false;
            gathered.insert(gathered.end(), buffer.begin() + kMhvData, buffer.begin() + kMhvData + count);
            anyGathered = true;
            if (size < 0x100000)
                size *= 2;
            continue;
        }
        if (error == ERROR_INSUFFICIENT_BUFFER && mayGrow && size * 2 <= kMhvMaxBuffer) {
            size *= 2;
            continue;
        }
        return false;
    }
    if (kind != 0 || !value || (returned == 0 && !anyGathered))
        return true;
    return DecodeValueAnswer(buffer.data(), buffer.size(), returned, anyGathered ? gathered.data() : nullptr,
                             gathered.size(), *value);
}

// Property bags: keys, the value cache, the value requests and the derived
// values (the Win32 path, the process name), and the two driver-level requests
// of the connection (the process-list bag, trust for this process).
#include <chrono>
#include <cstring>
#include <xxhash.h>

#include "jxpropertybag/DriverConnection.h"
#include "jxpropertybag/MhvIoctl.h"
#include "jxpropertybag/NtPath.h"
#include "jxpropertybag/PropertyBag.h"

const GUID kProcessListBagId = {0xCE35D006, 0xA8D5, 0x4746, {0x89, 0x4D, 0x22, 0x0A, 0x99, 0x72, 0x69, 0x32}};
const GUID kTrustBagId = {0x25369D14, 0x6CC3, 0x43B6, {0x9E, 0x0F, 0x99, 0x2D, 0x32, 0xE7, 0x68, 0x95}};

namespace {

DWORD _key_Hash(std::u16string_view text) {
    return XXH32(text.data(), text.size() * sizeof(char16_t), static_cast<XXH32_hash_t>(text.size()));
}

// The process-wide table of interned keys: one shared text per distinct text.
class CInternTable : public CFastTree<CHashKey, CHashKey, 100> {};

CInternTable& _key_Table() {
    static auto* table = [] {
        auto* made = new CInternTable;
        made->AddRef();
        return made;
    }();
    return *table;
}

const std::u16string& _key_EmptyText() {
    static const std::u16string empty;
    return empty;
}

// Turns a VT_DISPATCH answer's child id into a bag handle; the VARIANT becomes
// empty.
std::shared_ptr<CMHPropertyBag> _bag_TakeChild(const std::weak_ptr<CSmartHandle>& handle, VARIANT& value) {
    const ULONGLONG id = value.ullVal;
    VariantInit(&value); // the id is no object: never cleared as one
    return MakePropertyBag(handle, id);
}

// Carries a child bag through a VARIANT.
class BagDispatchWrapper final : public IDispatch {
public:
    explicit BagDispatchWrapper(std::shared_ptr<CMHPropertyBag> bag) : m_bag(std::move(bag)) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch)
            return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++m_refCount); }
    ULONG Release() override {
        const LONG left = --m_refCount;
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                   EXCEPINFO*, UINT*) override {
        if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) && result) {
            if (member == 0) {
                VariantInit(result);
                result->vt = VT_BYREF | VT_VOID;
                result->byref = &m_bag; // code of this process takes the bag object itself
                return S_OK;
            }
            if (member == 1 && m_stored) {
                VariantInit(result);
                result->vt = VT_BYREF | VT_VARIANT;
                result->pvarVal = m_stored.get();
                return S_OK;
            }
        }
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (member == 0)
                return E_ACCESSDENIED;
            if (member == 1 && parameters && parameters->cArgs == 1) {
                if (!m_stored) {
                    m_stored.reset(new (std::nothrow) VARIANT);
                    if (!m_stored)
                        return E_OUTOFMEMORY;
                    VariantInit(m_stored.get());
                }
                return VariantCopyInd(m_stored.get(), &parameters->rgvarg[0]);
            }
        }
        return DISP_E_MEMBERNOTFOUND;
    }

    const std::shared_ptr<CMHPropertyBag>& Bag() const { return m_bag; }

private:
    ~BagDispatchWrapper() {
        if (m_stored)
            VariantClear(m_stored.get());
    }

    std::atomic<LONG> m_refCount{1};
    std::shared_ptr<CMHPropertyBag> m_bag;
    std::unique_ptr<VARIANT> m_stored;
};

} // namespace

// ---- Keys
// -------------------------------------------------------------------------------------------

CHashKey::CHashKey(std::u16string_view text) : m_hash(_key_Hash(text)) {
    if (text.empty() || (text[0] != u'#' && text[0] != u'_')) {
        m_text = std::make_shared<const std::u16string>(text);
        return;
    }
    CInternTable& table = _key_Table();
    CHashKey probe;
    probe.m_hash = m_hash;
    probe.m_text = std::make_shared<const std::u16string>(text);
    {
        CSharedMutexHold hold(table.Mutex(), false);
        auto* found = table.Find(probe);
        if (found != table.end()) {
            m_text = found->value.m_text;
            return;
        }
    }
    CSharedMutexHold hold(table.Mutex(), true);
    m_text = table.Insert({probe, probe})->value.m_text;
}

CHashKey CHashKey::Plain(std::u16string_view text) {
    CHashKey key;
    key.m_hash = _key_Hash(text);
    key.m_text = std::make_shared<const std::u16string>(text);
    return key;
}

const std::u16string& CHashKey::Text() const {
    return m_text ? *m_text : _key_EmptyText();
}

int FastTreeCompare(const CHashKey& a, const CHashKey& b) {
    if (a.Hash() != b.Hash())
        return a.Hash() < b.Hash() ? -1 : 1;
    return a.Text().compare(b.Text()) < 0 ? -1 : (a.Text() == b.Text() ? 0 : 1);
}

// ---- The bag
// ----------------------------------------------------------------------------------------

std::shared_ptr<CMHPropertyBag> MakePropertyBag(const std::weak_ptr<CSmartHandle>& handle, ULONGLONG bagId) {
    return std::make_shared<CMHPropertyBag>(handle, bagId);
}

CMHPropertyBag::CMHPropertyBag(std::weak_ptr<CSmartHandle> handle, ULONGLONG bagId)
    : m_handle(std::move(handle)), m_bagId(bagId) {}

CMHPropertyBag::~CMHPropertyBag() {
    CMHPropertyBag::Release();
    if (ValueCachetype* cache = m_cache.exchange(nullptr))
        CachePool::Instance().Free(cache);
}

void CMHPropertyBag::FlushPools() {
    CPropertyValuePool::Instance().Flush();
    CachePool::Instance().Flush();
}

CMHPropertyBag::ValueCachetype* CMHPropertyBag::_bag_Cache() {
    if (ValueCachetype* cache = m_cache.load())
        return cache;
    CSmartPtr<ValueCachetype> fresh;
    CachePool::Instance().Allocate(fresh);
    ValueCachetype* expected = nullptr;
    if (m_cache.compare_exchange_strong(expected, fresh.Get())) {
        fresh.Detach();
        return m_cache.load();
    }
    CachePool::Instance().Free(fresh.Detach()); // another thread installed its cache first
    return expected;
}

void CMHPropertyBag::Release() {
    if (m_bagId != 0) {
        std::shared_ptr<CSmartHandle> live = m_handle.lock();
        if (live && live->Get() != INVALID_HANDLE_VALUE && live->Get()) {
            ULONGLONG id = m_bagId;
            MhvDeviceIoControl(live->Get(), IOCTL_MHV_RELEASE_PROPERTYBAG, &id, sizeof(id), nullptr, 0);
        }
    }
    m_handle.reset();
    m_bagId = 0;
    ClearCache(false);
}

void CMHPropertyBag::ClearCache(bool takeLock) {
    if (ValueCachetype* cache = m_cache.load()) {
        if (takeLock) {
            CSharedMutexHold hold(cache->Mutex(), true);
            cache->RemoveAll();
        } else {
            cache->RemoveAll();
        }
    }
    m_uniqueId.store(0);
}

void CMHPropertyBag::_bag_TakeFrom(CMHPropertyBag& source) {
    m_bagId = std::exchange(source.m_bagId, 0);
    m_uniqueId.store(source.m_uniqueId.exchange(0));
    m_handle = std::move(source.m_handle);
    source.m_handle.reset();
    if (ValueCachetype* old = m_cache.exchange(source.m_cache.exchange(nullptr)))
        CachePool::Instance().Free(old);
}

bool CMHPropertyBag::_bag_FindCached(const CHashKey& key, VARIANT* copy) {
    ValueCachetype* cache = _bag_Cache();
    CSharedMutexHold hold(cache->Mutex(), false);
    auto* item = cache->Find(key);
    if (item == cache->end())
        return false;
    if (copy) {
        SmartPropertyValue* value = item->value.Get();
        if (value)
            VariantCopy(copy, &value->Value());
        else
            VariantClear(copy);
    }
    return true;
}

bool CMHPropertyBag::_bag_InsertIfAbsent(const CHashKey& key, VARIANT& value) {
    ValueCachetype* cache = _bag_Cache();
    CSharedMutexHold hold(cache->Mutex(), true);
    auto* item = cache->Find(key);
    if (item != cache->end()) {
        // A concurrent insert won: its value answers, the fetched one goes.
        VariantClear(&value);
        if (SmartPropertyValue* kept = item->value.Get())
            VariantCopy(&value, &kept->Value());
        return false;
    }
    item = cache->Insert({key, ValueItem()});
    VARIANT copy;
    VariantInit(&copy);
    VariantCopy(&copy, &value);
    item->value.Ensure()->MoveFrom(copy);
    return true;
}

void CMHPropertyBag::StoreCachedValue(const CHashKey& key, VARIANT& value) {
    ValueCachetype* cache = _bag_Cache();
    CSharedMutexHold hold(cache->Mutex(), true);
    auto* item = cache->Insert({key, ValueItem()});
    item->value.Ensure()->MoveFrom(value);
}

bool CMHPropertyBag::GetCachedValue(const CHashKey& key, VARIANT& value, DWORD argumentWord,
                                    ULONGLONG argument64) {
    VariantClear(&value);
    if (_bag_FindCached(key, &value))
        return true;
    VARIANT fetched;
    VariantInit(&fetched);
    if (GetProperty(key.Text().c_str(), fetched, argumentWord, argument64)) {
        _bag_InsertIfAbsent(key, fetched);
        value = fetched;
        return true;
    }
    const bool win32Path = key.Text() == u"#__PathWin32__";
    const bool queryPath = key.Text() == u"__QueryForWin32Path__";
    if (!win32Path && !queryPath)
        return false;
    std::u16string ntPath = queryPath ? GetTextProperty(u"__QueryForPath__") : std::u16string();
    if (ntPath.empty())
        ntPath = GetStringProperty();
    if (ntPath.empty())
        return false;
    std::u16string dosPath;
    ConvertNtPathToDosPath(ntPath.c_str(), dosPath);
    if (dosPath.empty())
        return false;
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocStringLen(dosPath.data(), static_cast<UINT>(dosPath.size()));
    if (!text.bstrVal)
        return false;
    _bag_InsertIfAbsent(key, text);
    value = text;
    return true;
}

std::u16string CMHPropertyBag::_bag_CachedText(const CHashKey& key) {
    VARIANT value;
    VariantInit(&value);
    std::u16string text;
    if (GetCachedValue(key, value) && value.vt == VT_BSTR && value.bstrVal)
        text.assign(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

std::u16string CMHPropertyBag::_bag_StoreText(const CHashKey& key, const std::u16string& text) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value.bstrVal)
        return text;
    _bag_InsertIfAbsent(key, value); // a text cached meanwhile comes back in its place
    std::u16string cached = value.vt == VT_BSTR && value.bstrVal
                                ? std::u16string(value.bstrVal, SysStringLen(value.bstrVal))
                                : text;
    VariantClear(&value);
    return cached;
}

std::u16string CMHPropertyBag::GetStringProperty() {
    static const CHashKey key(u"#__Path__");
    return _bag_CachedText(key);
}

std::u16string CMHPropertyBag::GetPathProperty() {
    static const CHashKey key(u"#__PathWin32__");
    VARIANT cached;
    VariantInit(&cached);
    std::u16string text;
    if (_bag_FindCached(key, &cached) && cached.vt == VT_BSTR && cached.bstrVal) {
        text.assign(cached.bstrVal, SysStringLen(cached.bstrVal));
        VariantClear(&cached);
        return text;
    }
    VariantClear(&cached);
    const std::u16string ntPath = GetStringProperty();
    if (ntPath.empty())
        return ntPath;
    std::u16string dosPath;
    ConvertNtPathToDosPath(ntPath.c_str(), dosPath);
    if (dosPath.empty())
        return ntPath;
    return _bag_StoreText(key, dosPath);
}

std::u16string CMHPropertyBag::GetName() {
    static const CHashKey key(u"__Name__");
    return _bag_CachedText(key);
}

std::u16string CMHProcessBag::GetName() {
    static const CHashKey nameKey(u"__Name__");
    static const CHashKey systemKey(u"#__IsLocalSystem__");
    VARIANT value;
    VariantInit(&value);
    if (_bag_FindCached(nameKey, &value) && value.vt == VT_BSTR && value.bstrVal) {
        std::u16string cached(value.bstrVal, SysStringLen(value.bstrVal));
        VariantClear(&value);
        return cached;
    }
    VariantClear(&value);
    std::u16string name;
    const std::u16string path = GetPathProperty();
    if (!path.empty()) {
        const size_t slash = path.find_last_of(u'\\');
        name = slash == std::u16string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
    } else {
        name = CMHPropertyBag::GetName();
        if (name.empty()) {
            const bool system = GetCachedValue(systemKey, value) && value.vt != VT_BSTR && value.lVal == 1;
            VariantClear(&value);
            name = system ? u"System" : u"Unknown";
        }
    }
    return _bag_StoreText(nameKey, name);
}

ULONGLONG CMHPropertyBag::GetId() {
    static const CHashKey key(u"#__UniqueID__");
    if (m_uniqueId.load() == 0) {
        VARIANT value;
        VariantInit(&value);
        if (GetCachedValue(key, value) && (value.vt == VT_UI8 || value.vt == VT_I8)) {
            ULONGLONG none = 0;
            m_uniqueId.compare_exchange_strong(none, value.ullVal);
        }
        VariantClear(&value);
    }
    return m_uniqueId.load();
}

bool CMHPropertyBag::GetProperty(const WCHAR* name, VARIANT& value, DWORD argumentWord,
                                 ULONGLONG argument64) {
    if (!PropertyBagRequest(m_handle, IOCTL_MHV_GET_PROPERTYBAG_VALUE, m_bagId, name, &value, argumentWord,
                            argument64, 0, 0, true))
        return false;
    if (value.vt != VT_DISPATCH)
        return true;
    std::shared_ptr<CMHPropertyBag> child = _bag_TakeChild(m_handle, value);
    auto* wrapper = new (std::nothrow) BagDispatchWrapper(child);
    if (!wrapper)
        return false;
    value.vt = VT_DISPATCH;
    value.pdispVal = wrapper; // the VARIANT owns the one reference
    return true;
}

bool CMHPropertyBag::GetBoolProperty(const WCHAR* name, bool* found) {
    VARIANT value;
    VariantInit(&value);
    bool result = false;
    bool got = PropertyBagRequest(m_handle, IOCTL_MHV_GET_PROPERTYBAG_VALUE, m_bagId, name, &value, 0, 0, 0,
                                  0, true);
    if (got && value.vt == VT_DISPATCH) {
        _bag_TakeChild(m_handle, value).reset(); // released in the driver at once
        got = false;
    } else if (got && value.vt != VT_BOOL) {
        got = SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BOOL));
    }
    result = got && value.boolVal != VARIANT_FALSE;
    if (found)
        *found = got;
    VariantClear(&value);
    return result;
}

std::u16string CMHPropertyBag::GetTextProperty(const WCHAR* name, bool* found) {
    VARIANT value;
    VariantInit(&value);
    bool got = PropertyBagRequest(m_handle, IOCTL_MHV_GET_PROPERTYBAG_VALUE, m_bagId, name, &value, 0, 0, 0,
                                  0, true);
    if (got && value.vt == VT_DISPATCH) {
        _bag_TakeChild(m_handle, value).reset();
        got = false;
    } else if (got && value.vt != VT_BSTR) {
        got = SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR));
    }
    std::u16string text;
    if (got && value.bstrVal)
        text.assign(value.bstrVal, SysStringLen(value.bstrVal));
    if (found)
        *found = got;
    VariantClear(&value);
    return text;
}

bool CMHPropertyBag::GetBagProperty(const WCHAR* name, std::shared_ptr<CMHPropertyBag>& child,
                                    DWORD argumentWord, ULONGLONG argument64) {
    child.reset();
    VARIANT value;
    VariantInit(&value);
    if (!PropertyBagRequest(m_handle, IOCTL_MHV_GET_PROPERTYBAG_VALUE, m_bagId, name, &value, argumentWord,
                            argument64, 0, 0, true))
        return false;
    if (value.vt != VT_DISPATCH) {
        VariantClear(&value);
        return false;
    }
    child = _bag_TakeChild(m_handle, value);
    return true;
}

bool CMHPropertyBag::Invoke(DWORD argumentWord, VARIANT& value, LONG index) {
    if (!PropertyBagRequest(m_handle, IOCTL_MHV_INVOKE_PROPERTYBAG, m_bagId, u"InvokeSync", &value,
                            argumentWord, 0, 0, index, false))
        return false;
    if (value.vt == VT_DISPATCH)
        _bag_TakeChild(m_handle, value).reset();
    return true;
}

// ---- Driver-level requests
// --------------------------------------------------------------------------

bool CFileManager::GetBagByName(const GUID& name, std::shared_ptr<CMHPropertyBag>& bag) {
    std::shared_ptr<CMHPropertyBag> opened;
    if (!OpenPropertyBag(m_handle, name, opened))
        return false;
    CMHPropertyBag::MoveTo(*opened, bag);
    return true;
}

bool CFileManager::GetDriverBag(std::shared_ptr<CMHProcessList>& bag) {
    std::shared_ptr<CMHPropertyBag> opened;
    if (!OpenPropertyBag(m_handle, kProcessListBagId, opened))
        return false;
    CMHPropertyBag::MoveTo(*opened, bag);
    return true;
}

namespace {
// Waits 100 ms, or until the event is signalled (then true).
bool _trust_Pause(HANDLE event) {
    if (event)
        return WaitForSingleObject(event, 100) == WAIT_OBJECT_0;
    Sleep(100);
    return false;
}
} // namespace

bool CFileManager::RequestTrust(DWORD timeoutSeconds, HANDLE event) {
    std::shared_ptr<CMHProcessList> list;
    if (GetDriverBag(list)) {
        std::shared_ptr<CMHPropertyBag> item;
        if (list->GetBagProperty(u"#__GetItemByID__", item, GetCurrentProcessId(), 0)) {
            std::shared_ptr<CMHProcessBag> process;
            CMHPropertyBag::MoveTo(*item, process);
            if (process->GetBoolProperty(u"#__IsTrusted__"))
                return true;
        }
    }
    std::shared_ptr<CMHPropertyBag> trust;
    if (timeoutSeconds == 0) {
        if (!GetBagByName(kTrustBagId, trust))
            return false;
        return PropertyBagRequest(trust->HandleReference(), IOCTL_MHV_INVOKE_PROPERTYBAG, trust->BagId(),
                                  u"InvokeAsync", nullptr, 0, 0, 1, 0, false);
    }
    // Timed with a steady clock: a change of the system time neither ends nor
    // stretches the wait.
    const auto start = std::chrono::steady_clock::now();
    auto timedOut = [&] {
        return std::chrono::steady_clock::now() - start >= std::chrono::seconds(timeoutSeconds);
    };
    while (!GetBagByName(kTrustBagId, trust)) {
        if (timedOut() || _trust_Pause(event))
            return false;
    }
    VARIANT answer;
    VariantInit(&answer);
    bool answered = false;
    for (;;) {
        answered = PropertyBagRequest(trust->HandleReference(), IOCTL_MHV_INVOKE_PROPERTYBAG, trust->BagId(),
                                      u"InvokeSync", &answer, 0, 0, 0, 0, false);
        if (answered || timedOut() || _trust_Pause(event))
            break;
    }
    bool result = false;
    if (answered && answer.vt == VT_BOOL) {
        result = answer.boolVal != VARIANT_FALSE;
    } else if (answered) {
        if (answer.vt == VT_DISPATCH)
            VariantInit(&answer);
        VariantClear(&answer);
        result = trust->Invoke(0, answer, 0) && (answer.ulVal & 0xFFFF) != 0;
    }
    if (answer.vt == VT_DISPATCH)
        VariantInit(&answer);
    VariantClear(&answer);
    return result;
}

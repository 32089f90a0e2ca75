// The shell link object: IShellLinkW, IPersistFile and IPropertyStore over one link's data, and
// CoCreateInstance, which makes it. An object belongs to one apartment thread, as on Windows.
#include <atomic>
#include <cstring>

#include "jxplat/errhandling.h"
#include "jxplat/fileapi.h"
#include "jxplat/shobjidl.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "shelllink/shelllink_format.h"

namespace jxplat {
namespace {

constexpr DWORD kMaxLinkFileSize = 16u << 20; // far above any real link

std::u16string _lnk_Text(LPCWSTR text) {
    return text ? std::u16string(text) : std::u16string();
}

// Copies the text into the caller's buffer, cut to cch - 1 characters.
HRESULT _lnk_CopyOut(const std::u16string& text, LPWSTR buffer, int cch) {
    if (!buffer || cch <= 0)
        return E_INVALIDARG;
    const size_t count = std::min(text.size(), size_t(cch - 1));
    std::memcpy(buffer, text.data(), count * sizeof(WCHAR));
    buffer[count] = 0;
    return S_OK;
}

HRESULT _lnk_LastError() {
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

class CShellLink final : public IShellLinkW, public IPersistFile, public IPropertyStore {
public:
    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IShellLinkW)
            *object = static_cast<IShellLinkW*>(this);
        else if (riid == IID_IPersist || riid == IID_IPersistFile)
            *object = static_cast<IPersistFile*>(this);
        else if (riid == IID_IPropertyStore)
            *object = static_cast<IPropertyStore*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    // IShellLinkW
    HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int cch, WIN32_FIND_DATAW* findData, DWORD) override {
        if (findData) {
            std::memset(findData, 0, sizeof(*findData));
            if (!m_link.target.empty()) {
                findData->dwFileAttributes = m_link.fileAttributes;
                findData->ftCreationTime = m_link.creationTime;
                findData->ftLastAccessTime = m_link.accessTime;
                findData->ftLastWriteTime = m_link.writeTime;
                findData->nFileSizeLow = m_link.fileSize;
                const size_t slash = m_link.target.find_last_of(u"\\/");
                const std::u16string name =
                    slash == std::u16string::npos ? m_link.target : m_link.target.substr(slash + 1);
                _lnk_CopyOut(name, findData->cFileName, MAX_PATH);
            }
        }
        const HRESULT copied = _lnk_CopyOut(m_link.target, file, cch);
        if (FAILED(copied))
            return copied;
        return m_link.target.empty() ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE* idList) override {
        if (idList)
            *idList = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int cch) override {
        return _lnk_CopyOut(m_link.description, name, cch);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) override {
        return SetText(m_link.description, name);
    }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int cch) override {
        return _lnk_CopyOut(m_link.workingDir, dir, cch);
    }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) override {
        return SetText(m_link.workingDir, dir);
    }
    HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR args, int cch) override {
        return _lnk_CopyOut(m_link.arguments, args, cch);
    }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR args) override { return SetText(m_link.arguments, args); }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) override {
        if (!hotkey)
            return E_POINTER;
        *hotkey = m_link.hotkey;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) override {
        m_link.hotkey = hotkey;
        m_dirty = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int* showCmd) override {
        if (!showCmd)
            return E_POINTER;
        *showCmd = m_link.showCmd;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int showCmd) override {
        m_link.showCmd = showCmd;
        m_dirty = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR iconPath, int cch, int* icon) override {
        if (!icon)
            return E_POINTER;
        *icon = m_link.iconIndex;
        return _lnk_CopyOut(m_link.iconPath, iconPath, cch);
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR iconPath, int icon) override {
        m_link.iconIndex = icon;
        return SetText(m_link.iconPath, iconPath);
    }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR relativePath, DWORD) override {
        return SetText(m_link.relativePath, relativePath);
    }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override {
        if (m_link.target.empty())
            return E_FAIL;
        return GetFileAttributesW(m_link.target.c_str()) != INVALID_FILE_ATTRIBUTES ? S_OK : S_FALSE;
    }
    // The target need not exist; when it does, its attributes, times and size go into the link.
    HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) override {
        if (!file)
            return E_INVALIDARG;
        m_link.target = file;
        m_link.fileAttributes = 0;
        m_link.fileSize = 0;
        m_link.creationTime = m_link.accessTime = m_link.writeTime = FILETIME{};
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (*file && GetFileAttributesExW(file, GetFileExInfoStandard, &data)) {
            m_link.fileAttributes = data.dwFileAttributes;
            m_link.fileSize = data.nFileSizeLow;
            m_link.creationTime = data.ftCreationTime;
            m_link.accessTime = data.ftLastAccessTime;
            m_link.writeTime = data.ftLastWriteTime;
        }
        m_dirty = true;
        return S_OK;
    }

    // IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override {
        if (!classId)
            return E_POINTER;
        *classId = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return m_dirty ? S_OK : S_FALSE; }
    // A file that is not a shell link: HRESULT_FROM_WIN32(ERROR_BAD_FORMAT); the object keeps what it had.
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, DWORD) override {
        if (!fileName || !*fileName)
            return E_INVALIDARG;
        HANDLE file =
            CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return _lnk_LastError();
        std::vector<uint8_t> bytes;
        LARGE_INTEGER size{};
        bool read = GetFileSizeEx(file, &size) != FALSE;
        HRESULT result = read ? S_OK : _lnk_LastError();
        if (read && size.QuadPart > kMaxLinkFileSize) {
            read = false;
            result = HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
        }
        if (read) {
            bytes.resize(size_t(size.QuadPart));
            DWORD done = 0;
            read = bytes.empty() || ReadFile(file, bytes.data(), DWORD(bytes.size()), &done, nullptr);
            if (!read)
                result = _lnk_LastError();
            bytes.resize(done);
        }
        CloseHandle(file);
        if (!read)
            return result;
        CLinkData link;
        if (!ParseLink(bytes, link))
            return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
        m_link = std::move(link);
        m_properties = m_link.properties;
        m_file = fileName;
        m_dirty = false;
        return S_OK;
    }
    // Writes the link with its committed properties, replacing the file; a failed write leaves no
    // partial file behind.
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR fileName, BOOL remember) override {
        const std::u16string path = fileName ? std::u16string(fileName) : m_file;
        if (path.empty())
            return E_INVALIDARG;
        const std::vector<uint8_t> bytes = SerializeLink(m_link);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return _lnk_LastError();
        DWORD written = 0;
        const BOOL wrote = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        const HRESULT result = wrote && written == bytes.size() ? S_OK : _lnk_LastError();
        CloseHandle(file);
        if (FAILED(result)) {
            DeleteFileW(path.c_str());
            return result;
        }
        if (remember || !fileName) {
            m_file = path;
            m_dirty = false;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName) override {
        if (!fileName)
            return E_POINTER;
        *fileName = static_cast<LPOLESTR>(CoTaskMemAlloc((m_file.size() + 1) * sizeof(WCHAR)));
        if (!*fileName)
            return E_OUTOFMEMORY;
        std::memcpy(*fileName, m_file.c_str(), (m_file.size() + 1) * sizeof(WCHAR));
        return m_file.empty() ? S_FALSE : S_OK;
    }

    // IPropertyStore: values set are seen at once and go into the link (and so into the next save)
    // only with Commit.
    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
        if (!count)
            return E_POINTER;
        *count = DWORD(m_properties.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override {
        if (!key)
            return E_POINTER;
        if (index >= m_properties.size())
            return E_INVALIDARG;
        *key = m_properties[index].key;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
        if (!value)
            return E_POINTER;
        std::memset(value, 0, sizeof(*value));
        for (const CLinkProperty& property : m_properties)
            if (IsEqualPropertyKey(property.key, key))
                return InitText(property.value, value);
        return S_OK; // VT_EMPTY
    }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override {
        if (value.vt != VT_LPWSTR && value.vt != VT_EMPTY)
            return E_INVALIDARG;
        if (value.vt == VT_LPWSTR && !value.pwszVal)
            return E_INVALIDARG;
        for (size_t i = 0; i < m_properties.size(); ++i) {
            if (!IsEqualPropertyKey(m_properties[i].key, key))
                continue;
            if (value.vt == VT_EMPTY)
                m_properties.erase(m_properties.begin() + long(i));
            else
                m_properties[i].value = value.pwszVal;
            return S_OK;
        }
        if (value.vt == VT_LPWSTR)
            m_properties.push_back({key, value.pwszVal});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Commit() override {
        m_link.properties = m_properties;
        m_dirty = true;
        return S_OK;
    }

private:
    ~CShellLink() = default;

    HRESULT SetText(std::u16string& field, LPCWSTR text) {
        if (!text)
            return E_INVALIDARG;
        field = _lnk_Text(text);
        m_dirty = true;
        return S_OK;
    }
    static HRESULT InitText(const std::u16string& text, PROPVARIANT* value) {
        auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
        if (!copy)
            return E_OUTOFMEMORY;
        std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        value->vt = VT_LPWSTR;
        value->pwszVal = copy;
        return S_OK;
    }

    std::atomic<ULONG> m_refs{1};
    CLinkData m_link;                        // what a save writes
    std::vector<CLinkProperty> m_properties; // the property store's view, committed or not
    std::u16string m_file;
    bool m_dirty = false;
};

} // namespace
} // namespace jxplat

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (jxplat::ComInitCount() == 0)
        return CO_E_NOTINITIALIZED;
    if (clsid != CLSID_ShellLink || !(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* link = new jxplat::CShellLink();
    const HRESULT result = link->QueryInterface(riid, object);
    link->Release();
    return result;
}

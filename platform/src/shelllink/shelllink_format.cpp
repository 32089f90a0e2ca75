// The shell-link file layout (see shelllink_format.h): little-endian numbers, UTF-16 texts.
#include "shelllink/shelllink_format.h"

#include <cstring>

#include "jxplat/propidl.h"

namespace jxplat {
namespace {

constexpr uint32_t kHeaderSize = 0x4C;
constexpr uint32_t kLinkInfoHeaderSize = 0x24; // with the offsets of the UTF-16 paths
constexpr uint32_t kVolumeIdSize = 0x11;       // fixed part and an empty label
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kPropertyStoreSignature = 0xA0000009;
constexpr uint32_t kStorageVersion = 0x53505331; // "1SPS"

constexpr uint32_t kHasLinkTargetIdList = 0x01;
constexpr uint32_t kHasLinkInfo = 0x02;
constexpr uint32_t kHasName = 0x04;
constexpr uint32_t kHasRelativePath = 0x08;
constexpr uint32_t kHasWorkingDir = 0x10;
constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kHasIconLocation = 0x40;
constexpr uint32_t kIsUnicode = 0x80;

constexpr uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr uint32_t kCommonNetworkRelativeLink = 0x02;

// {00021401-0000-0000-C000-000000000046}
constexpr uint8_t kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// Storages of this format id name their values by text; the stand-in skips them.
constexpr GUID kNamedPropertiesFormat = {
    0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};

class CWriter {
public:
    std::vector<uint8_t> bytes;

    void U8(uint8_t v) { bytes.push_back(v); }
    void U16(uint16_t v) {
        U8(uint8_t(v));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v) {
        U16(uint16_t(v));
        U16(uint16_t(v >> 16));
    }
    void Time(const FILETIME& t) {
        U32(t.dwLowDateTime);
        U32(t.dwHighDateTime);
    }
    void Guid(const GUID& g) {
        U32(g.Data1);
        U16(g.Data2);
        U16(g.Data3);
        for (BYTE b : g.Data4)
            U8(b);
    }
    void Raw(const uint8_t* data, size_t size) { bytes.insert(bytes.end(), data, data + size); }
    // A counted string of the string data: character count, then UTF-16 without terminator.
    void Counted(const std::u16string& text) {
        U16(uint16_t(text.size()));
        for (char16_t c : text)
            U16(c);
    }
    void Put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(v >> (8 * i));
    }
};

class CReader {
public:
    CReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Has(size_t count) const { return m_pos <= m_size && count <= m_size - m_pos; }
    size_t Pos() const { return m_pos; }
    size_t Size() const { return m_size; }
    bool Skip(size_t count) {
        if (!Has(count))
            return false;
        m_pos += count;
        return true;
    }
    bool U8(uint8_t& v) {
        if (!Has(1))
            return false;
        v = m_data[m_pos++];
        return true;
    }
    bool U16(uint16_t& v) {
        if (!Has(2))
            return false;
        v = uint16_t(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return true;
    }
    bool U32(uint32_t& v) {
        if (!Has(4))
            return false;
        v = uint32_t(m_data[m_pos]) | uint32_t(m_data[m_pos + 1]) << 8 | uint32_t(m_data[m_pos + 2]) << 16 |
            uint32_t(m_data[m_pos + 3]) << 24;
        m_pos += 4;
        return true;
    }
    bool Time(FILETIME& t) { return U32(t.dwLowDateTime) && U32(t.dwHighDateTime); }
    bool Guid(GUID& g) {
        uint32_t d1 = 0;
        uint16_t d2 = 0, d3 = 0;
        if (!U32(d1) || !U16(d2) || !U16(d3) || !Has(8))
            return false;
        g.Data1 = d1;
        g.Data2 = d2;
        g.Data3 = d3;
        std::memcpy(g.Data4, m_data + m_pos, 8);
        m_pos += 8;
        return true;
    }
    bool Utf16(size_t count, std::u16string& text) {
        if (count > m_size || !Has(count * 2))
            return false;
        text.clear();
        for (size_t i = 0; i < count; ++i) {
            uint16_t c = 0;
            U16(c);
            text += char16_t(c);
        }
        return true;
    }
    bool Counted(bool unicode, std::u16string& text) {
        uint16_t count = 0;
        if (!U16(count))
            return false;
        if (unicode)
            return Utf16(count, text);
        if (!Has(count))
            return false;
        text.clear();
        for (uint16_t i = 0; i < count; ++i)
            text += char16_t(m_data[m_pos++]);
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// ANSI texts of the LinkInfo: characters outside ASCII become "?" (the UTF-16 copy is exact).
void _lnk_PutAnsiZ(CWriter& out, const std::u16string& text) {
    for (char16_t c : text)
        out.U8(c < 0x80 ? uint8_t(c) : uint8_t('?'));
    out.U8(0);
}

void _lnk_PutUtf16Z(CWriter& out, const std::u16string& text) {
    for (char16_t c : text)
        out.U16(c);
    out.U16(0);
}

void _lnk_WriteLinkInfo(CWriter& out, const std::u16string& path) {
    const uint32_t volumeAt = kLinkInfoHeaderSize;
    const uint32_t ansiPathAt = volumeAt + kVolumeIdSize;
    const uint32_t ansiSuffixAt = ansiPathAt + uint32_t(path.size()) + 1;
    const uint32_t widePathAt = ansiSuffixAt + 1;
    const uint32_t wideSuffixAt = widePathAt + 2 * (uint32_t(path.size()) + 1);
    const uint32_t size = wideSuffixAt + 2;
    out.U32(size);
    out.U32(kLinkInfoHeaderSize);
    out.U32(kVolumeIdAndLocalBasePath);
    out.U32(volumeAt);
    out.U32(ansiPathAt);
    out.U32(0); // no network share
    out.U32(ansiSuffixAt);
    out.U32(widePathAt);
    out.U32(wideSuffixAt);
    out.U32(kVolumeIdSize);
    out.U32(kDriveFixed);
    out.U32(0);    // drive serial number
    out.U32(0x10); // label right after the fixed part
    out.U8(0);     // empty label
    _lnk_PutAnsiZ(out, path);
    out.U8(0); // empty common path suffix
    _lnk_PutUtf16Z(out, path);
    out.U16(0);
}

void _lnk_WritePropertyStore(CWriter& out, const std::vector<CLinkProperty>& properties) {
    const size_t blockAt = out.bytes.size();
    out.U32(0); // block size, set below
    out.U32(kPropertyStoreSignature);
    // One storage per format id, in the order the ids first appear.
    std::vector<GUID> formats;
    for (const CLinkProperty& p : properties) {
        bool known = false;
        for (const GUID& g : formats)
            known = known || IsEqualGUID(g, p.key.fmtid);
        if (!known)
            formats.push_back(p.key.fmtid);
    }
    for (const GUID& format : formats) {
        const size_t storageAt = out.bytes.size();
        out.U32(0); // storage size, set below
        out.U32(kStorageVersion);
        out.Guid(format);
        for (const CLinkProperty& p : properties) {
            if (!IsEqualGUID(p.key.fmtid, format))
                continue;
            const size_t valueAt = out.bytes.size();
            out.U32(0); // value size, set below
            out.U32(p.key.pid);
            out.U8(0);
            out.U16(VT_LPWSTR);
            out.U16(0);
            out.U32(uint32_t(p.value.size() + 1));
            _lnk_PutUtf16Z(out, p.value);
            while ((out.bytes.size() - valueAt) % 4)
                out.U8(0);
            out.Put32(valueAt, uint32_t(out.bytes.size() - valueAt));
        }
        out.U32(0); // end of the storage's values
        out.Put32(storageAt, uint32_t(out.bytes.size() - storageAt));
    }
    out.U32(0); // end of the storages
    out.Put32(blockAt, uint32_t(out.bytes.size() - blockAt));
}

// The local base path (and suffix) of a LinkInfo that starts at the reader's position.
bool _lnk_ReadLinkInfo(CReader& in, const uint8_t* data, std::u16string& target) {
    const size_t start = in.Pos();
    uint32_t size = 0, headerSize = 0, flags = 0, volumeAt = 0, pathAt = 0, networkAt = 0, suffixAt = 0;
    if (!in.U32(size) || size < 0x1C || !in.Has(size - 4) || !in.U32(headerSize) || headerSize < 0x1C ||
        headerSize > size || !in.U32(flags) || !in.U32(volumeAt) || !in.U32(pathAt) || !in.U32(networkAt) ||
        !in.U32(suffixAt))
        return false;
    uint32_t widePathAt = 0, wideSuffixAt = 0;
    if (headerSize >= 0x24 && (!in.U32(widePathAt) || !in.U32(wideSuffixAt)))
        return false;
    const uint8_t* info = data + start;
    auto ansiAt = [&](uint32_t at, std::u16string& text) {
        if (at == 0 || at >= size)
            return at == 0;
        text.clear();
        for (uint32_t i = at; i < size; ++i) {
            if (info[i] == 0)
                return true;
            text += char16_t(info[i]);
        }
        return false;
    };
    auto wideAt = [&](uint32_t at, std::u16string& text) {
        if (at == 0 || at >= size)
            return at == 0;
        text.clear();
        for (uint32_t i = at; i + 1 < size; i += 2) {
            const char16_t c = char16_t(info[i] | (info[i + 1] << 8));
            if (c == 0)
                return true;
            text += c;
        }
        return false;
    };
    std::u16string path, suffix;
    if (flags & kVolumeIdAndLocalBasePath) {
        if (!(widePathAt ? wideAt(widePathAt, path) : ansiAt(pathAt, path)))
            return false;
    }
    if (flags & (kVolumeIdAndLocalBasePath | kCommonNetworkRelativeLink)) {
        if (!(wideSuffixAt ? wideAt(wideSuffixAt, suffix) : ansiAt(suffixAt, suffix)))
            return false;
    }
    target = path + suffix;
    return in.Skip(start + size - in.Pos());
}

bool _lnk_ReadPropertyStore(CReader block, std::vector<CLinkProperty>& properties) {
    for (;;) {
        const size_t storageAt = block.Pos();
        uint32_t storageSize = 0, version = 0;
        if (!block.U32(storageSize))
            return false;
        if (storageSize == 0)
            return true;
        GUID format{};
        if (storageSize < 24 || !block.Has(storageSize - 4) || !block.U32(version) ||
            version != kStorageVersion || !block.Guid(format))
            return false;
        const size_t storageEnd = storageAt + storageSize;
        for (;;) {
            const size_t valueAt = block.Pos();
            uint32_t valueSize = 0;
            if (valueAt + 4 > storageEnd || !block.U32(valueSize))
                return false;
            if (valueSize == 0)
                break;
            if (valueSize < 9 || valueSize > storageEnd - valueAt)
                return false;
            if (IsEqualGUID(format, kNamedPropertiesFormat)) {
                block.Skip(valueSize - 4);
                continue;
            }
            uint32_t id = 0, length = 0;
            uint8_t reserved = 0;
            uint16_t type = 0, padding = 0;
            if (!block.U32(id) || !block.U8(reserved))
                return false;
            if (valueSize >= 17 && block.U16(type) && block.U16(padding) && type == VT_LPWSTR) {
                std::u16string text;
                if (!block.U32(length) || length == 0 || length > (valueSize - 17) / 2 ||
                    !block.Utf16(length, text))
                    return false;
                text.pop_back(); // the counted terminator
                properties.push_back({{format, id}, std::move(text)});
            }
            if (!block.Skip(valueAt + valueSize - block.Pos()))
                return false;
        }
        if (block.Pos() != storageEnd && !block.Skip(storageEnd - block.Pos()))
            return false;
    }
}

} // namespace

std::vector<uint8_t> SerializeLink(const CLinkData& link) {
    uint32_t flags = kIsUnicode;
    if (!link.target.empty())
        flags |= kHasLinkInfo;
    if (!link.description.empty())
        flags |= kHasName;
    if (!link.relativePath.empty())
        flags |= kHasRelativePath;
    if (!link.workingDir.empty())
        flags |= kHasWorkingDir;
    if (!link.arguments.empty())
        flags |= kHasArguments;
    if (!link.iconPath.empty())
        flags |= kHasIconLocation;

    CWriter out;
    out.U32(kHeaderSize);
    out.Raw(kLinkClsid, sizeof(kLinkClsid));
    out.U32(flags);
    out.U32(link.fileAttributes);
    out.Time(link.creationTime);
    out.Time(link.accessTime);
    out.Time(link.writeTime);
    out.U32(link.fileSize);
    out.U32(uint32_t(link.iconIndex));
    out.U32(uint32_t(link.showCmd));
    out.U16(link.hotkey);
    out.U16(0);
    out.U32(0);
    out.U32(0);
    if (flags & kHasLinkInfo)
        _lnk_WriteLinkInfo(out, link.target);
    // A counted string holds at most 65535 characters; longer texts are cut.
    auto counted = [&](uint32_t flag, const std::u16string& text) {
        if (flags & flag)
            out.Counted(text.substr(0, 0xFFFF));
    };
    counted(kHasName, link.description);
    counted(kHasRelativePath, link.relativePath);
    counted(kHasWorkingDir, link.workingDir);
    counted(kHasArguments, link.arguments);
    counted(kHasIconLocation, link.iconPath);
    if (!link.properties.empty())
        _lnk_WritePropertyStore(out, link.properties);
    out.U32(0); // terminal block
    return std::move(out.bytes);
}

bool ParseLink(const std::vector<uint8_t>& bytes, CLinkData& link) {
    CReader in(bytes.data(), bytes.size());
    uint32_t headerSize = 0, flags = 0, iconIndex = 0, showCmd = 0, reserved = 0;
    uint16_t hotkey = 0, reserved16 = 0;
    CLinkData read;
    if (!in.U32(headerSize) || headerSize != kHeaderSize || !in.Has(16) ||
        std::memcmp(bytes.data() + 4, kLinkClsid, 16) != 0)
        return false;
    in.Skip(16);
    if (!in.U32(flags) || !in.U32(read.fileAttributes) || !in.Time(read.creationTime) ||
        !in.Time(read.accessTime) || !in.Time(read.writeTime) || !in.U32(read.fileSize) ||
        !in.U32(iconIndex) || !in.U32(showCmd) || !in.U16(hotkey) || !in.U16(reserved16) ||
        !in.U32(reserved) || !in.U32(reserved))
        return false;
    read.iconIndex = int(int32_t(iconIndex));
    read.showCmd = int(showCmd);
    read.hotkey = hotkey;
    if (flags & kHasLinkTargetIdList) {
        uint16_t idListSize = 0;
        if (!in.U16(idListSize) || !in.Skip(idListSize))
            return false;
    }
    if ((flags & kHasLinkInfo) && !_lnk_ReadLinkInfo(in, bytes.data(), read.target))
        return false;
    const bool unicode = flags & kIsUnicode;
    if (((flags & kHasName) && !in.Counted(unicode, read.description)) ||
        ((flags & kHasRelativePath) && !in.Counted(unicode, read.relativePath)) ||
        ((flags & kHasWorkingDir) && !in.Counted(unicode, read.workingDir)) ||
        ((flags & kHasArguments) && !in.Counted(unicode, read.arguments)) ||
        ((flags & kHasIconLocation) && !in.Counted(unicode, read.iconPath)))
        return false;
    // Extra data blocks up to the terminal block (a size below 4); a file may also end without one.
    while (in.Has(4)) {
        const size_t blockAt = in.Pos();
        uint32_t size = 0, signature = 0;
        in.U32(size);
        if (size < 4)
            break;
        if (size < 8 || !in.Has(size - 4) || !in.U32(signature))
            return false;
        if (signature == kPropertyStoreSignature &&
            !_lnk_ReadPropertyStore(CReader(bytes.data() + blockAt + 8, size - 8), read.properties))
            return false;
        in.Skip(blockAt + size - in.Pos());
    }
    link = std::move(read);
    return true;
}

} // namespace jxplat

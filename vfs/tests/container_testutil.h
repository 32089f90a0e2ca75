// Helpers of the package container tests. Everything here is written from the format's
// description and uses the independent implementations (liblzo2 to compress, zlib's crc32), never
// the reader's or the writer's own code, so a misreading shared by both shows up.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <lzo1x.h>
#include <zlib.h>

#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/selfcheck/CCarrierCheck.h"
#include "jxvfs/selfcheck/CSelfcheck.h"

namespace pkgtest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, size_t at, uint16_t v) {
    if (b.size() < at + 2)
        b.resize(at + 2);
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8;
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
    if (b.size() < at + 4)
        b.resize(at + 4);
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(Bytes& b, size_t at, uint64_t v) {
    Put32(b, at, static_cast<uint32_t>(v));
    Put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}
inline uint32_t Get32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

inline uint32_t Crc32(const Bytes& b) {
    return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), b.data(), static_cast<uInt>(b.size())));
}

// The content checksum as the format describes it.
inline uint32_t ContentChecksum(const Bytes& content) {
    Bytes padded = content;
    while (padded.size() % 4 != 0)
        padded.push_back(0);
    uint32_t a = 0, b = 0;
    for (size_t i = 0; i < padded.size(); i += 4) {
        const uint32_t w = Get32(padded, i);
        a += w;
        b += a * w;
    }
    return a + b;
}

inline Bytes Lzo1(const Bytes& in) {
    static const bool ready = lzo_init() == LZO_E_OK;
    (void)ready;
    std::vector<uint8_t> work(LZO1X_1_MEM_COMPRESS);
    Bytes out(in.size() + in.size() / 16 + 64 + 3);
    lzo_uint length = out.size();
    lzo1x_1_compress(in.data(), in.size(), out.data(), &length, work.data());
    out.resize(length);
    return out;
}

inline Bytes Utf16Name(const std::u16string& name) {
    Bytes b;
    for (char16_t c : name) {
        b.push_back(c & 0xFF);
        b.push_back(c >> 8);
    }
    b.push_back(0);
    b.push_back(0);
    return b;
}

// Meta data assembled node by node.
struct MetaBuilder {
    Bytes meta;

    // A directory node; returns its offset. The child table (count entries) follows it and is
    // filled with SetChild.
    uint32_t Dir(const std::u16string& name, uint32_t childCount, uint32_t lengthUnits = 0) {
        const uint32_t at = static_cast<uint32_t>(meta.size());
        Bytes node(10);
        Put16(node, 4, 0);
        Put32(node, 6, childCount);
        const Bytes n = Utf16Name(name);
        node.insert(node.end(), n.begin(), n.end());
        while (node.size() % 4)
            node.push_back(0);
        Put32(node, 0, 0x80000000u | (lengthUnits ? lengthUnits : static_cast<uint32_t>(node.size() / 4)));
        meta.insert(meta.end(), node.begin(), node.end());
        tableOf[at] = static_cast<uint32_t>(meta.size());
        meta.resize(meta.size() + 4 * static_cast<size_t>(childCount));
        return at;
    }
    void SetChild(uint32_t dir, uint32_t index, uint32_t childOffset) {
        Put32(meta, tableOf.at(dir) + 4 * index, childOffset);
    }

    uint32_t File(const std::u16string& name, const Bytes& tags, uint32_t size, uint32_t checksum,
                  uint32_t dataOffset, uint64_t filetime, uint32_t flags = 0x100) {
        const uint32_t at = static_cast<uint32_t>(meta.size());
        Bytes node(6);
        Put16(node, 4, static_cast<uint16_t>(tags.size()));
        node.insert(node.end(), tags.begin(), tags.end());
        const size_t e = node.size();
        Put32(node, e, size);
        Put32(node, e + 4, checksum);
        Put32(node, e + 8, dataOffset);
        Put64(node, e + 12, filetime);
        const Bytes n = Utf16Name(name);
        node.insert(node.end(), n.begin(), n.end());
        while (node.size() % 4)
            node.push_back(0);
        Put32(node, 0, flags | static_cast<uint32_t>(node.size() / 4));
        meta.insert(meta.end(), node.begin(), node.end());
        return at;
    }

    std::map<uint32_t, uint32_t> tableOf;
};

inline void AddTag32(Bytes& tags, uint8_t key, uint32_t value) {
    tags.push_back(key);
    tags.push_back(4);
    Bytes v(4);
    Put32(v, 0, value);
    tags.insert(tags.end(), v.begin(), v.end());
}

struct PackageParts {
    uint32_t word = 0xC000310F;
    std::string name = "$CONFIG";
    Bytes meta;
    uint32_t rootOffset = 0;
    Bytes data;
    uint32_t version = 1;
};

// Header, packed meta (liblzo2), padding to 4 from the meta start, data area; CRCs from zlib.
inline Bytes Assemble(const PackageParts& p) {
    const Bytes packed = Lzo1(p.meta);
    Bytes out(60, 0);
    Put32(out, 0, p.word);
    std::memcpy(out.data() + 6, p.name.data(), std::min<size_t>(16, p.name.size()));
    Put16(out, 22, 0x64F2);
    Put32(out, 24, p.version);
    Put32(out, 28, static_cast<uint32_t>(packed.size()));
    Put32(out, 32, static_cast<uint32_t>(p.meta.size()));
    Put32(out, 36, Crc32(packed));
    Put64(out, 40, p.data.size());
    Put32(out, 48, Crc32(p.data));
    Put32(out, 52, p.rootOffset);
    out.insert(out.end(), packed.begin(), packed.end());
    while (out.size() % 4)
        out.push_back(0);
    out.insert(out.end(), p.data.begin(), p.data.end());
    return out;
}

struct ScanResult {
    bool walkOk = false;
    bool finalOk = false;
    std::vector<ERROR_ENTRY> errors;
    std::vector<std::u16string> notes;
    std::vector<CCarrierCheck::PACKAGE> packages;

    bool HasNote(const std::u16string& part) const {
        for (const auto& n : notes) {
            if (n.find(part) != std::u16string::npos)
                return true;
        }
        return false;
    }
};

// Scans bytes as a carrier with the self-check (verbosity, options) and finalises the check.
inline ScanResult Scan(const Bytes& carrierBytes, DWORD verbosity = 10, DWORD options = 0) {
    CMemoryPkgAccessor carrier(u"Z:\\test\\carrier.wpk", carrierBytes);
    CCarrierCheck check;
    CSelfcheck selfcheck(&check);
    selfcheck.Configure(verbosity, options, nullptr);
    ScanResult r;
    r.walkOk = check.Scan(selfcheck, carrier);
    r.finalOk = selfcheck.FinalizeCheck();
    r.errors = selfcheck.GetErrors();
    for (const auto& e : selfcheck.GetEntries()) {
        if (e->GetKind() == 2)
            r.notes.push_back(static_cast<const NOTE_ENTRY&>(*e).text);
    }
    r.packages = check.Packages();
    return r;
}

} // namespace pkgtest

// The walk of a carrier: from the first package (after a program's image) from header to header,
// loading each package's meta data and checking its data area.
#include <algorithm>
#include <new>

#include "jxvfs/container/CMetaTree.h"
#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/container/CQuickCRC.h"
#include "jxvfs/container/PackageTrace.h"
#include "jxvfs/lzo/Lzo1xDecoder.h"
#include "jxvfs/selfcheck/CSelfcheck.h"

using namespace jxpkg;

namespace {

constexpr DWORD kChunk = 16384;
// A round must move the walk further than this, or there is no further package.
constexpr ULONGLONG kMinProgress = 64;

DWORD Lo(ULONGLONG v) {
    return static_cast<DWORD>(v);
}
DWORD Hi(ULONGLONG v) {
    return static_cast<DWORD>(v >> 32);
}

} // namespace

void CSelfcheck::_SelfcheckResetPackage() {
    m_header = PACKAGE_HEADER();
    m_packageName.clear();
    m_packageStart = 0;
    m_metaStart = 0;
    m_dataStart = 0;
    m_headerOk = false;
    m_meta.clear();
    m_meta.shrink_to_fit();
    m_metaSize = 0;
}

ULONGLONG CSelfcheck::GetPackageEnd() const {
    return m_dataStart > ~0ULL - m_header.dataSize ? ~0ULL : m_dataStart + m_header.dataSize;
}

void CSelfcheck::BeginWalk() {
    m_walkOver = true;
    m_walkRound = false;
    m_layout = CARRIER_LAYOUT();
    if (m_carrier == nullptr)
        return;
    const std::u16string& name = m_carrier->GetName();
    m_layout = LocateCarrierLayout(*m_carrier);
    if (m_layout.shortStart) {
        SetLastError(38);
        AddIoError(kIoOriginCarrierStart, 0, 0, 64);
    }
    if (m_layout.kind == CarrierKind::PackageFile)
        AddNote(5, u"File %s opened. Found a binary package assembly.", name.c_str());
    else
        AddNote(5, u"File %s opened. This is a executable file, a certificate is MANDATORY!", name.c_str());
    if (m_layout.kind == CarrierKind::BadProgram) {
        // The file is given up; with verbosity 0 nothing is recorded, so leave a trace of it.
        JX_PKG_TRACE(1, u"CSelfcheck::BeginWalk", u"%s: the program headers cannot be read\n", name.c_str());
        SetLastError(38);
        AddIoError(kIoOriginExeHeaders, 0xFFFFFFFFu, 0xFFFFFFFFu, 0);
        return;
    }
    m_dataCheckLength = m_layout.dataCheckLength;
    m_walkOffset = m_layout.firstOffset;
    m_walkLimit = m_layout.limit;
    m_walkOver = false;
}

bool CSelfcheck::NextPackage() {
    while (!m_walkOver) {
        if (m_walkRound) {
            m_walkRound = false;
            if (m_walkOffset <= m_roundStart || m_walkOffset - m_roundStart <= kMinProgress) {
                AddError(kErrStructure, kDetailNoProgress, Lo(m_walkOffset), Hi(m_walkOffset));
                m_walkOver = true;
                return false;
            }
        }
        if (m_walkOffset >= m_walkLimit || m_walkLimit - m_walkOffset <= kHeaderSize || !CanContinue()) {
            m_walkOver = true;
            if (CanContinue() && _SelfcheckTailHoldsData()) {
                _SelfcheckResetPackage(); // the error is not the last package's
                AddError(kErrNoHeader, 0, Lo(m_walkOffset), Hi(m_walkOffset));
            }
            return false;
        }
        m_roundStart = m_walkOffset;
        m_walkRound = true;
        _SelfcheckResetPackage();

        ULONGLONG at = m_walkOffset;
        bool recognised = ReadPackageHeader(at);
        if (!recognised) {
            // Packers pad packages to 4 bytes: look once more at the next boundary.
            at = (m_walkOffset & ~3ULL) + 4;
            recognised = ReadPackageHeader(at);
        }
        if (!recognised) {
            AddError(kErrNoHeader, 0, Lo(m_walkOffset), Hi(m_walkOffset));
            continue;
        }
        if (!m_headerOk)
            continue;
        m_walkOffset = at;
        if (!LoadMetaData(m_walkOffset))
            continue;
        ULONGLONG position = m_dataStart;
        CheckPackageData(position);
        return true;
    }
    return false;
}

bool CSelfcheck::_SelfcheckTailHoldsData() {
    // Too short for a header: zeros are the packer's padding, anything else is the start of a
    // package that was cut off (a file cut inside a header would otherwise pass unnoticed).
    if (m_walkOffset >= m_walkLimit || m_carrier == nullptr)
        return false;
    BYTE tail[kHeaderSize] = {};
    const DWORD want = static_cast<DWORD>(m_walkLimit - m_walkOffset);
    Seek(m_walkOffset);
    const DWORD got = Read(want, tail);
    for (DWORD i = 0; i < got; ++i)
        if (tail[i] != 0)
            return true;
    return got < want;
}

bool CSelfcheck::ReadPackageHeader(ULONGLONG offset) {
    m_headerOk = false;
    if (offset >= m_carrierSize)
        return false;
    BYTE bytes[kHeaderSize];
    Seek(offset);
    if (Read(kHeaderSize, bytes) < kHeaderSize) {
        AddIoError(kIoOriginHeader, Lo(offset), Hi(offset), kHeaderSize);
        return false;
    }
    const PACKAGE_HEADER header = DecodeHeader(bytes);
    if (!IsHeaderRecognised(header))
        return false;
    m_header = header;
    m_packageName = PackageNameText(header);
    AddNote(5, u"Found Package: %s", m_packageName.c_str());
    if (header.version != kFormatVersion) {
        AddNote(8, u"    Package version is unsupported: %08x", header.version);
        AddError(kErrStructure, kDetailVersion, header.version, 0);
        return true;
    }
    if (header.metaSize < header.rootOffset) {
        AddNote(8, u"    Root pointer points outside the meta data range.");
        AddError(kErrStructure, kDetailBadOffset, header.rootOffset, 0);
        return true;
    }
    AddNote(8, u"    Package header looks ok.");
    m_packageStart = offset;
    m_headerOk = true;
    return true;
}

bool CSelfcheck::LoadMetaData(ULONGLONG& offset) {
    m_meta.clear();
    m_metaSize = 0;
    m_metaStart = offset + HeaderLengthOf(m_header.packageWord);
    m_dataStart = m_metaStart + PaddedMetaSize(m_header.packedMetaSize);
    if (m_dataStart > m_carrierSize) {
        // Not loaded, nothing recorded: the walk then finds it has not moved on.
        offset = m_metaStart;
        m_headerOk = false;
        return false;
    }
    offset = GetPackageEnd();
    AddNote(10, u"    [Meta: %08X%08X,%08X -> %08X (crc: %08X)]", Hi(m_packageStart), Lo(m_packageStart),
            m_header.packedMetaSize, m_header.metaSize, m_header.metaCrc);

    // The packed meta data lies inside the carrier (checked above), so this buffer is bounded by it.
    std::vector<BYTE> packed;
    try {
        packed.resize(m_header.packedMetaSize);
    } catch (const std::bad_alloc&) {
        AddError(kErrMetaMemory, 0, m_header.metaSize, 0);
        return true;
    }
    Seek(m_metaStart);
    const DWORD got = packed.empty() ? 0 : Read(static_cast<DWORD>(packed.size()), packed.data());
    if (got < packed.size())
        AddIoError(kIoOriginMeta, Lo(m_packageStart), Hi(m_packageStart), kHeaderSize);
    const DWORD crc = CQuickCRC::Compute(packed.data(), packed.size());
    if (crc != m_header.metaCrc)
        AddError(kErrMetaCrc, 0, m_header.metaCrc, crc);

    // Refuse an implausible size before allocating: an allocation of gigabytes may "succeed" lazily.
    if (m_header.metaSize > kMaxMetaSize) {
        AddError(kErrMetaMemory, 0, m_header.metaSize, 0);
        return true;
    }
    try {
        m_meta.resize((static_cast<size_t>(m_header.metaSize) + 4) & ~static_cast<size_t>(3));
    } catch (const std::bad_alloc&) {
        AddError(kErrMetaMemory, 0, m_header.metaSize, 0);
        return true;
    }
    const jxlzo::LZO_DECODE_RESULT d =
        jxlzo::Lzo1xDecompressSafe(packed.data(), got, m_meta.data(), m_header.metaSize);
    if (!jxlzo::IsDecodeSuccess(d.result) || d.outLength != m_header.metaSize) {
        AddError(kErrMetaDecode, 0, 0, 0);
        m_meta.clear();
        return true;
    }
    m_metaSize = m_header.metaSize;
    return true;
}

void CSelfcheck::CheckPackageData(ULONGLONG& position) {
    if (!m_headerOk)
        return;
    Seek(m_dataStart);
    const bool wraps = m_dataStart > ~0ULL - m_header.dataSize;
    position = GetPackageEnd();
    AddNote(10, u"    [Data: %08X%08X,%08X (crc: %08X)]", Hi(m_dataStart), Lo(m_dataStart),
            Lo(m_header.dataSize), m_header.dataCrc);
    if (wraps || position > m_dataCheckLength) {
        AddError(kErrDataBounds, kDetailDataBounds, Lo(m_dataStart), Lo(m_header.dataSize));
        return;
    }
    if (!m_dataCrc)
        return;
    CQuickCRC crc;
    BYTE chunk[kChunk];
    for (ULONGLONG at = m_dataStart; at < position; at += kChunk) {
        const DWORD want = static_cast<DWORD>(std::min<ULONGLONG>(kChunk, position - at));
        Seek(at);
        const DWORD got = Read(want, chunk);
        if (got < want) {
            // A short chunk is left out of the CRC (which then cannot match).
            AddIoError(kIoOriginDataCrc, Lo(at), Hi(at), want);
            continue;
        }
        crc.Update(chunk, got);
    }
    Seek(position);
    if (crc.GetResult() != m_header.dataCrc)
        AddError(kErrDataCrc, kDetailDataCrc, crc.GetResult(), m_header.dataCrc);
}

bool CSelfcheck::CheckTreeAgainstData(const CMetaTree& tree) {
    // Every block of a file is a stream of its own that ends with a 3-byte end marker, so a file
    // needs at least that much per block from its offset on; content of an unknown packing method
    // at least one byte.
    const int blockSize = BlockSizeOf(m_header.packageWord);
    for (const META_NODE& node : tree.Nodes()) {
        if (node.isDirectory || node.size == 0)
            continue;
        const ULONGLONG least = blockSize > 0 ? 3 * ((node.size + blockSize - 1ULL) / blockSize) : 1;
        if (static_cast<ULONGLONG>(node.dataOffset) + least <= m_header.dataSize)
            continue;
        ERROR_ENTRY error(kErrDataBounds, kDetailFileBounds, node.dataOffset, Lo(m_header.dataSize));
        error.subject = node.name;
        AddErrorRecord(error);
        return false;
    }
    return true;
}

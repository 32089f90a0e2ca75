#include "jxvfs/container/CPackedFileReader.h"

#include <algorithm>

#include "jxvfs/container/CMetaTree.h"
#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/container/PackageBlocks.h"

using namespace jxpkg;

CPackedFileReader::CPackedFileReader(CPkgAccessor& carrier, DWORD packageWord, ULONGLONG dataStart,
                                     const META_NODE& file)
    : m_carrier(carrier), m_blockSize(BlockSizeOf(packageWord)), m_size(file.size),
      m_position(dataStart + file.dataOffset), m_storedChecksum(file.checksum) {
    m_blockCount = m_blockSize > 0 ? BlockCountOf(m_size, static_cast<DWORD>(m_blockSize)) : 0;
    if (const META_TAG* crc = file.FindTag(kTagCrc32); crc != nullptr && crc->IsInteger()) {
        m_hasCrcTag = true;
        m_storedCrc = crc->value;
    }
    // A package of unknown block size cannot deliver a non-empty file.
    if (m_blockSize <= 0 && m_size > 0) {
        m_blockCount = 1;
        m_lastResult = kBlockNoWorkBuffer;
    }
}

bool CPackedFileReader::ReadNextBlock(std::vector<BYTE>& out) {
    if (AtEnd())
        return false;
    if (m_blockSize <= 0)
        return false;
    const DWORD blockSize = static_cast<DWORD>(m_blockSize);
    const DWORD expected = BlockLengthOf(m_size, blockSize, m_nextBlock);
    // Buffers sized by what this file and carrier need, not by the block size alone: a small file
    // of a package with large blocks stays cheap.
    const DWORD readLength = BlockReadLength(m_carrier, m_position, blockSize);
    if (m_work.size() < readLength)
        m_work.resize(readLength);
    const DWORD capacity = std::min(blockSize, expected + 1);
    if (m_block.size() < capacity)
        m_block.resize(capacity);
    const BLOCK_DECODE d = DecodePackageBlock(m_carrier, m_position, blockSize, expected, m_block.data(),
                                              m_work.empty() ? nullptr : m_work.data(), capacity);
    m_lastResult = d.result;
    if (d.result != 0)
        return false;
    out.insert(out.end(), m_block.begin(), m_block.begin() + expected);
    m_checksum.Add(m_block.data(), expected);
    if (m_hasCrcTag)
        m_crc.Update(m_block.data(), expected);
    m_position += d.consumed;
    ++m_nextBlock;
    return true;
}

bool CPackedFileReader::ReadAll(std::vector<BYTE>& out) {
    if (m_size > 0 && m_blockSize <= 0)
        return false;
    // The stored size is untrusted: reserve at most what one large file of a real package needs.
    out.reserve(out.size() + static_cast<size_t>(std::min<ULONGLONG>(m_size, 64u << 20)));
    while (!AtEnd()) {
        if (!ReadNextBlock(out))
            return false;
    }
    return true;
}

bool CPackedFileReader::VerifyContent() const {
    if (m_size == 0)
        return true;
    if (m_checksum.Value() != m_storedChecksum)
        return false;
    return !m_hasCrcTag || m_crc.GetResult() == m_storedCrc;
}

// Sequential reader of one packed file straight from its carrier, without the package tree: the
// tools (list, extract, verify), the fuzz target and the tests read files through it. It decodes
// each block once, in order, and keeps the content checksum and, with tag 16, the CRC-32.
#pragma once

#include <cstdint>
#include <vector>

#include <windows.h>

#include "jxvfs/container/CQuickCRC.h"
#include "jxvfs/container/PackageFormat.h"

class CPkgAccessor;
struct META_NODE;

class CPackedFileReader {
public:
    // dataStart: the package's data start; the file's blocks begin at dataStart + node.dataOffset.
    CPackedFileReader(CPkgAccessor& carrier, DWORD packageWord, ULONGLONG dataStart, const META_NODE& file);

    // Decodes the next block and appends its bytes to `out`. False at the end (check AtEnd) or on a
    // failure (LastResult is then the DecodePackageBlock result).
    bool ReadNextBlock(std::vector<BYTE>& out);
    // The whole content; false on the first block that fails.
    bool ReadAll(std::vector<BYTE>& out);
    bool AtEnd() const { return m_nextBlock >= m_blockCount; }
    int LastResult() const { return m_lastResult; }

    // After the whole content was read: the stored checksum (and tag 16 when present) match.
    bool VerifyContent() const;
    DWORD ComputedChecksum() const { return m_checksum.Value(); }
    DWORD StoredChecksum() const { return m_storedChecksum; }

private:
    CPkgAccessor& m_carrier;
    int m_blockSize;
    ULONGLONG m_size;
    ULONGLONG m_position;
    ULONGLONG m_blockCount;
    ULONGLONG m_nextBlock = 0;
    DWORD m_storedChecksum;
    bool m_hasCrcTag = false;
    DWORD m_storedCrc = 0;
    int m_lastResult = 0;
    jxpkg::CContentChecksum m_checksum;
    CQuickCRC m_crc;
    std::vector<BYTE> m_block; // one decoded block
    std::vector<BYTE> m_work;  // the compressed bytes of one block
};

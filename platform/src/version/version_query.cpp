// VerQueryValueW: finds a value in a version resource copied by GetFileVersionInfoW.
//
// The resource is a tree of blocks. Each block is: length (16 bits, the whole block with its
// children), value length (bytes, or characters for text), type (1 text, 0 binary), the key as
// zero-terminated UTF-16, padding to 4 bytes, the value, padding to 4 bytes, the children. Offsets
// are aligned from the start of the resource. Every block is kept inside its parent, so a damaged
// resource ends the walk instead of leading it out of the copy.
#include <algorithm>
#include <optional>
#include <string>

#include "jxplat/errhandling.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winver.h"

namespace {

constexpr size_t kHeaderSize = 6;

struct CBlock {
    size_t start = 0;
    size_t end = 0; // start + its length, cut to its parent's end
    std::u16string key;
    WORD valueLength = 0; // as stored, or cut to what the block holds
    bool text = false;
    size_t valueStart = 0;
    size_t valueBytes = 0;
    size_t childrenStart = 0;
};

WORD Le16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

size_t Align4(size_t offset) {
    return (offset + 3) & ~size_t{3};
}

// The block at `start` of base, which must end by `limit`; nothing when it does not fit.
std::optional<CBlock> ReadBlock(const BYTE* base, size_t start, size_t limit) {
    if (start > limit || limit - start < kHeaderSize)
        return std::nullopt;
    CBlock block;
    block.start = start;
    const size_t length = Le16(base + start);
    if (length < kHeaderSize)
        return std::nullopt;
    block.end = std::min(start + length, limit);
    block.valueLength = Le16(base + start + 2);
    block.text = Le16(base + start + 4) == 1;

    size_t at = start + kHeaderSize;
    for (;; at += 2) {
        if (at + 2 > block.end)
            return std::nullopt; // the key has no terminator inside the block
        const char16_t unit = Le16(base + at);
        if (unit == 0)
            break;
        block.key += unit;
    }
    block.valueStart = Align4(at + 2);
    const size_t unitSize = block.text ? 2 : 1;
    const size_t room = block.valueStart < block.end ? block.end - block.valueStart : 0;
    if (size_t{block.valueLength} * unitSize > room) // some writers count text in bytes: keep what fits
        block.valueLength = static_cast<WORD>(room / unitSize);
    block.valueBytes = size_t{block.valueLength} * unitSize;
    block.childrenStart = Align4(block.valueStart + block.valueBytes);
    return block;
}

// The child of parent whose key equals name ignoring case.
std::optional<CBlock> FindChild(const BYTE* base, const CBlock& parent, std::u16string_view name) {
    size_t at = parent.childrenStart;
    while (at < parent.end) {
        auto child = ReadBlock(base, at, parent.end);
        if (!child)
            return std::nullopt;
        if (jxtext::EqualsNoCase(child->key, name))
            return child;
        at = Align4(child->start + Le16(base + child->start)); // the length is at least a header: progress
    }
    return std::nullopt;
}

// A text value is returned as a C string: it must end with a terminator inside its block.
bool TextIsTerminated(const BYTE* base, const CBlock& block) {
    for (size_t at = block.valueStart; at + 2 <= block.end; at += 2) {
        if (Le16(base + at) == 0)
            return true;
    }
    return false;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

} // namespace

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length) {
    if (length)
        *length = 0;
    if (!block || !subBlock || !buffer)
        return Fail(ERROR_INVALID_PARAMETER);
    *buffer = nullptr;
    const BYTE* base = static_cast<const BYTE*>(block);

    auto current = ReadBlock(base, 0, Le16(base));
    if (!current)
        return Fail(ERROR_RESOURCE_DATA_NOT_FOUND);
    for (const std::u16string& name : jxtext::Split(subBlock, u'\\')) {
        if (name.empty())
            continue; // "\" alone is the root; doubled separators are one
        current = FindChild(base, *current, name);
        if (!current)
            return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
    }
    if (current->valueBytes == 0 || (current->text && !TextIsTerminated(base, *current)))
        return Fail(ERROR_RESOURCE_DATA_NOT_FOUND);
    *buffer = const_cast<BYTE*>(base + current->valueStart);
    if (length)
        *length = current->valueLength;
    return TRUE;
}

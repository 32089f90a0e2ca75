// The checked walk of the meta tree. Iterative (a hostile tree cannot exhaust the stack), with the
// ancestors of the current directory in a set (a child that points back to one is a cycle) and a
// budget of nodes (a tree whose directories share children could otherwise expand exponentially;
// a sound tree has at most one node per 12 bytes of meta data).
#include "jxvfs/container/CMetaTree.h"

#include <unordered_set>

#include "jxplat/text.h"
#include "jxvfs/container/PackageFormat.h"
#include "jxvfs/container/PackageTrace.h"
#include "jxvfs/selfcheck/CSelfcheck.h"

using namespace jxpkg;

namespace {

// Deeper than any path Windows can name.
constexpr size_t kMaxDepth = 1024;
constexpr size_t kMinNodeBytes = 12;

enum class ParseResult { Node, Skip, Refused, TableTooLarge };

struct ParsedNode {
    META_NODE node;
    DWORD childTable = 0; // offset of the child table (directories)
    DWORD childCount = 0;
};

std::u16string ReadName(const BYTE* meta, size_t from, size_t end) {
    std::u16string name;
    for (size_t p = from; p + 2 <= end; p += 2) {
        const char16_t c = static_cast<char16_t>(LoadU16(meta + p));
        if (c == 0)
            break;
        name.push_back(c);
    }
    return name;
}

// Tags back to back in [from, end); false when one runs past the area.
bool ReadTags(const BYTE* meta, size_t from, size_t end, std::vector<META_TAG>& tags) {
    size_t p = from;
    while (p < end) {
        if (end - p < 2)
            return false;
        META_TAG tag;
        tag.key = meta[p];
        tag.length = meta[p + 1];
        p += 2;
        if (end - p < tag.length)
            return false;
        tag.bytes.assign(meta + p, meta + p + tag.length);
        if (tag.length == 1)
            tag.value = meta[p];
        else if (tag.length == 2)
            tag.value = LoadU16(meta + p);
        else if (tag.length == 4)
            tag.value = LoadU32(meta + p);
        p += tag.length;
        tags.push_back(std::move(tag));
    }
    return true;
}

ParseResult ParseNode(const BYTE* meta, size_t size, DWORD offset, ParsedNode& out) {
    if (offset > size || size - offset < kNodeWordSize)
        return ParseResult::Refused;
    const DWORD word = LoadU32(meta + offset);
    const DWORD tagLength = LoadU16(meta + offset + 4);
    const size_t length = 4 * static_cast<size_t>(word & kNodeUnitsMask);
    const DWORD kind = word & kNodeKindMask;
    if (kind != kNodeKindDirectory && kind != kNodeKindFile)
        return ParseResult::Skip;
    if (length < kNodeWordSize || size - offset < length)
        return ParseResult::Refused;
    const BYTE* node = meta + offset;
    META_NODE& n = out.node;
    n.offset = offset;
    n.nodeWord = word;
    if (kind == kNodeKindDirectory) {
        // The child count sits at 6 whatever the tag length; the name follows the tags.
        if (length < kDirFixedSize + tagLength)
            return ParseResult::Refused;
        n.isDirectory = true;
        n.name = ReadName(node, kDirFixedSize + tagLength, length);
        out.childCount = LoadU32(node + 6);
        out.childTable = static_cast<DWORD>(offset + length);
        if (out.childCount > (size - offset - length) / 4)
            return ParseResult::TableTooLarge;
        return ParseResult::Node;
    }
    const size_t e = kNodeWordSize + tagLength;
    if (length < e + 20)
        return ParseResult::Refused;
    if (!ReadTags(node, kNodeWordSize, e, n.tags))
        return ParseResult::Refused;
    n.size = LoadU32(node + e);
    n.checksum = LoadU32(node + e + 4);
    n.dataOffset = LoadU32(node + e + 8);
    n.lastWrite.dwLowDateTime = LoadU32(node + e + 12);
    n.lastWrite.dwHighDateTime = LoadU32(node + e + 16);
    n.attributes =
        kAttrNormal | ((word & kNodeReadOnly) ? kAttrReadOnly : 0) | ((word & kNodeHidden) ? kAttrHidden : 0);
    n.name = ReadName(node, e + 20, length);
    return ParseResult::Node;
}

void Record(CSelfcheck* errors, DWORD value) {
    if (errors != nullptr)
        errors->AddError(kErrStructure, kDetailBadOffset, value, 0);
}

struct Frame {
    size_t index; // the directory in m_nodes
    DWORD table;  // its child table
    DWORD count;
    DWORD next = 0; // next child-table entry to visit
};

} // namespace

const META_TAG* META_NODE::FindTag(BYTE key) const {
    for (const META_TAG& tag : tags) {
        if (tag.key == key)
            return &tag;
    }
    return nullptr;
}

bool CMetaTree::Build(const BYTE* meta, size_t metaSize, DWORD rootOffset, CSelfcheck* errors) {
    m_nodes.clear();
    m_fileCount = 0;
    if (meta == nullptr || metaSize == 0)
        return false;

    ParsedNode root;
    const ParseResult rootResult = ParseNode(meta, metaSize, rootOffset, root);
    if (rootResult == ParseResult::TableTooLarge) {
        Record(errors, root.childCount);
        return false;
    }
    if (rootResult != ParseResult::Node || !root.node.isDirectory || root.childCount == 0)
        return false;

    const size_t budget = metaSize / kMinNodeBytes + 1;
    m_nodes.push_back(std::move(root.node));
    std::vector<Frame> stack;
    std::unordered_set<DWORD> ancestors;
    stack.push_back({0, root.childTable, root.childCount});
    ancestors.insert(rootOffset);

    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= frame.count) {
            ancestors.erase(m_nodes[frame.index].offset);
            stack.pop_back();
            continue;
        }
        const DWORD childIndex = frame.next++;
        const size_t parent = frame.index;
        const DWORD childOffset = LoadU32(meta + frame.table + 4 * static_cast<size_t>(childIndex));

        ParsedNode child;
        const ParseResult result = ParseNode(meta, metaSize, childOffset, child);
        if (result == ParseResult::Skip)
            continue;
        if (result == ParseResult::Refused) {
            JX_PKG_TRACE(5, u"CMetaTree::Build", u"node at %u (child %u) is malformed\n", childOffset,
                         childIndex);
            Record(errors, childIndex);
            continue;
        }
        if (result == ParseResult::TableTooLarge) {
            JX_PKG_TRACE(5, u"CMetaTree::Build", u"directory at %u claims %u children\n", childOffset,
                         child.childCount);
            Record(errors, child.childCount);
            continue;
        }
        if (child.node.isDirectory && (ancestors.count(childOffset) != 0 || stack.size() >= kMaxDepth)) {
            JX_PKG_TRACE(5, u"CMetaTree::Build", u"directory at %u leads back to its ancestors\n",
                         childOffset);
            Record(errors, childIndex);
            continue;
        }
        if (m_nodes.size() >= budget) {
            JX_PKG_TRACE(5, u"CMetaTree::Build", u"the tree expands beyond its meta data\n");
            Record(errors, childOffset);
            m_nodes.clear();
            m_fileCount = 0;
            return false;
        }
        const size_t index = m_nodes.size();
        const bool isDirectory = child.node.isDirectory;
        m_nodes.push_back(std::move(child.node));
        m_nodes[parent].children.push_back(index);
        if (isDirectory) {
            // `frame` may dangle after this push; it is not used again in this round.
            stack.push_back({index, child.childTable, child.childCount});
            ancestors.insert(childOffset);
        } else {
            ++m_fileCount;
        }
    }
    return true;
}

namespace jxpkg {

void VersionWordsOf(const std::vector<META_TAG>& tags, WORD words[4]) {
    // The first tag of each key counts, as a lookup by key finds it.
    const META_TAG* highTag = nullptr;
    const META_TAG* lowTag = nullptr;
    for (const META_TAG& tag : tags) {
        if (tag.key == kTagVersionHigh && highTag == nullptr)
            highTag = &tag;
        if (tag.key == kTagVersionLow && lowTag == nullptr)
            lowTag = &tag;
    }
    const DWORD high = highTag != nullptr && highTag->IsInteger() ? highTag->value : 0;
    const DWORD low = lowTag != nullptr && lowTag->IsInteger() ? lowTag->value : 0;
    words[0] = static_cast<WORD>(high >> 16);
    words[1] = static_cast<WORD>(high);
    words[2] = static_cast<WORD>(low >> 16);
    words[3] = static_cast<WORD>(low);
}

std::u16string HashTextOf(const std::vector<META_TAG>& tags) {
    DWORD parts[8] = {};
    bool any = false;
    for (int k = 0; k < 8; ++k) {
        for (const META_TAG& tag : tags) {
            if (tag.key == kTagSha256First + k) {
                parts[k] = tag.IsInteger() ? tag.value : 0;
                break;
            }
        }
        any = any || parts[k] != 0;
    }
    if (!any)
        return std::u16string();
    std::u16string text;
    for (int k = 0; k < 8; ++k) {
        // The four value bytes in stored order are the digest bytes in order.
        for (int i = 0; i < 4; ++i)
            text += jxtext::Format(u"%02X", (parts[k] >> (8 * i)) & 0xFF);
    }
    return text;
}

} // namespace jxpkg

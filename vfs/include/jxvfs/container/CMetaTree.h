// The unpacked meta data of one package, walked from its root node into a checked tree.
//
// The walk never reads outside the meta data and refuses what cannot be a sound tree: a node that
// runs past the meta data or is shorter than its fixed fields, tags that run past the node's tag
// area, a child table that cannot fit (one record for the whole directory), a child that leads
// back to one of its ancestors, and a tree that would expand beyond what the meta data can hold
// (children shared between directories). Refused children are recorded as 0x90000007 detail 1 with
// the child's index as the value and skipped, as the format says for a child-table entry outside the
// meta data; a directory whose child table cannot fit is recorded once with its child count as the
// value, and a tree that expands too far once with the offending node's offset (the tree is then
// refused whole).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

class CSelfcheck;

// One tagged value: an unsigned integer for lengths 1, 2 and 4, a byte string otherwise.
struct META_TAG {
    BYTE key = 0;
    BYTE length = 0;
    DWORD value = 0;         // the integer (lengths 1, 2, 4)
    std::vector<BYTE> bytes; // the raw value bytes (every length)
    bool IsInteger() const { return length == 1 || length == 2 || length == 4; }
};

struct META_NODE {
    DWORD offset = 0; // of the node within the meta data
    DWORD nodeWord = 0;
    bool isDirectory = false;
    std::u16string name;
    // Files.
    DWORD size = 0;
    DWORD checksum = 0;   // content checksum
    DWORD dataOffset = 0; // of the first block from the data start
    FILETIME lastWrite = {};
    DWORD attributes = 0; // FILE_ATTRIBUTE_NORMAL plus read-only and hidden from the node word
    std::vector<META_TAG> tags;
    // Directories: indexes into CMetaTree::Nodes(), in child-table order (files and directories only).
    std::vector<size_t> children;

    const META_TAG* FindTag(BYTE key) const;
};

class CMetaTree {
public:
    // Walks the tree from rootOffset. Records go to `errors` (may be null). Returns true when the root
    // is a directory with at least one child; false means "the package contains no elements" (also
    // after a refused root or tree) and leaves the tree empty.
    bool Build(const BYTE* meta, size_t metaSize, DWORD rootOffset, CSelfcheck* errors);

    const std::vector<META_NODE>& Nodes() const { return m_nodes; }
    // The root directory (valid after a successful Build).
    const META_NODE& Root() const { return m_nodes.front(); }
    const META_NODE& Node(size_t index) const { return m_nodes[index]; }
    size_t FileCount() const { return m_fileCount; }
    bool Empty() const { return m_nodes.empty(); }

    // Calls visit(node, path) for every node below the root, depth first in child-table order; the
    // path joins the names with "\" (no leading separator).
    template <typename Visit> void Walk(Visit&& visit) const {
        if (!m_nodes.empty())
            _WalkFrom(0, std::u16string(), visit);
    }

private:
    template <typename Visit> void _WalkFrom(size_t index, const std::u16string& prefix, Visit& visit) const {
        for (size_t child : m_nodes[index].children) {
            const META_NODE& node = m_nodes[child];
            std::u16string path = prefix.empty() ? node.name : prefix + u"\\" + node.name;
            visit(node, path);
            if (node.isDirectory)
                _WalkFrom(child, path, visit);
        }
    }

    std::vector<META_NODE> m_nodes;
    size_t m_fileCount = 0;
};

// Tag helpers shared by the tree, the tools and the tests.
namespace jxpkg {
// Version words from tags 40 and 41 ("%i.%i.%i.%i"); zeros when absent.
void VersionWordsOf(const std::vector<META_TAG>& tags, WORD words[4]);
// SHA-256 of tags 48..55 as 64 upper-case hex digits, or "" when all are 0 or absent.
std::u16string HashTextOf(const std::vector<META_TAG>& tags);
} // namespace jxpkg

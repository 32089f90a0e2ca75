// The decoder's own inflater: the zlib format (RFC 1950) with stored, fixed and dynamic DEFLATE
// blocks (RFC 1951). Codes are decoded one bit at a time through trees. Damaged data never leads
// outside the input, the window or the code arrays: it fails the image.
#include <cstring>

#include "LwPngLog.h"
#include "jxengine/png/LwPngDecoder.h"

namespace JxSetup::Data {
namespace {

constexpr int kMaxCodeLength = 15;
constexpr int kMaxCodeLengths = 322; // literal/length and distance code lengths of one block
constexpr int32_t kInnerSymbol = 0x7FFFFFFF;

const int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const int kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Bits of the input, least significant first; a read past the end fails.
class CPngBitReader {
public:
    CPngBitReader(const BYTE* data, size_t length) : m_pData(data), m_nLength(length) {}

    bool Bit(int& bit) {
        if (m_nPos >= m_nLength)
            return false;
        bit = (m_pData[m_nPos] & m_nMask) != 0 ? 1 : 0;
        m_nMask <<= 1;
        if (m_nMask == 0x100) {
            m_nMask = 1;
            ++m_nPos;
        }
        return true;
    }
    bool Bits(int count, int& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            int bit = 0;
            if (!Bit(bit))
                return false;
            value |= bit << i;
        }
        return true;
    }
    void AlignToByte() {
        if (m_nMask != 1) {
            m_nMask = 1;
            ++m_nPos;
        }
    }

    const BYTE* m_pData;
    size_t m_nLength;
    size_t m_nPos = 2; // behind the zlib header
    unsigned m_nMask = 1;
};

// A code tree: nodes in one array, a child index of -1 where there is none.
class CPngHuffmanTree {
public:
    CPngHuffmanTree() { _png_MakeNode(); }
    ~CPngHuffmanTree() { _png_CountNodes(-static_cast<int>(m_Nodes.size())); }
    CPngHuffmanTree(const CPngHuffmanTree&) = delete;
    CPngHuffmanTree& operator=(const CPngHuffmanTree&) = delete;

    // Canonical codes from the lengths; false for an over-full set or a code that collides with
    // another one (a symbol placed into an inner node or below a leaf).
    bool Build(const int* lengths, int count) {
        int lengthCount[kMaxCodeLength + 1] = {};
        for (int i = 0; i < count; ++i)
            ++lengthCount[lengths[i]];
        lengthCount[0] = 0;
        int left = 1;
        for (int n = 1; n <= kMaxCodeLength; ++n) {
            left = (left << 1) - lengthCount[n];
            if (left < 0)
                return false;
        }
        int nextCode[kMaxCodeLength + 1] = {};
        int code = 0;
        for (int n = 1; n <= kMaxCodeLength; ++n) {
            code = (code + lengthCount[n - 1]) << 1;
            nextCode[n] = code;
        }
        for (int symbol = 0; symbol < count; ++symbol) {
            const int length = lengths[symbol];
            if (length == 0)
                continue;
            if (!_png_Place(symbol, nextCode[length]++, length))
                return false;
        }
        return true;
    }

    // 1: a symbol; 0: the input ended; -1: the bits lead to no code.
    int Walk(CPngBitReader& in, int& symbol) const {
        int32_t node = 0;
        do {
            int bit = 0;
            if (!in.Bit(bit))
                return 0;
            node = m_Nodes[node].child[bit];
            if (node < 0) {
                _png_Log("Huffman Decompression: Reached NULL node.\n");
                return -1;
            }
        } while (m_Nodes[node].child[0] >= 0 || m_Nodes[node].child[1] >= 0);
        symbol = m_Nodes[node].symbol;
        return 1;
    }

private:
    struct Node {
        int32_t child[2] = {-1, -1};
        int32_t symbol = kInnerSymbol;
    };

    int32_t _png_MakeNode() {
        m_Nodes.emplace_back();
        _png_CountNodes(1);
        return static_cast<int32_t>(m_Nodes.size() - 1);
    }

    bool _png_Place(int symbol, int code, int length) {
        int32_t node = 0;
        for (int i = length - 1; i >= 0; --i) {
            if (m_Nodes[node].symbol != kInnerSymbol)
                return false;
            const int bit = (code >> i) & 1;
            if (m_Nodes[node].child[bit] < 0) {
                const int32_t made = _png_MakeNode();
                m_Nodes[node].child[bit] = made;
            }
            node = m_Nodes[node].child[bit];
        }
        if (m_Nodes[node].symbol != kInnerSymbol || m_Nodes[node].child[0] >= 0 ||
            m_Nodes[node].child[1] >= 0)
            return false;
        m_Nodes[node].symbol = symbol;
        return true;
    }

    std::vector<Node> m_Nodes;
};

// The state of one inflation: the input, the window and the consumer of the output.
class CPngInflater {
public:
    CPngInflater(LwGenericPngDecoder& decoder, const BYTE* data, size_t length, size_t windowSize)
        : m_Decoder(decoder), m_In(data, length), m_Window(windowSize) {}

    bool Run();

private:
    bool _png_Emit(BYTE value) {
        m_Window[m_nWrite] = value;
        m_nWrite = (m_nWrite + 1) & (m_Window.size() - 1);
        ++m_nProduced;
        return m_Decoder.Output(value) == 1;
    }
    bool _png_Stored();
    bool _png_FixedTrees(CPngHuffmanTree& literals);
    bool _png_DynamicTrees(CPngHuffmanTree& literals, CPngHuffmanTree& distances);
    bool _png_Codes(const CPngHuffmanTree& literals, const CPngHuffmanTree* distances);

    LwGenericPngDecoder& m_Decoder;
    CPngBitReader m_In;
    std::vector<BYTE> m_Window;
    size_t m_nWrite = 0;
    uint64_t m_nProduced = 0;
};

bool CPngInflater::Run() {
    for (;;) {
        int final = 0;
        int type = 0;
        if (!m_In.Bit(final) || !m_In.Bits(2, type) || m_In.m_nPos >= m_In.m_nLength) {
            _png_Log("Buffer overflow\n");
            return false;
        }
        _png_Log("bFinal=%d bType=%d\n", final, type);
        bool ok = false;
        if (type == 0) {
            ok = _png_Stored();
        } else if (type == 1) {
            CPngHuffmanTree literals;
            ok = _png_FixedTrees(literals) && _png_Codes(literals, nullptr);
        } else if (type == 2) {
            CPngHuffmanTree literals;
            CPngHuffmanTree distances;
            ok = _png_DynamicTrees(literals, distances) && _png_Codes(literals, &distances);
        } else {
            _png_Log("Unknown compression type (bType=3)\n");
        }
        if (!ok)
            return false;
        if (final) {
            _png_Log("End zLib block length=%d bytePtr=%d bitPtr=0x%02x\n", static_cast<int>(m_In.m_nLength),
                     static_cast<int>(m_In.m_nPos), m_In.m_nMask);
            _png_Log("Huffman Tree Leak Tracker = %d\n", LwGenericPngDecoder::LiveHuffmanNodes());
            _png_Log("Output %d bytes.\n", static_cast<int>(m_nProduced));
            return true;
        }
    }
}

bool CPngInflater::_png_Stored() {
    m_In.AlignToByte();
    const size_t pos = m_In.m_nPos;
    const size_t length = m_In.m_nLength;
    // LEN and NLEN, then LEN bytes: all of it must lie inside the input.
    if (pos >= length || length - pos < 4) {
        _png_Log("Buffer overflow\n");
        return false;
    }
    const BYTE* p = m_In.m_pData + pos;
    const size_t count = size_t(p[0]) | (size_t(p[1]) << 8);
    if (count > length - pos - 4) {
        _png_Log("Buffer overflow\n");
        return false;
    }
    for (size_t i = 0; i < count; ++i)
        if (!_png_Emit(p[4 + i]))
            return false;
    m_In.m_nPos = pos + 4 + count;
    return true;
}

bool CPngInflater::_png_FixedTrees(CPngHuffmanTree& literals) {
    int lengths[288];
    for (int i = 0; i < 288; ++i)
        lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    return literals.Build(lengths, 288);
}

bool CPngInflater::_png_DynamicTrees(CPngHuffmanTree& literals, CPngHuffmanTree& distances) {
    int hLit = 0;
    int hDist = 0;
    int hCLen = 0;
    if (!m_In.Bits(5, hLit) || !m_In.Bits(5, hDist) || !m_In.Bits(4, hCLen))
        return false;
    hLit += 257;
    hDist += 1;
    hCLen += 4;
    _png_Log("hLit=%d hDist=%d hCLen=%d\n", hLit, hDist, hCLen);
    int codeLengthLengths[19] = {};
    for (int i = 0; i < hCLen; ++i)
        if (!m_In.Bits(3, codeLengthLengths[kCodeLengthOrder[i]]))
            return false;
    int lengths[kMaxCodeLengths] = {};
    const int total = hLit + hDist;
    {
        CPngHuffmanTree codeLengths;
        if (!codeLengths.Build(codeLengthLengths, 19)) {
            _png_Log("Invalid code lengths.\n");
            return false;
        }
        int filled = 0;
        while (filled < total) {
            int symbol = 0;
            if (codeLengths.Walk(m_In, symbol) != 1)
                return false;
            if (symbol < 16) {
                lengths[filled++] = symbol;
                continue;
            }
            int repeat = 0;
            int value = 0;
            if (symbol == 16) {
                // A repeat needs a length before it.
                if (filled == 0 || !m_In.Bits(2, repeat)) {
                    _png_Log("Invalid code lengths.\n");
                    return false;
                }
                repeat += 3;
                value = lengths[filled - 1];
            } else if (symbol == 17) {
                if (!m_In.Bits(3, repeat))
                    return false;
                repeat += 3;
            } else {
                if (!m_In.Bits(7, repeat))
                    return false;
                repeat += 11;
            }
            if (repeat > total - filled) {
                _png_Log("Invalid code lengths.\n");
                return false;
            }
            for (int i = 0; i < repeat; ++i)
                lengths[filled++] = value;
        }
    }
    _png_Log("Making Huffman Code from Code Lengths\n");
    _png_Log("Making Huffman Tree\n");
    if (!literals.Build(lengths, hLit) || !distances.Build(lengths + hLit, hDist)) {
        _png_Log("Invalid code lengths.\n");
        return false;
    }
    return true;
}

bool CPngInflater::_png_Codes(const CPngHuffmanTree& literals, const CPngHuffmanTree* distances) {
    _png_Log("Huffman table paprared\n");
    for (;;) {
        int symbol = 0;
        if (literals.Walk(m_In, symbol) != 1)
            return false;
        if (symbol < 256) {
            if (!_png_Emit(static_cast<BYTE>(symbol)))
                return false;
            continue;
        }
        if (symbol == 256)
            return true;
        if (symbol > 285)
            continue; // 286 and 287 mean nothing
        int extra = 0;
        if (!m_In.Bits(kLengthExtra[symbol - 257], extra))
            return false;
        const int length = kLengthBase[symbol - 257] + extra;
        int distanceSymbol = 0;
        if (distances) {
            if (distances->Walk(m_In, distanceSymbol) != 1)
                return false;
        } else {
            for (int i = 0; i < 5; ++i) {
                int bit = 0;
                if (!m_In.Bit(bit))
                    return false;
                distanceSymbol = (distanceSymbol << 1) | bit;
            }
        }
        if (distanceSymbol >= 30) {
            _png_Log("Invalid distance code (%d)\n", distanceSymbol);
            return false;
        }
        if (!m_In.Bits(kDistanceExtra[distanceSymbol], extra))
            return false;
        const size_t distance = size_t(kDistanceBase[distanceSymbol]) + size_t(extra);
        // A distance may reach only bytes that were produced and that the window still holds.
        if (distance > m_nProduced || distance > m_Window.size()) {
            _png_Log("Invalid distance (%d)\n", static_cast<int>(distance));
            return false;
        }
        const size_t mask = m_Window.size() - 1;
        for (int i = 0; i < length; ++i)
            if (!_png_Emit(m_Window[(m_nWrite - distance) & mask]))
                return false;
    }
}

} // namespace

bool LwGenericPngDecoder::Inflate(size_t length, const BYTE* data) {
    _png_Log("Begin zLib block length=%d bytePtr=%d bitPtr=0x%02x\n", static_cast<int>(length), 0, 1);
    if (length < 2) {
        _png_Log("Buffer overflow\n");
        return false;
    }
    const int method = data[0] & 0x0F;
    if (method != 8) {
        _png_Log("Unsupported compression method! (%d)\n", method);
        return false;
    }
    // A window above 32 KiB is no zlib stream: refused, as zlib does, instead of allocating it.
    const int cInfo = data[0] >> 4;
    if (cInfo > 7) {
        _png_Log("Unsupported window size (cInfo=%d)\n", cInfo);
        return false;
    }
    const size_t windowSize = size_t(1) << (cInfo + 8);
    _png_Log("cInfo=%d, Window Size=%d\n", cInfo, static_cast<int>(windowSize));
    const int flags = data[1];
    _png_Log("fCheck=%d fDict=%d fLevel=%d\n", flags & 0x0F, (flags >> 5) & 1, flags >> 6);
    if ((flags & 0x20) != 0) {
        _png_Log("PNG is not supposed to have a preset dictionary.\n");
        return false;
    }
    CPngInflater inflater(*this, data, length, windowSize);
    return inflater.Run();
}

} // namespace JxSetup::Data

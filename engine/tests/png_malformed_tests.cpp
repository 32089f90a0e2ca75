// Damaged PNG files: each ends with a clean, defined result (0 before the signature is known, -1
// after it, or, where the format lets the decoder read on, the image of the intact file), never
// with a read or write outside the input or the decoder's buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "jxengine/png/LwPngDecoder.h"
#include "png_decode.h"
#include "jxtest/png_files.h"

using jxtest::PngBytes;
using jxtest::PngChunk;
using jxtest::PngSpec;

namespace {

std::vector<uint8_t> Header(int32_t width, int32_t height, int depth, int type, int interlace = 0) {
    std::vector<uint8_t> h;
    for (int32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            h.push_back(uint8_t(uint32_t(v) >> shift));
    h.insert(h.end(), {uint8_t(depth), uint8_t(type), 0, 0, uint8_t(interlace)});
    return h;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& raw) {
    uLongf length = compressBound(uLong(raw.size()));
    std::vector<uint8_t> out(length);
    compress(out.data(), &length, raw.data(), uLong(raw.size()));
    out.resize(length);
    return out;
}

// A grey 8-bit image of 4 × 1 pixels around the given image data.
PngBytes GreyFile(const std::vector<uint8_t>& imageData) {
    return jxtest::JoinPngChunks({{"IHDR", Header(4, 1, 8, 0)}, {"IDAT", imageData}, {"IEND", {}}});
}

// DEFLATE bits, least significant first; Huffman codes go most significant bit first.
class BitWriter {
public:
    BitWriter& Bits(uint32_t value, int count) {
        for (int i = 0; i < count; ++i)
            Bit((value >> i) & 1);
        return *this;
    }
    BitWriter& Code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i)
            Bit((code >> i) & 1);
        return *this;
    }
    // The fixed code of a literal/length symbol.
    BitWriter& Fixed(int symbol) {
        if (symbol < 144)
            return Code(0x30 + uint32_t(symbol), 8);
        if (symbol < 256)
            return Code(0x190 + uint32_t(symbol - 144), 9);
        if (symbol < 280)
            return Code(uint32_t(symbol - 256), 7);
        return Code(0xC0 + uint32_t(symbol - 280), 8);
    }
    std::vector<uint8_t> Stream() const {
        std::vector<uint8_t> out = {0x78, 0x01};
        out.insert(out.end(), m_Bytes.begin(), m_Bytes.end());
        out.insert(out.end(), {0, 0, 0, 0}); // a trailer the decoder does not read
        return out;
    }

private:
    void Bit(uint32_t bit) {
        if (m_nUsed % 8 == 0)
            m_Bytes.push_back(0);
        m_Bytes.back() = uint8_t(m_Bytes.back() | (bit << (m_nUsed % 8)));
        ++m_nUsed;
    }
    std::vector<uint8_t> m_Bytes;
    size_t m_nUsed = 0;
};

// A dynamic block header whose code-length code gives the listed symbols the listed lengths.
BitWriter DynamicHeader(int hLit, int hDist, const std::vector<std::pair<int, int>>& codeLengthLengths) {
    const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    BitWriter w;
    w.Bits(1, 1).Bits(2, 2).Bits(uint32_t(hLit - 257), 5).Bits(uint32_t(hDist - 1), 5).Bits(19 - 4, 4);
    for (int symbol : order) {
        int length = 0;
        for (const auto& [s, l] : codeLengthLengths)
            if (s == symbol)
                length = l;
        w.Bits(uint32_t(length), 3);
    }
    return w;
}

PngBytes Intact() {
    PngSpec spec;
    spec.width = 37;
    spec.height = 23;
    return jxtest::RechunkPngImageData(jxtest::WritePng(spec), 100, false);
}

std::vector<PngChunk> IntactChunks() {
    return jxtest::SplitPngChunks(Intact());
}

// Replaces the first chunk of the type with the changed one.
PngBytes WithChunk(const std::string& type, const std::function<void(PngChunk&)>& change) {
    std::vector<PngChunk> chunks = IntactChunks();
    for (PngChunk& chunk : chunks)
        if (chunk.type == type) {
            change(chunk);
            break;
        }
    return jxtest::JoinPngChunks(chunks);
}

PngBytes WithHeader(int32_t width, int32_t height) {
    return WithChunk("IHDR", [&](PngChunk& c) { c.data = Header(width, height, 8, 6); });
}

// The raw scanlines of the intact image.
std::vector<uint8_t> IntactRaw() {
    std::vector<uint8_t> stream;
    for (const PngChunk& c : IntactChunks())
        if (c.type == "IDAT")
            stream.insert(stream.end(), c.data.begin(), c.data.end());
    std::vector<uint8_t> raw(23 * (1 + 37 * 4));
    uLongf length = uLongf(raw.size());
    uncompress(raw.data(), &length, stream.data(), uLong(stream.size()));
    return raw;
}

PngBytes WithRaw(const std::vector<uint8_t>& raw) {
    std::vector<PngChunk> chunks;
    for (const PngChunk& c : IntactChunks())
        if (c.type != "IDAT")
            chunks.push_back(c);
    chunks.insert(chunks.end() - 1, PngChunk{"IDAT", Compress(raw)});
    return jxtest::JoinPngChunks(chunks);
}

constexpr int kIntactImage = 2; // the result must be 1 with the intact file's pixels

struct Case {
    const char* name;
    std::function<PngBytes()> make;
    int expected;
};

TEST(PngDecoderDamage, EndsEveryDamagedFileCleanly) {
    const Case cases[] = {
        {"no data", [] { return PngBytes(); }, 0},
        {"signature only",
         [] {
             const PngBytes f = Intact();
             return PngBytes(f.begin(), f.begin() + 8);
         },
         0},
        {"wrong signature",
         [] {
             PngBytes f = Intact();
             f[1] = 'X';
             return f;
         },
         0},
        // Size checks come before any buffer of that size exists.
        {"huge dimensions", [] { return WithHeader(65536, 65536); }, -1},
        {"buffer size that wraps 32 bits", [] { return WithHeader(0x40000001, 4); }, -1},
        {"more pixels than the limit", [] { return WithHeader(8193, 8192); }, -1},
        {"negative width", [] { return WithHeader(-37, 23); }, -1},
        {"zero height", [] { return WithHeader(37, 0); }, -1},
        {"no header",
         [] {
             std::vector<PngChunk> c = IntactChunks();
             c.erase(c.begin());
             return jxtest::JoinPngChunks(c);
         },
         -1},
        {"unknown colour type", [] { return WithChunk("IHDR", [](PngChunk& c) { c.data[9] = 5; }); }, -1},
        {"interlace method 2", [] { return WithChunk("IHDR", [](PngChunk& c) { c.data[12] = 2; }); }, -1},
        {"palette length not a multiple of 3",
         [] {
             std::vector<PngChunk> c = IntactChunks();
             c.insert(c.begin() + 1, PngChunk{"PLTE", {1, 2, 3, 4}});
             return jxtest::JoinPngChunks(c);
         },
         -1},
        {"chunk length past the end",
         [] {
             PngBytes f = Intact();
             f[8 + 25 + 1] = 0x7F; // the first IDAT's length
             return f;
         },
         -1},
        {"chunk length near 4 GiB",
         [] {
             PngBytes f = Intact();
             for (int i = 0; i < 4; ++i)
                 f[8 + 25 + i] = 0xFF;
             return f;
         },
         -1},
        {"no image data",
         [] {
             std::vector<PngChunk> c;
             for (const PngChunk& k : IntactChunks())
                 if (k.type != "IDAT")
                     c.push_back(k);
             return jxtest::JoinPngChunks(c);
         },
         -1},
        {"zlib method 7", [] { return WithChunk("IDAT", [](PngChunk& c) { c.data[0] = 0x77; }); }, -1},
        {"zlib window 2^23", [] { return WithChunk("IDAT", [](PngChunk& c) { c.data[0] = 0xF8; }); }, -1},
        {"preset dictionary", [] { return WithChunk("IDAT", [](PngChunk& c) { c.data[1] |= 0x20; }); }, -1},
        {"block type 3", [] { return WithChunk("IDAT", [](PngChunk& c) { c.data[2] |= 0x06; }); }, -1},
        {"garbage image data",
         [] {
             return WithChunk("IDAT", [](PngChunk& c) {
                 for (size_t i = 2; i < c.data.size(); ++i)
                     c.data[i] = uint8_t(i * 151 + 7);
             });
         },
         -1},
        {"image data ends inside a block",
         [] {
             std::vector<uint8_t> stream = Compress(IntactRaw());
             stream.resize(stream.size() / 2);
             return jxtest::JoinPngChunks({IntactChunks()[0], {"IDAT", stream}, {"IEND", {}}});
         },
         -1},
        {"more data than the image takes",
         [] {
             std::vector<uint8_t> raw = IntactRaw();
             raw.push_back(0);
             return WithRaw(raw);
         },
         -1},
        {"stored block longer than the input",
         [] {
             return GreyFile({0x78, 0x01, 0x01, 0xE8, 0x03, 0x17, 0xFC, 0, 1, 2});
         },
         -1},
        {"stored block without its length",
         [] {
             return GreyFile({0x78, 0x01, 0x01, 0x05});
         },
         -1},
        {"repeat code 16 first",
         [] {
             BitWriter w = DynamicHeader(257, 1, {{16, 1}, {0, 1}});
             w.Code(1, 1).Bits(0, 2); // symbol 16 (code 1) with nothing before it
             return GreyFile(w.Stream());
         },
         -1},
        {"repeat past the code lengths",
         [] {
             BitWriter w = DynamicHeader(257, 1, {{18, 1}, {8, 1}});
             for (int i = 0; i < 3; ++i)
                 w.Code(1, 1).Bits(127, 7); // 3 × 138 zeros for 258 lengths
             return GreyFile(w.Stream());
         },
         -1},
        {"over-full code-length code",
         [] {
             BitWriter w = DynamicHeader(257, 1, {{0, 1}, {8, 1}, {18, 1}});
             w.Bits(0, 32);
             return GreyFile(w.Stream());
         },
         -1},
        {"over-full literal code",
         [] {
             // 258 lengths of 8 (one 16 after the first 8): more codes than 8 bits hold.
             BitWriter w = DynamicHeader(257, 1, {{8, 1}, {16, 1}});
             w.Code(0, 1);
             for (int i = 0; i < 85; ++i)
                 w.Code(1, 1).Bits(0, 2);
             w.Code(0, 1).Code(0, 1);
             return GreyFile(w.Stream());
         },
         -1},
        {"distance before the first byte",
         [] {
             BitWriter w;
             w.Bits(1, 1).Bits(1, 2).Fixed(257).Code(0, 5).Fixed(256);
             return GreyFile(w.Stream());
         },
         -1},
        {"distance beyond the bytes produced",
         [] {
             BitWriter w;
             w.Bits(1, 1).Bits(1, 2).Fixed(0).Fixed(7).Fixed(257).Code(2, 5).Fixed(
                 256); // distance 3 after 2 bytes
             return GreyFile(w.Stream());
         },
         -1},
        {"distance code 30",
         [] {
             BitWriter w;
             w.Bits(1, 1).Bits(1, 2).Fixed(0).Fixed(257).Code(30, 5).Fixed(256);
             return GreyFile(w.Stream());
         },
         -1},
        {"bits without a code",
         [] {
             // A code-length code of one symbol leaves the other bit without a code.
             BitWriter w = DynamicHeader(257, 1, {{8, 1}});
             w.Code(1, 1);
             return GreyFile(w.Stream());
         },
         -1},
        {"no final block",
         [] {
             BitWriter w;
             w.Bits(0, 1).Bits(1, 2).Fixed(0).Fixed(256);
             std::vector<uint8_t> s = w.Stream();
             s.resize(s.size() - 4);
             return GreyFile(s);
         },
         -1},
        // What the format lets a reader pass over: the checksums are not verified, the chunk
        // order is not enforced and reading stops at the end of the data.
        {"wrong CRC",
         [] {
             PngBytes f = Intact();
             f[8 + 25 + 8 + 100] ^= 0xFF; // the first IDAT's CRC
             return f;
         },
         kIntactImage},
        {"no IEND",
         [] {
             std::vector<PngChunk> c = IntactChunks();
             c.pop_back();
             return jxtest::JoinPngChunks(c);
         },
         kIntactImage},
        {"header behind the image data",
         [] {
             std::vector<PngChunk> c = IntactChunks();
             std::rotate(c.begin(), c.begin() + 1, c.end() - 1);
             return jxtest::JoinPngChunks(c);
         },
         kIntactImage},
        {"unknown critical chunk",
         [] {
             std::vector<PngChunk> c = IntactChunks();
             c.insert(c.begin() + 1, PngChunk{"ABCD", {1, 2, 3}});
             return jxtest::JoinPngChunks(c);
         },
         kIntactImage},
        {"chunks behind IEND",
         [] {
             PngBytes f = Intact();
             f.insert(f.end(), {0, 0, 0, 99, 'I', 'D', 'A', 'T'});
             return f;
         },
         kIntactImage},
    };
    const DecodedPng intact = DecodePng(Intact());
    ASSERT_EQ(intact.result, 1);
    for (const Case& c : cases) {
        const DecodedPng out = DecodePng(c.make());
        if (c.expected == kIntactImage) {
            EXPECT_EQ(out.result, 1) << c.name;
            EXPECT_EQ(out.rgba, intact.rgba) << c.name;
        } else {
            EXPECT_EQ(out.result, c.expected) << c.name;
        }
    }
}

TEST(PngDecoderDamage, TruncatedAnywhereNeverGivesAWrongImage) {
    // Cut at every byte: the signature alone gives 0; a cut before the end of the image data
    // fails; a cut behind it reads the whole image (the end chunk is not needed).
    const PngBytes file = Intact();
    const DecodedPng intact = DecodePng(file);
    const size_t imageEnd = file.size() - 12;
    size_t failed = 0;
    for (size_t cut = 0; cut < file.size(); ++cut) {
        const PngBytes part(file.begin(), file.begin() + long(cut));
        const DecodedPng out = DecodePng(part);
        if (cut <= 8)
            EXPECT_EQ(out.result, 0) << cut;
        else if (cut == imageEnd)
            EXPECT_EQ(out.result, 1) << cut;
        else if (out.result == 1)
            EXPECT_EQ(out.rgba, intact.rgba) << cut;
        else
            EXPECT_EQ(out.result, -1) << cut;
        failed += out.result == -1 ? 1 : 0;
    }
    EXPECT_GE(failed, file.size() - 9 - 4 * 12); // only cuts among the last chunks may read on
}

TEST(PngDecoderDamage, ShortFinalBlockLeavesTheRowsItDoesNotReachCleared) {
    std::vector<uint8_t> raw = IntactRaw();
    raw.resize(raw.size() / 2);
    const DecodedPng out = DecodePng(WithRaw(raw));
    const DecodedPng intact = DecodePng(Intact());
    ASSERT_EQ(out.result, 1);
    const size_t reached = 11 * 37 * 4; // 11 whole rows of 149 bytes fit in half of the data
    EXPECT_TRUE(std::equal(out.rgba.begin(), out.rgba.begin() + long(reached), intact.rgba.begin()));
    const size_t untouched = 12 * 37 * 4;
    for (size_t i = untouched; i < out.rgba.size(); ++i)
        ASSERT_EQ(out.rgba[i], 0) << i;
}

TEST(PngDecoderDamage, UnknownFilterTypeLeavesTheBytesAsTheyAre) {
    std::vector<uint8_t> raw = IntactRaw();
    const uint8_t firstRow[4] = {raw[1], raw[2], raw[3], raw[4]};
    raw[0] = 7;
    const DecodedPng out = DecodePng(WithRaw(raw));
    ASSERT_EQ(out.result, 1);
    EXPECT_TRUE(std::equal(firstRow, firstRow + 4, out.rgba.begin()));
}

} // namespace

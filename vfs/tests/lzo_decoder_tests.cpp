// The engine's LZO1X decoder against the LZO library: every stream the library's compressors make
// decodes to the same bytes with both decoders, and ours reports exactly the stream's length as the
// input it used, also when more bytes follow the stream. Damaged streams give the library's results.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <lzo1x.h>

#include "jxvfs/lzo/Lzo1xDecoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

enum class Compressor { Lzo1x1, Lzo1x999 };

Bytes Compress(const Bytes& in, Compressor c) {
    static const bool ready = lzo_init() == LZO_E_OK;
    EXPECT_TRUE(ready);
    Bytes work(c == Compressor::Lzo1x1 ? LZO1X_1_MEM_COMPRESS : LZO1X_999_MEM_COMPRESS);
    Bytes out(in.size() + in.size() / 16 + 64 + 3);
    lzo_uint length = out.size();
    const int rc = c == Compressor::Lzo1x1
                       ? lzo1x_1_compress(in.data(), in.size(), out.data(), &length, work.data())
                       : lzo1x_999_compress(in.data(), in.size(), out.data(), &length, work.data());
    EXPECT_EQ(rc, LZO_E_OK);
    out.resize(length);
    return out;
}

// Data of several kinds: noise, small alphabets (many short matches), long runs (long matches and
// length extensions), text-like repetition with far distances (M4 matches).
Bytes MakeData(int kind, size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(size);
    switch (kind) {
    case 0:
        for (auto& x : b)
            x = static_cast<uint8_t>(rng());
        break;
    case 1:
        for (auto& x : b)
            x = "abcd"[rng() % 4];
        break;
    case 2:
        for (size_t i = 0; i < size;) {
            const size_t run = 1 + rng() % 2000;
            const uint8_t v = static_cast<uint8_t>(rng() % 3);
            for (size_t k = 0; k < run && i < size; ++k)
                b[i++] = v;
        }
        break;
    default: {
        // Phrases repeated at distances up to 48 KiB.
        std::vector<Bytes> phrases;
        for (int p = 0; p < 64; ++p) {
            Bytes phrase(4 + rng() % 60);
            for (auto& x : phrase)
                x = static_cast<uint8_t>(rng());
            phrases.push_back(phrase);
        }
        size_t i = 0;
        while (i < size) {
            const Bytes& phrase = phrases[rng() % phrases.size()];
            for (size_t k = 0; k < phrase.size() && i < size; ++k)
                b[i++] = phrase[k];
            if (rng() % 5 == 0 && i < size)
                b[i++] = static_cast<uint8_t>(rng());
        }
    }
    }
    return b;
}

struct LibraryResult {
    int result;
    size_t outLength;
    Bytes out;
};

LibraryResult LibraryDecode(const Bytes& in, size_t capacity) {
    LibraryResult r;
    r.out.assign(capacity + 1, 0xEE);
    lzo_uint length = capacity;
    r.result = lzo1x_decompress_safe(in.data(), in.size(), r.out.data(), &length, nullptr);
    r.outLength = length;
    r.out.resize(capacity);
    return r;
}

// Decodes `stream` followed by `trailer` with our decoder and the stream alone with the library's.
void ExpectSameDecode(const Bytes& original, const Bytes& stream, const std::string& what) {
    SCOPED_TRACE(what);
    const LibraryResult lib = LibraryDecode(stream, original.size());
    ASSERT_EQ(lib.result, LZO_E_OK);
    ASSERT_EQ(lib.outLength, original.size());
    ASSERT_TRUE(std::equal(original.begin(), original.end(), lib.out.begin()));

    Bytes out(original.size() + 16, 0xEE);
    auto exact = jxlzo::Lzo1xDecompressSafe(stream.data(), stream.size(), out.data(), original.size());
    EXPECT_EQ(exact.result, jxlzo::kLzoOk);
    EXPECT_EQ(exact.consumed, stream.size());
    ASSERT_EQ(exact.outLength, original.size());
    EXPECT_TRUE(std::equal(original.begin(), original.end(), out.begin()));
    EXPECT_EQ(out[original.size()], 0xEE) << "wrote past the output length";

    // Blocks follow each other in a package: the next stream's bytes must not change the count.
    Bytes followed = stream;
    const Bytes next = Compress(MakeData(0, 100, 7), Compressor::Lzo1x1);
    followed.insert(followed.end(), next.begin(), next.end());
    Bytes out2(original.size(), 0);
    auto more = jxlzo::Lzo1xDecompressSafe(followed.data(), followed.size(), out2.data(), out2.size());
    EXPECT_EQ(more.result, jxlzo::kLzoInputNotConsumed);
    EXPECT_EQ(more.consumed, stream.size());
    EXPECT_EQ(out2, original);
}

TEST(LzoDecoder, DecodesEveryStreamOfTheLibraryCompressors) {
    const size_t sizes[] = {0, 1, 2, 3, 4, 15, 16, 17, 18, 255, 256, 1024, 4095, 16384, 65536 + 7, 300000};
    uint32_t seed = 1;
    for (Compressor c : {Compressor::Lzo1x1, Compressor::Lzo1x999}) {
        for (int kind = 0; kind < 4; ++kind) {
            for (size_t size : sizes) {
                if (c == Compressor::Lzo1x999 && size > 70000)
                    continue; // the slow compressor: large inputs add time, not coverage
                const Bytes data = MakeData(kind, size, seed++);
                ExpectSameDecode(data, Compress(data, c),
                                 "compressor " + std::to_string(static_cast<int>(c)) + " kind " +
                                     std::to_string(kind) + " size " + std::to_string(size));
            }
        }
    }
}

// Real files (text, binaries, images) from the host's shared data.
TEST(LzoDecoder, DecodesStreamsOfRealFiles) {
    std::vector<std::string> files;
    std::vector<std::string> dirs = {"/usr/share/common-licenses", "/usr/share/zoneinfo",
                                     "/usr/lib/x86_64-linux-gnu", "/usr/share/doc"};
    for (const std::string& dir : dirs) {
        DIR* d = ::opendir(dir.c_str());
        if (d == nullptr)
            continue;
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(d))
            names.push_back(e->d_name);
        ::closedir(d);
        std::sort(names.begin(), names.end());
        int taken = 0;
        for (const std::string& name : names) {
            const std::string path = dir + "/" + name;
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 512)
                continue;
            files.push_back(path);
            if (++taken == 4)
                break;
        }
    }
    ASSERT_FALSE(files.empty());
    for (const std::string& path : files) {
        std::ifstream in(path, std::ios::binary);
        Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (data.size() > (1u << 20))
            data.resize(1u << 20);
        ExpectSameDecode(data, Compress(data, Compressor::Lzo1x1), path + " (lzo1x_1)");
        if (data.size() <= 65536)
            ExpectSameDecode(data, Compress(data, Compressor::Lzo1x999), path + " (lzo1x_999)");
    }
}

// Truncated, bit-flipped and random streams, and too small outputs: the same result code and
// output length as the library's safe decoder, and never an access outside the buffers.
TEST(LzoDecoder, DamagedStreamsGiveTheLibraryResults) {
    std::mt19937 rng(42);
    const Bytes data = MakeData(3, 20000, 5);
    const Bytes stream = Compress(data, Compressor::Lzo1x1);
    std::vector<Bytes> inputs;
    for (size_t cut : {size_t(0), size_t(1), size_t(2), size_t(3), stream.size() / 2, stream.size() - 3,
                       stream.size() - 1})
        inputs.emplace_back(stream.begin(), stream.begin() + static_cast<long>(cut));
    for (int i = 0; i < 300; ++i) {
        Bytes flipped = stream;
        flipped[rng() % flipped.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        inputs.push_back(flipped);
    }
    for (int i = 0; i < 300; ++i) {
        Bytes noise(1 + rng() % 400);
        for (auto& x : noise)
            x = static_cast<uint8_t>(rng());
        inputs.push_back(noise);
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE("input " + std::to_string(i));
        if (inputs[i].empty()) {
            uint8_t out[4];
            const uint8_t none = 0;
            EXPECT_EQ(jxlzo::Lzo1xDecompressSafe(&none, 0, out, sizeof(out)).result, jxlzo::kLzoInputOverrun);
            continue;
        }
        // Exactly sized heap buffers, so the sanitizer sees any access beyond them.
        std::unique_ptr<uint8_t[]> in(new uint8_t[inputs[i].size() + 1]);
        std::copy(inputs[i].begin(), inputs[i].end(), in.get());
        for (size_t capacity : {data.size(), data.size() / 3, size_t(1)}) {
            std::unique_ptr<uint8_t[]> out(new uint8_t[capacity]);
            const auto ours = jxlzo::Lzo1xDecompressSafe(in.get(), inputs[i].size(), out.get(), capacity);
            const LibraryResult lib = LibraryDecode(inputs[i], capacity);
            EXPECT_EQ(ours.result, lib.result);
            EXPECT_EQ(ours.outLength, lib.outLength);
            EXPECT_TRUE(std::equal(out.get(), out.get() + ours.outLength, lib.out.begin()));
        }
    }
}

} // namespace

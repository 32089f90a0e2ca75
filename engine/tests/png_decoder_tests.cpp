// The engine's PNG decoder against libpng: a generated corpus of every format the decoder knows
// (every filter, interlaced or not, stored, fixed and dynamic blocks, transparency, many small
// and empty IDAT chunks, odd sizes) must give the same R, G, B, A pixels; damaged files must end
// with a clean result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jxengine/png/LwPngDecoder.h"
#include "png_decode.h"
#include "jxtest/png_files.h"

using JxSetup::Data::LwGenericPngDecoder;
using jxtest::PngBytes;
using jxtest::PngSpec;

namespace {

std::string Describe(const PngSpec& spec) {
    return "type " + std::to_string(spec.colorType) + " depth " + std::to_string(spec.bitDepth) + " " +
           std::to_string(spec.width) + "x" + std::to_string(spec.height) +
           (spec.interlaced ? " adam7" : "") + " filters " + std::to_string(spec.filters) + " level " +
           std::to_string(spec.compressionLevel) + " strategy " + std::to_string(spec.strategy) +
           (spec.transparency ? " tRNS" : "") + (spec.gamma ? " gAMA" : "");
}

// Decodes the file with both decoders and compares every pixel.
void ExpectSameAsLibpng(const PngBytes& file, const std::string& what) {
    const jxtest::PngImage expected = jxtest::ReadPngRgba(file);
    const DecodedPng actual = DecodePng(file);
    ASSERT_EQ(actual.result, 1) << what;
    ASSERT_EQ(actual.width, expected.width) << what;
    ASSERT_EQ(actual.height, expected.height) << what;
    ASSERT_EQ(actual.rgba.size(), expected.rgba.size()) << what;
    for (size_t i = 0; i < expected.rgba.size(); ++i)
        ASSERT_EQ(int(actual.rgba[i]), int(expected.rgba[i]))
            << what << ": pixel " << i / 4 % size_t(expected.width) << "," << i / 4 / size_t(expected.width)
            << " byte " << i % 4;
}

struct Format {
    int colorType;
    int bitDepth;
};
const Format kFormats[] = {{PNG_COLOR_TYPE_GRAY, 1},       {PNG_COLOR_TYPE_GRAY, 8},
                           {PNG_COLOR_TYPE_RGB, 8},        {PNG_COLOR_TYPE_RGB, 16},
                           {PNG_COLOR_TYPE_PALETTE, 4},    {PNG_COLOR_TYPE_PALETTE, 8},
                           {PNG_COLOR_TYPE_GRAY_ALPHA, 8}, {PNG_COLOR_TYPE_RGB_ALPHA, 8}};

TEST(PngDecoder, MatchesLibpngForEveryFormatFilterAndSize) {
    const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB,   PNG_FILTER_UP,
                           PNG_FILTER_AVG,  PNG_FILTER_PAETH, PNG_ALL_FILTERS};
    // 1×1, one column, one row, sizes below the Adam7 spacing, odd sizes and a wide image.
    const int sizes[][2] = {{1, 1}, {1, 19}, {19, 1}, {2, 3}, {4, 4}, {13, 7}, {10, 9}, {517, 3}};
    for (const Format& format : kFormats)
        for (bool interlaced : {false, true})
            for (int filter : filters)
                for (const auto& size : sizes) {
                    PngSpec spec;
                    spec.colorType = format.colorType;
                    spec.bitDepth = format.bitDepth;
                    spec.interlaced = interlaced;
                    spec.filters = filter;
                    spec.width = size[0];
                    spec.height = size[1];
                    spec.seed = unsigned(size[0] * 31 + size[1] + filter);
                    ExpectSameAsLibpng(jxtest::WritePng(spec), Describe(spec));
                }
}

TEST(PngDecoder, MatchesLibpngForStoredFixedAndDynamicBlocks) {
    // Level 0 gives stored blocks, Z_FIXED fixed codes, Z_RLE distances of 1, level 9 long matches.
    const int settings[][2] = {
        {0, -1}, {1, -1}, {9, -1}, {6, Z_FIXED}, {6, Z_RLE}, {6, Z_HUFFMAN_ONLY}, {6, Z_FILTERED}};
    for (const Format& format : kFormats)
        for (bool interlaced : {false, true})
            for (const auto& setting : settings) {
                PngSpec spec;
                spec.colorType = format.colorType;
                spec.bitDepth = format.bitDepth;
                spec.interlaced = interlaced;
                spec.width = 71;
                spec.height = 45;
                spec.compressionLevel = setting[0];
                spec.strategy = setting[1];
                ExpectSameAsLibpng(jxtest::WritePng(spec), Describe(spec));
            }
}

TEST(PngDecoder, MatchesLibpngWithTransparencyGammaAndSplitImageData) {
    for (const Format& format : kFormats)
        for (bool interlaced : {false, true}) {
            PngSpec spec;
            spec.colorType = format.colorType;
            spec.bitDepth = format.bitDepth;
            spec.interlaced = interlaced;
            spec.width = 33;
            spec.height = 21;
            spec.gamma = true;
            // Key colours for grey 8 and RGB, alpha per entry for palettes (the grey 1-bit format
            // takes no key, and the alpha formats have no tRNS).
            spec.transparency = format.bitDepth != 1 && format.colorType != PNG_COLOR_TYPE_GRAY_ALPHA &&
                                format.colorType != PNG_COLOR_TYPE_RGB_ALPHA;
            const PngBytes file = jxtest::WritePng(spec);
            ExpectSameAsLibpng(file, Describe(spec));
            // The same image data in IDAT chunks of 1 and 7 bytes, with empty IDAT chunks between.
            ExpectSameAsLibpng(jxtest::RechunkPngImageData(file, 1, false), Describe(spec) + " 1-byte IDATs");
            ExpectSameAsLibpng(jxtest::RechunkPngImageData(file, 7, true), Describe(spec) + " empty IDATs");
        }
}

TEST(PngDecoder, KeyColoursCompareWholeSamples) {
    // Pixels equal to the key are transparent; a 16-bit pixel whose high bytes equal the key's but
    // whose low bytes do not stays opaque.
    for (bool interlaced : {false, true}) {
        PngSpec rgb;
        rgb.colorType = PNG_COLOR_TYPE_RGB;
        rgb.width = 3;
        rgb.height = 2;
        rgb.interlaced = interlaced;
        rgb.transparency = true; // key 10, 20, 30
        rgb.rows = {10, 20, 30, 10, 20, 31, 0, 0, 0, 10, 20, 30, 9, 20, 30, 10, 20, 30};
        const DecodedPng narrow = DecodePng(jxtest::WritePng(rgb));
        ASSERT_EQ(narrow.result, 1);
        EXPECT_EQ(narrow.rgba[3], 0);
        EXPECT_EQ(narrow.rgba[7], 255);
        EXPECT_EQ(narrow.rgba[11], 255);
        EXPECT_EQ(narrow.rgba[15], 0);
        EXPECT_EQ(narrow.rgba[19], 255);
        EXPECT_EQ(narrow.rgba[23], 0);
        ExpectSameAsLibpng(jxtest::WritePng(rgb), "rgb key");

        PngSpec wide = rgb;
        wide.bitDepth = 16; // key 0x0305, 0x0A0F, 0x1419
        wide.rows = {3, 5, 10, 15, 20, 25, 3, 5, 10, 15, 20, 26, 3, 5, 10, 15, 20, 25,
                     3, 6, 10, 15, 20, 25, 0, 0, 0,  0,  0,  0,  3, 5, 10, 15, 20, 25};
        const DecodedPng deep = DecodePng(jxtest::WritePng(wide));
        ASSERT_EQ(deep.result, 1);
        EXPECT_EQ(deep.rgba[3], 0);
        EXPECT_EQ(deep.rgba[7], 255);
        EXPECT_EQ(deep.rgba[11], 0);
        EXPECT_EQ(deep.rgba[15], 255);
        EXPECT_EQ(deep.rgba[19], 255);
        EXPECT_EQ(deep.rgba[23], 0);
        EXPECT_EQ(deep.rgba[4], 3); // the high byte of each sample
        ExpectSameAsLibpng(jxtest::WritePng(wide), "rgb16 key");
    }
}

TEST(PngDecoder, RefusesTheFormatsItDoesNotKnow) {
    const Format unknown[] = {{PNG_COLOR_TYPE_GRAY, 2},      {PNG_COLOR_TYPE_GRAY, 4},
                              {PNG_COLOR_TYPE_GRAY, 16},     {PNG_COLOR_TYPE_PALETTE, 1},
                              {PNG_COLOR_TYPE_PALETTE, 2},   {PNG_COLOR_TYPE_GRAY_ALPHA, 16},
                              {PNG_COLOR_TYPE_RGB_ALPHA, 16}};
    for (const Format& format : unknown) {
        PngSpec spec;
        spec.colorType = format.colorType;
        spec.bitDepth = format.bitDepth;
        spec.width = 9;
        spec.height = 5;
        const PngBytes file = jxtest::WritePng(spec);
        EXPECT_EQ(jxtest::ReadPngRgba(file).width, 9); // a sound file
        EXPECT_EQ(DecodePng(file).result, -1) << Describe(spec);
    }
}

TEST(PngDecoder, PaletteIndexBeyondThePaletteWritesNothing) {
    PngSpec spec;
    spec.colorType = PNG_COLOR_TYPE_PALETTE;
    spec.bitDepth = 8;
    spec.paletteEntries = 4;
    spec.width = 4;
    spec.height = 1;
    spec.rows = {1, 4, 2, 3};
    const DecodedPng out = DecodePng(jxtest::WritePng(spec));
    ASSERT_EQ(out.result, 1);
    // Entry i is (i × 37, 255 − i × 11, i × 101); index 4 leaves its pixel cleared.
    const std::vector<uint8_t> expected = {37, 244, 101, 255, 0,   0,   0,  0,
                                           74, 233, 202, 255, 111, 222, 47, 255};
    EXPECT_EQ(out.rgba, expected);
}

TEST(PngDecoder, WritesItsRunningLogToTheSinkAndFreesEveryTreeNode) {
    static std::string lines;
    lines.clear();
    LwGenericPngDecoder::SetLogSink([](const char* line) { lines += line; });
    PngSpec spec;
    spec.width = 2;
    spec.height = 3;
    spec.gamma = true;
    EXPECT_EQ(DecodePng(jxtest::WritePng(spec)).result, 1);
    LwGenericPngDecoder::SetLogSink(nullptr);
    EXPECT_NE(lines.find("Width=2 Height=3\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("colorType=6\n"), std::string::npos);
    EXPECT_NE(lines.find("Gamma 45455 (default=100000)\n"), std::string::npos);
    EXPECT_NE(lines.find("Huffman Tree Leak Tracker = 0\n"), std::string::npos);
    EXPECT_NE(lines.find("Output 27 bytes.\n"), std::string::npos);
    EXPECT_EQ(LwGenericPngDecoder::LiveHuffmanNodes(), 0);
}

} // namespace

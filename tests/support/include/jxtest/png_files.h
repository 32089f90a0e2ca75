// PNG files made and read by libpng, the independent reader the engine's decoder is checked
// against. Header only: a target that includes it links PNG::PNG (and with it zlib).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <png.h>
#include <zlib.h>

namespace jxtest {

using PngBytes = std::vector<uint8_t>;

struct PngSpec {
    int width = 1;
    int height = 1;
    int colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    int bitDepth = 8;
    bool interlaced = false;
    int filters = PNG_ALL_FILTERS; // PNG_FILTER_NONE, _SUB, _UP, _AVG, _PAETH or a mix
    int compressionLevel = -1;     // zlib's level; 0 gives stored blocks
    int strategy = -1;             // zlib's strategy (Z_FIXED, Z_RLE, ...); -1: libpng's choice
    bool transparency = false;     // a tRNS chunk (key colour, or alpha of palette entries)
    bool gamma = false;            // a gAMA chunk
    int paletteEntries = 0;        // 0: as many as the bit depth allows
    unsigned seed = 1;             // picks the samples
    std::vector<uint8_t> rows;     // raw rows in PNG layout; made from the seed when empty
};

// The samples of one image: smooth areas (which the filters like) mixed with noise.
inline std::vector<uint8_t> MakePngRows(const PngSpec& spec, size_t rowBytes) {
    std::mt19937 random(spec.seed);
    std::vector<uint8_t> rows(rowBytes * size_t(spec.height));
    for (int y = 0; y < spec.height; ++y)
        for (size_t i = 0; i < rowBytes; ++i) {
            const uint32_t noise = random();
            rows[y * rowBytes + i] = (noise & 3) == 0 ? uint8_t(noise >> 8) : uint8_t(i * 3 + size_t(y) * 5);
        }
    if (spec.colorType == PNG_COLOR_TYPE_PALETTE) {
        // Indices must name palette entries.
        const int entries = spec.paletteEntries > 0 ? spec.paletteEntries : 1 << spec.bitDepth;
        const int perByte = 8 / spec.bitDepth;
        for (uint8_t& b : rows) {
            uint8_t out = 0;
            for (int k = 0; k < perByte; ++k) {
                const int index = ((b >> (k * spec.bitDepth)) & ((1 << spec.bitDepth) - 1)) % entries;
                out = uint8_t(out | (index << (k * spec.bitDepth)));
            }
            b = out;
        }
    }
    return rows;
}

inline PngBytes WritePng(const PngSpec& spec) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngBytes out;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("libpng could not write the image");
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            auto* target = static_cast<PngBytes*>(png_get_io_ptr(p));
            target->insert(target->end(), data, data + length);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(spec.width), png_uint_32(spec.height), spec.bitDepth, spec.colorType,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, spec.filters);
    if (spec.compressionLevel >= 0)
        png_set_compression_level(png, spec.compressionLevel);
    if (spec.strategy >= 0)
        png_set_compression_strategy(png, spec.strategy);
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;
    if (spec.colorType == PNG_COLOR_TYPE_PALETTE) {
        const int entries = spec.paletteEntries > 0 ? spec.paletteEntries : 1 << spec.bitDepth;
        for (int i = 0; i < entries; ++i)
            palette.push_back(png_color{png_byte(i * 37), png_byte(255 - i * 11), png_byte(i * 101)});
        png_set_PLTE(png, info, palette.data(), entries);
        if (spec.transparency) {
            // Fewer alphas than entries: the others stay opaque.
            for (int i = 0; i < (entries + 1) / 2; ++i)
                alphas.push_back(png_byte(i * 53));
            png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
        }
    } else if (spec.transparency) {
        png_color_16 key{};
        const bool wide = spec.bitDepth == 16;
        key.gray = png_uint_16(wide ? 0x0305 : 10);
        key.red = png_uint_16(wide ? 0x0305 : 10);
        key.green = png_uint_16(wide ? 0x0A0F : 20);
        key.blue = png_uint_16(wide ? 0x1419 : 30);
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    if (spec.gamma)
        png_set_gAMA_fixed(png, info, 45455);
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<uint8_t> rows = spec.rows.empty() ? MakePngRows(spec, rowBytes) : spec.rows;
    std::vector<png_bytep> pointers(size_t(spec.height));
    for (int y = 0; y < spec.height; ++y)
        pointers[size_t(y)] = rows.data() + size_t(y) * rowBytes;
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct PngImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba; // R, G, B, A per pixel, rows top first
};

// The image as libpng reads it, made 8-bit R, G, B, A: palettes and low bit depths expanded, tRNS
// as alpha, 16-bit samples cut to their high byte, grey made RGB, opaque alpha added.
inline PngImage ReadPngRgba(const PngBytes& file) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    struct Source {
        const PngBytes* bytes;
        size_t at;
    } source{&file, 0};
    PngImage out;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw std::runtime_error("libpng could not read the image");
    }
    png_set_read_fn(png, &source, [](png_structp p, png_bytep data, png_size_t length) {
        auto* s = static_cast<Source*>(png_get_io_ptr(p));
        if (s->at + length > s->bytes->size())
            png_error(p, "read past the end");
        std::memcpy(data, s->bytes->data() + s->at, length);
        s->at += length;
    });
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    out.width = int(png_get_image_width(png, info));
    out.height = int(png_get_image_height(png, info));
    out.rgba.assign(size_t(out.width) * size_t(out.height) * 4, 0);
    std::vector<png_bytep> pointers(size_t(out.height));
    for (int y = 0; y < out.height; ++y)
        pointers[size_t(y)] = out.rgba.data() + size_t(y) * size_t(out.width) * 4;
    png_read_image(png, pointers.data());
    png_destroy_read_struct(&png, &info, nullptr);
    return out;
}

// Big-endian helpers and the chunks of a file.
inline uint32_t PngBe32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

struct PngChunk {
    std::string type;
    std::vector<uint8_t> data;
};

inline std::vector<PngChunk> SplitPngChunks(const PngBytes& file) {
    std::vector<PngChunk> chunks;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = PngBe32(file.data() + at);
        chunks.push_back(
            {std::string(file.begin() + long(at) + 4, file.begin() + long(at) + 8),
             std::vector<uint8_t>(file.begin() + long(at) + 8, file.begin() + long(at) + 8 + length)});
        at += 12 + length;
    }
    return chunks;
}

inline void AppendPngChunk(PngBytes& file, const std::string& type, const std::vector<uint8_t>& data) {
    const uint32_t length = uint32_t(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(uint8_t(length >> shift));
    std::vector<uint8_t> crcInput(type.begin(), type.end());
    crcInput.insert(crcInput.end(), data.begin(), data.end());
    file.insert(file.end(), crcInput.begin(), crcInput.end());
    const uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), crcInput.data(), uInt(crcInput.size())));
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(uint8_t(crc >> shift));
}

inline PngBytes JoinPngChunks(const std::vector<PngChunk>& chunks) {
    PngBytes file = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    for (const PngChunk& chunk : chunks)
        AppendPngChunk(file, chunk.type, chunk.data);
    return file;
}

// The same image with its image data cut into IDAT chunks of at most `piece` bytes, and a
// zero-length IDAT before each of them when `emptyChunks` is set.
inline PngBytes RechunkPngImageData(const PngBytes& file, size_t piece, bool emptyChunks) {
    std::vector<PngChunk> out;
    std::vector<uint8_t> data;
    bool placed = false;
    for (const PngChunk& chunk : SplitPngChunks(file)) {
        if (chunk.type == "IDAT") {
            data.insert(data.end(), chunk.data.begin(), chunk.data.end());
            continue;
        }
        if (!placed && !data.empty()) {
            for (size_t at = 0; at < data.size(); at += piece) {
                if (emptyChunks)
                    out.push_back({"IDAT", {}});
                const size_t end = std::min(data.size(), at + piece);
                out.push_back(
                    {"IDAT", std::vector<uint8_t>(data.begin() + long(at), data.begin() + long(end))});
            }
            placed = true;
        }
        out.push_back(chunk);
    }
    return JoinPngChunks(out);
}

} // namespace jxtest

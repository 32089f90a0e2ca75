// The engine's own decoder of the PNG images it carries as resources (the start dialog's image).
// LwGenericPngDecoder checks the signature, walks the chunks, keeps the header, palette and
// transparency, collects the image data and inflates it (zlib format, DEFLATE blocks), handing each
// inflated byte to Output. LwRawPngDecoder turns those bytes into 8-bit R, G, B, A pixels: it
// reverses the scanline filters, converts each pixel and places it, also for Adam7 images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jxplat/wintypes.h"

namespace JxSetup::Data {

class LwGenericPngDecoder {
public:
    // The colour types and the "no key" value of the transparency keys.
    static constexpr int kGrey = 0;
    static constexpr int kRgb = 2;
    static constexpr int kPalette = 3;
    static constexpr int kGreyAlpha = 4;
    static constexpr int kRgbAlpha = 6;
    static constexpr int32_t kNoKey = 0x7FFFFFFF;
    static constexpr int32_t kDefaultGamma = 100000;

    LwGenericPngDecoder() = default;
    // A decoder is used through its own type only, so it has no virtual destructor.
    ~LwGenericPngDecoder() = default;
    LwGenericPngDecoder(const LwGenericPngDecoder&) = delete;
    LwGenericPngDecoder& operator=(const LwGenericPngDecoder&) = delete;

    // 1: decoded. 0: no data, 8 bytes or less, or no PNG signature. -1: any failure after the signature.
    int Decode(const BYTE* data, size_t size);

    // Called once after the chunks are read and before inflating; 1 lets decoding go on.
    virtual int PrepareOutput() { return 1; }
    // Called with each inflated byte, in order; 1 lets inflating go on.
    virtual int Output(BYTE) { return 1; }
    // Called once after inflating, whether it succeeded or not.
    virtual int EndOutput() { return 1; }

    int32_t GetWidth() const { return m_nWidth; }
    int32_t GetHeight() const { return m_nHeight; }
    int GetBitDepth() const { return m_nBitDepth; }
    int GetColorType() const { return m_nColorType; }
    int GetInterlaceMethod() const { return m_nInterlaceMethod; }
    int32_t GetGamma() const { return m_nGamma; }
    DWORD GetPaletteEntries() const { return m_nPaletteEntries; }
    int32_t GetTransparencyKey(int index) const { return m_nTransKey[index]; }

    // Where the decoder's running log of what it parses goes. The engine is a windowed program
    // without a console, so by default the lines go nowhere.
    typedef void (*LogSink)(const char* line);
    static void SetLogSink(LogSink sink);
    // Huffman tree nodes alive in the process; only logged.
    static int LiveHuffmanNodes();

protected:
    int ProcessChunk(DWORD length, std::vector<BYTE>& chunkData, const char type[4]);
    bool Inflate(size_t length, const BYTE* data);

    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    int m_nBitDepth = 0;
    int m_nColorType = 0;
    int m_nCompressionMethod = 0;
    int m_nFilterMethod = 0;
    int m_nInterlaceMethod = 0;
    DWORD m_nPaletteEntries = 0;
    std::vector<BYTE> m_Palette;      // R, G, B per entry
    std::vector<BYTE> m_PaletteAlpha; // the alpha of the first entries, from tRNS of a paletted image
    int32_t m_nTransKey[3] = {kNoKey, kNoKey, kNoKey};
    int32_t m_nGamma = kDefaultGamma;

private:
    void _png_TakeTransparency(const std::vector<BYTE>& data);

    std::vector<BYTE> m_ImageData; // the collected IDAT data
};

class LwRawPngDecoder : public LwGenericPngDecoder {
public:
    // The most pixels an image may have: its buffer (4 bytes a pixel) is checked before allocating.
    static constexpr int64_t kMaxPixels = int64_t(1) << 26;

    LwRawPngDecoder() = default;

    int PrepareOutput() override;
    int Output(BYTE value) override;
    int EndOutput() override;

    int32_t GetOutputWidth() const { return m_nOutWidth; }
    int32_t GetOutputHeight() const { return m_nOutHeight; }
    // R, G, B, A per pixel, rows top first without gaps; empty before a successful PrepareOutput.
    const std::vector<BYTE>& GetPixels() const { return m_Pixels; }

    // Reverses the filter of one unit (n bytes at offset i × n) of the current scanline in place.
    static void Unfilter(BYTE* current, const BYTE* previous, size_t unitIndex, int32_t lineIndex,
                         size_t unitSize, int filterType);

private:
    bool _png_Format(size_t& unitSize, int& pixelsPerByte) const;
    void _png_PassSize(int pass, int32_t& width, int32_t& height) const;
    void _png_SkipEmptyPasses();
    void _png_EndLine();
    void _png_PutPixel(int32_t x, const BYTE* unit);
    void _png_PutPackedPixels(BYTE packed);
    BYTE* _png_Target(int32_t x);

    int32_t m_nOutWidth = 0;
    int32_t m_nOutHeight = 0;
    std::vector<BYTE> m_Pixels;
    int m_nFilterType = 0;
    int32_t m_nX = -1;
    int32_t m_nY = 0;
    size_t m_nPixelStart = 0;
    size_t m_nPixelFill = 0;
    size_t m_nUnitSize = 1;
    int m_nPixelsPerByte = 0; // 8 or 2 for the packed formats (grey 1-bit, palette 4-bit), else 0
    int m_nPass = 1;
    int32_t m_nPassWidth = 0;
    int32_t m_nPassHeight = 0;
    std::vector<BYTE> m_Scanlines; // the current scanline, then the previous one
    BYTE* m_pCurrent = nullptr;
    BYTE* m_pPrevious = nullptr;
};

} // namespace JxSetup::Data

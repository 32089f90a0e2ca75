// The chunk walk of the PNG decoder: signature, header, palette, transparency, gamma and the
// collected image data.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "LwPngLog.h"
#include "jxengine/png/LwPngDecoder.h"

namespace JxSetup::Data {
namespace {

const BYTE kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

LwGenericPngDecoder::LogSink g_LogSink = nullptr;
int g_LiveNodes = 0; // plain: decoders run on one thread at a time

uint32_t _png_Be32(const BYTE* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

int32_t _png_Be16(const BYTE* p) {
    return (int32_t(p[0]) << 8) | int32_t(p[1]);
}

} // namespace

void _png_Log(const char* format, ...) {
    if (!g_LogSink)
        return;
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    g_LogSink(line);
}

void _png_CountNodes(int delta) {
    g_LiveNodes += delta;
}

void LwGenericPngDecoder::SetLogSink(LogSink sink) {
    g_LogSink = sink;
}

int LwGenericPngDecoder::LiveHuffmanNodes() {
    return g_LiveNodes;
}

int LwGenericPngDecoder::Decode(const BYTE* data, size_t size) {
    if (!data || size <= 8)
        return 0;
    if (memcmp(data, kSignature, sizeof(kSignature)) != 0) {
        _png_Log("The file does not have PNG signature.\n");
        return 0;
    }
    // The image data never outgrows the file, so the buffer is never reallocated.
    m_ImageData.clear();
    m_ImageData.reserve(size);
    size_t offset = 8;
    while (offset < size) {
        // A chunk that runs past the end of the data is a damaged file: nothing is read beyond it.
        if (size - offset < 12) {
            m_ImageData.clear();
            return -1;
        }
        const uint32_t length = _png_Be32(data + offset);
        const char* type = reinterpret_cast<const char*>(data + offset + 4);
        if (length > size - offset - 12) {
            m_ImageData.clear();
            return -1;
        }
        // The CRC behind the data is not checked.
        if (memcmp(type, "IEND", 4) == 0)
            break;
        std::vector<BYTE> chunk(data + offset + 8, data + offset + 8 + length);
        if (ProcessChunk(length, chunk, type) != 1) {
            m_ImageData.clear();
            return -1;
        }
        offset += size_t(length) + 12;
    }
    if (PrepareOutput() != 1) {
        m_ImageData.clear();
        return -1;
    }
    const bool inflated = Inflate(m_ImageData.size(), m_ImageData.data());
    EndOutput();
    m_ImageData.clear();
    m_ImageData.shrink_to_fit();
    return inflated ? 1 : -1;
}

int LwGenericPngDecoder::ProcessChunk(DWORD length, std::vector<BYTE>& chunkData, const char type[4]) {
    if (length == 0)
        return 1;
    const BYTE* p = chunkData.data();
    if (memcmp(type, "IDAT", 4) == 0) {
        m_ImageData.insert(m_ImageData.end(), chunkData.begin(), chunkData.end());
    } else if (memcmp(type, "IHDR", 4) == 0) {
        if (length < 13)
            return 1;
        m_nWidth = static_cast<int32_t>(_png_Be32(p));
        m_nHeight = static_cast<int32_t>(_png_Be32(p + 4));
        m_nBitDepth = p[8];
        m_nColorType = p[9];
        m_nCompressionMethod = p[10];
        m_nFilterMethod = p[11];
        m_nInterlaceMethod = p[12];
        _png_Log("Width=%d Height=%d\n", m_nWidth, m_nHeight);
        _png_Log("bitDepth=%d\n", m_nBitDepth);
        _png_Log("colorType=%d\n", m_nColorType);
        _png_Log("compressionMethod=%d\n", m_nCompressionMethod);
        _png_Log("filterMethod=%d\n", m_nFilterMethod);
        _png_Log("interlaceMethod=%d\n", m_nInterlaceMethod);
    } else if (memcmp(type, "PLTE", 4) == 0) {
        if (length % 3 != 0)
            return -1;
        m_Palette = chunkData;
        m_nPaletteEntries = length / 3;
        _png_Log("%d palette entries\n", static_cast<int>(m_nPaletteEntries));
    } else if (memcmp(type, "gAMA", 4) == 0) {
        if (length < 4)
            return 1;
        m_nGamma = static_cast<int32_t>(_png_Be32(p));
        _png_Log("Gamma %d (default=%d)\n", m_nGamma, kDefaultGamma);
    } else if (memcmp(type, "tRNS", 4) == 0) {
        _png_TakeTransparency(chunkData);
    }
    return 1;
}

// The transparency by the colour type known at that moment. A paletted image's tRNS holds the
// alpha of its first palette entries, as the PNG standard has it.
void LwGenericPngDecoder::_png_TakeTransparency(const std::vector<BYTE>& data) {
    if (m_nColorType == kGrey && data.size() >= 2) {
        m_nTransKey[0] = _png_Be16(data.data());
    } else if (m_nColorType == kRgb && data.size() >= 6) {
        for (int i = 0; i < 3; ++i)
            m_nTransKey[i] = _png_Be16(data.data() + 2 * i);
    } else if (m_nColorType == kPalette) {
        m_PaletteAlpha = data;
    }
}

} // namespace JxSetup::Data

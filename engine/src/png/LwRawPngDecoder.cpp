// The pixel side of the PNG decoder: scanline filters, conversion to R, G, B, A and placement,
// also for Adam7-interlaced images.
#include <cstdlib>
#include <new>

#include "LwPngLog.h"
#include "jxengine/png/LwPngDecoder.h"

namespace JxSetup::Data {
namespace {

struct CAdam7Pass {
    int x0, y0, dx, dy;
};
const CAdam7Pass kPasses[8] = {{0, 0, 1, 1}, {0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8},
                               {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

} // namespace

// The eight formats the decoder knows, with the bytes a filter treats as one unit and, for the
// packed formats, the pixels in one byte.
bool LwRawPngDecoder::_png_Format(size_t& unitSize, int& pixelsPerByte) const {
    pixelsPerByte = 0;
    unitSize = 1;
    switch (m_nColorType) {
    case kGrey:
        if (m_nBitDepth == 1)
            pixelsPerByte = 8;
        return m_nBitDepth == 1 || m_nBitDepth == 8;
    case kRgb:
        unitSize = m_nBitDepth == 16 ? 6 : 3;
        return m_nBitDepth == 8 || m_nBitDepth == 16;
    case kPalette:
        if (m_nBitDepth == 4)
            pixelsPerByte = 2;
        return m_nBitDepth == 4 || m_nBitDepth == 8;
    case kGreyAlpha:
        unitSize = 2;
        return m_nBitDepth == 8;
    case kRgbAlpha:
        unitSize = 4;
        return m_nBitDepth == 8;
    default:
        return false;
    }
}

int LwRawPngDecoder::PrepareOutput() {
    if (!_png_Format(m_nUnitSize, m_nPixelsPerByte)) {
        _png_Log("Unsupported colorType-bitDepth combination.\n");
        return 0;
    }
    // The header's sizes are signed: a size of 0 or less, or more pixels than the limit, would
    // overflow the buffer sizes. Checked before anything is allocated.
    if (m_nWidth <= 0 || m_nHeight <= 0 || int64_t(m_nWidth) * int64_t(m_nHeight) > kMaxPixels) {
        _png_Log("Unsupported image size %dx%d.\n", m_nWidth, m_nHeight);
        return 0;
    }
    m_nOutWidth = m_nWidth;
    m_nOutHeight = m_nHeight;
    const size_t bytesPerLine = m_nPixelsPerByte != 0
                                    ? (size_t(m_nOutWidth) + m_nPixelsPerByte - 1) / m_nPixelsPerByte
                                    : size_t(m_nOutWidth) * m_nUnitSize;
    try {
        // Cleared, so that pixels no data reaches read the same every time.
        m_Pixels.assign(size_t(m_nOutWidth) * size_t(m_nOutHeight) * 4, 0);
        m_Scanlines.assign(2 * bytesPerLine, 0);
    } catch (const std::bad_alloc&) {
        _png_Log("Out of memory.\n");
        m_Pixels.clear();
        m_Scanlines.clear();
        return 0;
    }
    m_pCurrent = m_Scanlines.data();
    m_pPrevious = m_Scanlines.data() + bytesPerLine;
    m_nX = -1;
    m_nY = 0;
    m_nFilterType = 0;
    m_nPixelStart = 0;
    m_nPixelFill = 0;
    m_nPass = m_nInterlaceMethod == 1 ? 1 : 0;
    _png_PassSize(m_nPass, m_nPassWidth, m_nPassHeight);
    if (m_nInterlaceMethod == 1)
        _png_SkipEmptyPasses();
    return 1;
}

// The size of an Adam7 pass; pass 0 is the whole image of a file that is not interlaced.
void LwRawPngDecoder::_png_PassSize(int pass, int32_t& width, int32_t& height) const {
    if (pass < 0 || pass > 7) {
        width = height = 0;
        return;
    }
    const CAdam7Pass& p = kPasses[pass];
    width = (m_nOutWidth + p.dx - p.x0 - 1) / p.dx;
    height = (m_nOutHeight + p.dy - p.y0 - 1) / p.dy;
}

// A pass without pixels (an image narrower or lower than its spacing) has no scanlines in the
// data, not even a filter byte.
void LwRawPngDecoder::_png_SkipEmptyPasses() {
    while (m_nPass <= 7 && (m_nPassWidth == 0 || m_nPassHeight == 0)) {
        ++m_nPass;
        _png_PassSize(m_nPass, m_nPassWidth, m_nPassHeight);
    }
}

int LwRawPngDecoder::Output(BYTE value) {
    if (m_nPass > 7 || m_nY >= m_nPassHeight)
        return 0;
    if (m_nX == -1) {
        m_nFilterType = value;
        m_nPixelStart = 0;
        m_nPixelFill = 0;
        m_nX = 0;
        return 1;
    }
    if (m_nInterlaceMethod != 0 && m_nInterlaceMethod != 1) {
        _png_Log("Unsupported interlace method.\n");
        return 0;
    }
    if (m_nPixelsPerByte != 0) {
        m_pCurrent[m_nPixelStart] = value;
        Unfilter(m_pCurrent, m_pPrevious, m_nPixelStart, m_nY, 1, m_nFilterType);
        _png_PutPackedPixels(m_pCurrent[m_nPixelStart]);
        ++m_nPixelStart;
    } else {
        m_pCurrent[m_nPixelStart + m_nPixelFill] = value;
        if (++m_nPixelFill == m_nUnitSize) {
            Unfilter(m_pCurrent, m_pPrevious, size_t(m_nX), m_nY, m_nUnitSize, m_nFilterType);
            _png_PutPixel(m_nX, m_pCurrent + m_nPixelStart);
            m_nPixelFill = 0;
            m_nPixelStart += m_nUnitSize;
            ++m_nX;
        }
    }
    if (m_nX >= m_nPassWidth)
        _png_EndLine();
    return 1;
}

void LwRawPngDecoder::_png_EndLine() {
    ++m_nY;
    m_nX = -1;
    BYTE* swap = m_pCurrent;
    m_pCurrent = m_pPrevious;
    m_pPrevious = swap;
    if (m_nPass == 0 || m_nY < m_nPassHeight)
        return;
    ++m_nPass;
    m_nY = 0;
    _png_PassSize(m_nPass, m_nPassWidth, m_nPassHeight);
    _png_SkipEmptyPasses();
    if (m_nPass <= 7)
        _png_Log("Interlace Pass %d\n", m_nPass);
}

BYTE* LwRawPngDecoder::_png_Target(int32_t x) {
    const CAdam7Pass& p = kPasses[m_nPass];
    const size_t column = size_t(x) * p.dx + p.x0;
    const size_t row = size_t(m_nY) * p.dy + p.y0;
    return m_Pixels.data() + (row * size_t(m_nOutWidth) + column) * 4;
}

// The pixels of one byte of a packed format, most significant bits first, as far as the row reaches.
void LwRawPngDecoder::_png_PutPackedPixels(BYTE packed) {
    const int bits = 8 / m_nPixelsPerByte;
    for (int i = 0; i < m_nPixelsPerByte && m_nX < m_nPassWidth; ++i, ++m_nX) {
        const BYTE sample = static_cast<BYTE>((packed >> (8 - bits * (i + 1))) & ((1 << bits) - 1));
        _png_PutPixel(m_nX, &sample);
    }
}

void LwRawPngDecoder::_png_PutPixel(int32_t x, const BYTE* unit) {
    BYTE* out = _png_Target(x);
    switch (m_nColorType) {
    case kGrey:
        if (m_nBitDepth == 1) {
            out[0] = out[1] = out[2] = unit[0] != 0 ? 255 : 0;
            out[3] = 255;
        } else {
            out[0] = out[1] = out[2] = unit[0];
            const bool key =
                unit[0] == m_nTransKey[0] || unit[0] == m_nTransKey[1] || unit[0] == m_nTransKey[2];
            out[3] = key ? 0 : 255;
        }
        break;
    case kRgb:
        if (m_nBitDepth == 16) {
            const int32_t r = (unit[0] << 8) | unit[1];
            const int32_t g = (unit[2] << 8) | unit[3];
            const int32_t b = (unit[4] << 8) | unit[5];
            out[0] = unit[0];
            out[1] = unit[2];
            out[2] = unit[4];
            out[3] = r == m_nTransKey[0] && g == m_nTransKey[1] && b == m_nTransKey[2] ? 0 : 255;
        } else {
            out[0] = unit[0];
            out[1] = unit[1];
            out[2] = unit[2];
            out[3] =
                unit[0] == m_nTransKey[0] && unit[1] == m_nTransKey[1] && unit[2] == m_nTransKey[2] ? 0 : 255;
        }
        break;
    case kPalette: {
        // An index beyond the palette writes nothing.
        const DWORD index = unit[0];
        if (index >= m_nPaletteEntries)
            break;
        out[0] = m_Palette[index * 3];
        out[1] = m_Palette[index * 3 + 1];
        out[2] = m_Palette[index * 3 + 2];
        out[3] = index < m_PaletteAlpha.size() ? m_PaletteAlpha[index] : 255;
        break;
    }
    case kGreyAlpha:
        out[0] = out[1] = out[2] = unit[0];
        out[3] = unit[1];
        break;
    default: // RGB with alpha
        out[0] = unit[0];
        out[1] = unit[1];
        out[2] = unit[2];
        out[3] = unit[3];
        break;
    }
}

int LwRawPngDecoder::EndOutput() {
    _png_Log("Final Position (%d,%d)\n", m_nX, m_nY);
    return 1;
}

void LwRawPngDecoder::Unfilter(BYTE* current, const BYTE* previous, size_t unitIndex, int32_t lineIndex,
                               size_t unitSize, int filterType) {
    BYTE* unit = current + unitIndex * unitSize;
    const bool hasLeft = unitIndex >= 1;
    const bool hasAbove = lineIndex >= 1;
    for (size_t k = 0; k < unitSize; ++k) {
        const size_t at = unitIndex * unitSize + k;
        const int left = hasLeft ? current[at - unitSize] : 0;
        const int above = hasAbove ? previous[at] : 0;
        const int aboveLeft = hasLeft && hasAbove ? previous[at - unitSize] : 0;
        int add = 0;
        switch (filterType) {
        case 1:
            add = left;
            break;
        case 2:
            add = above;
            break;
        case 3:
            add = (left + above) / 2;
            break;
        case 4: {
            const int p = left + above - aboveLeft;
            const int pa = std::abs(p - left);
            const int pb = std::abs(p - above);
            const int pc = std::abs(p - aboveLeft);
            add = pa <= pb && pa <= pc ? left : pb <= pc ? above : aboveLeft;
            break;
        }
        default:
            break;
        }
        unit[k] = static_cast<BYTE>(unit[k] + add);
    }
}

} // namespace JxSetup::Data

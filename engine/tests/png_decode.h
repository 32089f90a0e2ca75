// The engine's PNG decoder as the tests call it: the result, the size and the pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "jxengine/png/LwPngDecoder.h"

struct DecodedPng {
    int result = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

inline DecodedPng DecodePng(const std::vector<uint8_t>& file) {
    JxSetup::Data::LwRawPngDecoder decoder;
    DecodedPng out;
    out.result = decoder.Decode(file.data(), file.size());
    out.width = decoder.GetOutputWidth();
    out.height = decoder.GetOutputHeight();
    out.rgba = decoder.GetPixels();
    return out;
}

// The picture of the screen: the visible windows composed bottom to top, as the user would see
// them, written to the machine root as "screen.png" whenever what they show changes. An ordinary
// window is opaque; a layered window's premultiplied pixels are scaled by its constant alpha and
// laid over what is below (the step of AlphaBlend). The desktop under them is transparent, and
// the file holds the box around the visible windows with straight (not premultiplied) alpha.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include <png.h>

#include "jxplat/machine.h"
#include "user/window_state.h"

namespace jxplat {
namespace {

bool _screen_WritePng(const std::string& path, int width, int height, const std::vector<BYTE>& rgba) {
    // Each process writes its own temporary file; the rename makes the new picture appear whole.
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool written = false;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y)
            png_write_row(png, rgba.data() + size_t(y) * size_t(width) * 4);
        png_write_end(png, info);
        written = true;
    }
    png_destroy_write_struct(&png, &info);
    written = std::fclose(file) == 0 && written;
    std::error_code error;
    if (written)
        std::filesystem::rename(temporary, path, error);
    if (!written || error) {
        std::filesystem::remove(temporary, error);
        std::fprintf(stderr, "The picture of the screen cannot be written to %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

void RecordScreen() {
    std::vector<std::shared_ptr<CWindow>> shown;
    {
        CUserState& state = UserState();
        std::lock_guard<std::recursive_mutex> guard(state.lock);
        std::map<uint64_t, std::shared_ptr<CWindow>> ordered;
        for (const auto& [handle, w] : state.windows) {
            const bool layered = (w->exStyle & WS_EX_LAYERED) != 0;
            if ((w->style & WS_VISIBLE) && (!layered || w->hasLayer) && w->surface.width > 0 &&
                w->surface.height > 0)
                ordered[w->order] = w;
        }
        for (auto& [order, w] : ordered)
            shown.push_back(w);
    }
    if (shown.empty())
        return;
    RECT box = shown.front()->rect;
    for (const auto& w : shown) {
        box.left = std::min(box.left, w->rect.left);
        box.top = std::min(box.top, w->rect.top);
        box.right = std::max(box.right, w->rect.left + w->surface.width);
        box.bottom = std::max(box.bottom, w->rect.top + w->surface.height);
    }
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    std::vector<BYTE> rgba(size_t(width) * size_t(height) * 4, 0); // premultiplied while composing
    for (const auto& w : shown) {
        const bool layered = (w->exStyle & WS_EX_LAYERED) != 0;
        for (int y = 0; y < w->surface.height; ++y)
            for (int x = 0; x < w->surface.width; ++x) {
                const BYTE* s = w->surface.Pixel(x, y);
                BYTE* d = rgba.data() + (size_t(w->rect.top - box.top + y) * size_t(width) +
                                         size_t(w->rect.left - box.left + x)) *
                                            4;
                if (!layered) {
                    d[0] = s[2];
                    d[1] = s[1];
                    d[2] = s[0];
                    d[3] = 255;
                    continue;
                }
                const int alpha = ScaleByte(s[3], w->layerAlpha);
                const int source[4] = {s[2], s[1], s[0], s[3]};
                for (int k = 0; k < 4; ++k)
                    d[k] = BYTE(
                        std::min(255, ScaleByte(source[k], w->layerAlpha) + ScaleByte(d[k], 255 - alpha)));
            }
    }
    for (size_t i = 0; i < rgba.size(); i += 4) {
        const int a = rgba[i + 3];
        for (int k = 0; k < 3; ++k)
            rgba[i + k] = a == 0 ? 0 : BYTE(std::min(255, (rgba[i + k] * 255 + a / 2) / a));
    }
    _screen_WritePng(MachinePath("screen.png"), width, height, rgba);
}

} // namespace jxplat

// Draws the program's start image (230 × 230 pixels, RGB with alpha, not interlaced) and writes it
// as a PNG file and as a C++ source that holds the file's bytes, for the program's resources. A
// build tool: libpng only writes the file here, the engine decodes it with its own decoder.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <png.h>

namespace {

constexpr int kSize = 230;

double Clamp01(double v) {
    return std::min(1.0, std::max(0.0, v));
}

// Coverage of a rounded square of the given half size and corner radius at a point, with a soft
// edge of `soft` pixels.
double RoundedSquare(double x, double y, double half, double radius, double soft) {
    const double qx = std::fabs(x) - (half - radius);
    const double qy = std::fabs(y) - (half - radius);
    const double outside =
        std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - radius;
    return Clamp01(0.5 - outside / soft);
}

struct Pixel {
    double r = 0, g = 0, b = 0, a = 0;
};

// Lays a colour with coverage over a straight-alpha pixel.
void Over(Pixel& p, double r, double g, double b, double coverage) {
    const double a = coverage + p.a * (1 - coverage);
    if (a <= 0)
        return;
    p.r = (r * coverage + p.r * p.a * (1 - coverage)) / a;
    p.g = (g * coverage + p.g * p.a * (1 - coverage)) / a;
    p.b = (b * coverage + p.b * p.a * (1 - coverage)) / a;
    p.a = a;
}

std::vector<unsigned char> Draw() {
    std::vector<unsigned char> rgba(size_t(kSize) * kSize * 4);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double cx = x + 0.5 - kSize / 2.0;
            const double cy = y + 0.5 - kSize / 2.0;
            Pixel p;
            // A faint halo that fades into the dialog's white.
            Over(p, 20, 70, 140, 0.35 * RoundedSquare(cx, cy, 114, 40, 14));
            // The card: a blue gradient from the top left to the bottom right.
            const double t = Clamp01((cx + cy) / (2.0 * kSize) + 0.5);
            Over(p, 30 - 18 * t, 120 - 64 * t, 200 - 80 * t, RoundedSquare(cx, cy, 100, 26, 2.5));
            // A lighter band across it.
            const double band =
                Clamp01(1.0 - std::fabs(cx - cy + 40) / 30.0) * RoundedSquare(cx, cy, 100, 26, 2.5);
            Over(p, 255, 255, 255, 0.12 * band);
            // The emblem: a white ring with a box inside it.
            const double d = std::hypot(cx, cy + 12);
            Over(p, 255, 255, 255, Clamp01(6.5 - std::fabs(d - 46)) * 0.95);
            Over(p, 255, 255, 255, 0.9 * RoundedSquare(cx, cy + 12, 20, 4, 1.5));
            // Three dots below it, the last one half transparent.
            for (int i = 0; i < 3; ++i) {
                const double dot = Clamp01(5.5 - std::hypot(cx - (i - 1) * 20.0, cy - 66));
                Over(p, 255, 255, 255, dot * (i == 2 ? 0.5 : 0.95));
            }
            unsigned char* out = rgba.data() + (size_t(y) * kSize + size_t(x)) * 4;
            out[0] = (unsigned char)std::lround(Clamp01(p.r / 255) * 255);
            out[1] = (unsigned char)std::lround(Clamp01(p.g / 255) * 255);
            out[2] = (unsigned char)std::lround(Clamp01(p.b / 255) * 255);
            out[3] = (unsigned char)std::lround(Clamp01(p.a) * 255);
        }
    return rgba;
}

std::vector<unsigned char> Encode(const std::vector<unsigned char>& rgba) {
    std::vector<unsigned char> file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &file,
        [](png_structp p, png_bytep data, png_size_t length) {
            auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + length);
        },
        nullptr);
    png_set_IHDR(png, info, kSize, kSize, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int y = 0; y < kSize; ++y)
        png_write_row(png, rgba.data() + size_t(y) * kSize * 4);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_start_image OUTPUT.png OUTPUT.cpp\n");
        return 2;
    }
    const std::vector<unsigned char> file = Encode(Draw());
    if (file.empty()) {
        std::fprintf(stderr, "make_start_image: libpng could not write the image\n");
        return 1;
    }
    std::ofstream png(argv[1], std::ios::binary);
    png.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    std::ofstream source(argv[2]);
    source
        << "// Made by make_start_image: the bytes of the start image, a PNG file.\n"
           "#include <cstddef>\n\nnamespace JxSetup::Data {\nextern const unsigned char kStartImagePng[] = {";
    for (size_t i = 0; i < file.size(); ++i)
        source << (i % 20 == 0 ? "\n    " : " ") << int(file[i]) << ",";
    source << "\n};\nextern const size_t kStartImagePngSize = sizeof(kStartImagePng);\n} // namespace "
              "JxSetup::Data\n";
    if (!png || !source) {
        std::fprintf(stderr, "make_start_image: cannot write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}

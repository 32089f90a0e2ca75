// Writes the seed corpus of the PNG fuzz target with libpng: every format the decoder knows,
// interlaced or not, with stored, fixed and dynamic blocks, transparency and split image data.
#include <cstdio>
#include <fstream>
#include <string>

#include "jxtest/png_files.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: png_seeds FOLDER\n");
        return 2;
    }
    const int formats[][2] = {{0, 1}, {0, 8}, {2, 8}, {2, 16}, {3, 4}, {3, 8}, {4, 8}, {6, 8}};
    int n = 0;
    for (const auto& format : formats)
        for (int variant = 0; variant < 3; ++variant) {
            jxtest::PngSpec spec;
            spec.colorType = format[0];
            spec.bitDepth = format[1];
            spec.width = 5 + variant * 6;
            spec.height = 3 + variant * 2;
            spec.interlaced = variant == 1;
            spec.compressionLevel = variant == 0 ? 0 : -1;
            spec.strategy = variant == 2 ? 4 /* Z_FIXED */ : -1;
            spec.transparency = format[1] != 1 && format[0] != 4 && format[0] != 6;
            spec.seed = unsigned(n);
            jxtest::PngBytes file = jxtest::WritePng(spec);
            if (variant == 2)
                file = jxtest::RechunkPngImageData(file, 16, true);
            std::ofstream out(std::string(argv[1]) + "/seed_" + std::to_string(n++) + ".png",
                              std::ios::binary);
            out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
            if (!out) {
                std::fprintf(stderr, "png_seeds: cannot write the corpus\n");
                return 1;
            }
        }
    return 0;
}

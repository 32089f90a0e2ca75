// jxmachine screen: the picture of the windows the machine last showed (the start dialog with its
// shadow), recorded by the stand-in as screen.png.
#include <cstdio>
#include <string>

#include "jxmachine/commands.h"
#include "jxplat/machine.h"

namespace {

int PrintScreen(int, char**, int) {
    const std::string path = jxplat::MachinePath("screen.png");
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "jxmachine: no window was shown on this machine\n");
        return 1;
    }
    // The width and height stand big-endian in the header chunk, behind the signature.
    unsigned char head[24] = {};
    const size_t read = std::fread(head, 1, sizeof(head), in);
    std::fclose(in);
    if (read != sizeof(head) || head[12] != 'I' || head[13] != 'H' || head[14] != 'D' || head[15] != 'R') {
        std::fprintf(stderr, "jxmachine: %s is no PNG image\n", path.c_str());
        return 1;
    }
    auto be32 = [&](int at) {
        return (unsigned(head[at]) << 24) | (unsigned(head[at + 1]) << 16) | (unsigned(head[at + 2]) << 8) |
               unsigned(head[at + 3]);
    };
    std::printf("%s\t%ux%u\n", path.c_str(), be32(16), be32(20));
    return 0;
}

jxtools::JxMachineCommand
    g_Screen("screen",
             "screen                   print the picture of the windows last shown (start dialog): "
             "host path and size",
             PrintScreen);

} // namespace

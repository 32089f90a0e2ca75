#include "jxpack.h"

int main(int argc, char** argv) {
    return jxpack::Main(argc, argv);
}

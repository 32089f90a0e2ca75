// A test library: the tests load it from a package and call its export.
extern "C" __attribute__((visibility("default"))) int JxHelloAnswer(int value) {
    return value + 42;
}

// Host entry of the program: hands over to its Windows entry and records the 32-bit exit code.
#include "jxengine/entry.h"

int main() {
    // The entry catches what the run throws; what is left here still ends the program with 1.
    try {
        return jxplat::RunWindowsEntry(JxSetupEntry);
    } catch (...) {
        jxplat::WriteExitCode(1);
        return 1;
    }
}

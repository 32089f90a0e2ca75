// Host entry of the program: hands over to its Windows entry and records the 32-bit exit code.
#include "jxengine/entry.h"

int main() {
    return jxplat::RunWindowsEntry(JxSetupEntry);
}

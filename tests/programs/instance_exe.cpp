// A test program for the cross-process locks. Exit code 0: it held the lock until told to end;
// 1: it did not get it; 7: it took the lock and ended without releasing it.
//   instance.exe mutex <product id> <fifo>  - the single-instance lock of an exclusive setup
//   instance.exe lock <lock name> <fifo>    - a machine-wide lock, held until the fifo is written
//   instance.exe die <lock name>            - a machine-wide lock, never released
// The fifo (a host path) is opened for reading once the lock is held, so a test that opens it for
// writing knows the lock is taken; one byte (or the writer's close) lets the program end.
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include <windows.h>

#include "jxbase/machinewidelock.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace {

void WaitForFifo(const std::string& fifo) {
    int fd = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char byte;
        (void)!::read(fd, &byte, 1);
        ::close(fd);
    }
}

int End(DWORD code) {
    jxplat::WriteExitCode(code);
    return static_cast<int>(code);
}

} // namespace

int main() {
    const std::vector<std::u16string> args = jxplat::SplitCommandLine(GetCommandLineW());
    if (args.size() < 3)
        return End(2);
    const std::u16string mode = args[1];
    if (mode == u"mutex" && args.size() > 3) {
        JxSetup::Data::JxData data;
        data.m_ProductInfo.productid = args[2];
        data.m_ProductInfo.exclusive = u"true";
        if (!data.OpenGlobalMutex())
            return End(1);
        WaitForFifo(jxplat::WindowsToHostPath(args[3]));
        return End(0);
    }
    CMachineWideLock lock(args[2].c_str());
    if (!lock.Acquire(0)) {
        if (args.size() > 3) // a test waiting to write must not wait forever
            WaitForFifo(jxplat::WindowsToHostPath(args[3]));
        return End(1);
    }
    if (mode == u"die") {
        jxplat::WriteExitCode(7);
        ::_exit(7); // no Release, no destructor
    }
    if (args.size() > 3)
        WaitForFifo(jxplat::WindowsToHostPath(args[3]));
    lock.Release();
    return End(0);
}

// The independent minidump reader of the tests: Python's struct module walks the container and
// prints one line per fact, which the test side parses.
#include "jxtest/minidump_reader.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "jxplat/machine.h"
#include "jxtest/run_program.h"

namespace jxtest {
namespace {

const char* kReader = R"PY(
import struct, sys
data = open(sys.argv[1], 'rb').read()
def need(cond, what):
    if not cond:
        print('error', what); sys.exit(0)
def loc(size, rva):
    need(rva + size <= len(data), 'location outside the file')
    return data[rva:rva + size]
def mstring(rva):
    (n,) = struct.unpack_from('<I', loc(4, rva))
    need(n % 2 == 0, 'odd string length')
    raw = loc(4 + n + 2, rva)
    need(raw[4 + n:] == b'\0\0', 'string not terminated')
    return raw[4:4 + n].decode('utf-16-le')
need(len(data) >= 32, 'short header')
sig, ver, count, dirrva, _, _, flags = struct.unpack_from('<IIIIIIQ', data, 0)
need(sig == 0x504D444D, 'bad signature')
need(ver & 0xFFFF == 0xA793, 'bad version')
print('streams', count); print('flags', flags)
for i in range(count):
    stype, size, rva = struct.unpack_from('<III', loc(12, dirrva + 12 * i))
    body = loc(size, rva)
    if stype == 7:
        need(size >= 56, 'short system info')
        arch, = struct.unpack_from('<H', body, 0)
        major, minor, build, platform, csd = struct.unpack_from('<IIIII', body, 8)
        mstring(csd)
        print('system', arch, major, minor, build)
    elif stype == 3:
        (n,) = struct.unpack_from('<I', body)
        need(4 + 48 * n <= size, 'thread list too long')
        print('threads', *[struct.unpack_from('<I', body, 4 + 48 * k)[0] for k in range(n)])
    elif stype == 4:
        (n,) = struct.unpack_from('<I', body)
        need(4 + 108 * n <= size, 'module list too long')
        for k in range(n):
            base, size_, _, _, name = struct.unpack_from('<QIIII', body, 4 + 108 * k)
            need(size_ > 0, 'empty module')
            print('module', mstring(name))
    elif stype == 6:
        need(size >= 168, 'short exception stream')
        tid, = struct.unpack_from('<I', body, 0)
        code, = struct.unpack_from('<I', body, 8)
        print('exception', tid, code)
)PY";

} // namespace

MinidumpView ReadMinidump(const std::string& hostPath) {
    const std::string script = jxplat::MachinePath("minidump_reader.py");
    std::ofstream(script, std::ios::trunc) << kReader;
    MinidumpView view;
    std::istringstream lines(CommandOutput("/usr/bin/python3 '" + script + "' '" + hostPath + "' 2>&1"));
    std::string line;
    bool any = false;
    while (std::getline(lines, line)) {
        any = true;
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "error" || key == "Traceback") {
            view.error = line;
            return view;
        }
        if (key == "streams")
            fields >> view.streams;
        else if (key == "flags")
            fields >> view.flags;
        else if (key == "system")
            fields >> view.architecture >> view.major >> view.minor >> view.build;
        else if (key == "threads")
            for (uint32_t id; fields >> id;)
                view.threads.push_back(id);
        else if (key == "module")
            view.modules.push_back(line.substr(7));
        else if (key == "exception") {
            view.hasException = true;
            fields >> view.exceptionThread >> view.exceptionCode;
        } else if (view.error.empty())
            view.error = "unexpected reader output: " + line;
    }
    if (!any)
        view.error = "the reader printed nothing";
    return view;
}

} // namespace jxtest

// The Windows command line of the process: handed over whole in JX_COMMAND_LINE by a starting
// process of the stand-in, or rebuilt from the host's argv with Windows quoting.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>

#include "core/faults.h"
#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxplat/text.h"

namespace jxplat {

std::u16string QuoteArgument(std::u16string_view argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string_view::npos)
        return std::u16string(argument);
    std::u16string out = u"\"";
    size_t backslashes = 0;
    for (char16_t c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') // backslashes before a quote are doubled, and the quote escaped
            out.append(backslashes * 2 + 1, u'\\');
        else
            out.append(backslashes, u'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, u'\\'); // before the closing quote
    out += u'"';
    return out;
}

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
    std::vector<std::u16string> args;
    size_t i = 0;
    const size_t n = line.size();
    // The program name ends at the next blank, or at its closing quote; no escapes in it.
    while (i < n && (line[i] == u' ' || line[i] == u'\t'))
        ++i;
    if (i >= n)
        return args;
    std::u16string program;
    if (line[i] == u'"') {
        ++i;
        while (i < n && line[i] != u'"')
            program += line[i++];
        if (i < n)
            ++i;
    } else {
        while (i < n && line[i] != u' ' && line[i] != u'\t')
            program += line[i++];
    }
    args.push_back(program);
    for (;;) {
        while (i < n && (line[i] == u' ' || line[i] == u'\t'))
            ++i;
        if (i >= n)
            break;
        std::u16string arg;
        bool quoted = false;
        while (i < n) {
            char16_t c = line[i];
            if (c == u'\\') {
                size_t count = 0;
                while (i < n && line[i] == u'\\') {
                    ++count;
                    ++i;
                }
                if (i < n && line[i] == u'"') {
                    arg.append(count / 2, u'\\');
                    if (count % 2) {
                        arg += u'"';
                        ++i;
                    }
                } else {
                    arg.append(count, u'\\');
                }
                continue;
            }
            if (c == u'"') {
                if (quoted && i + 1 < n && line[i + 1] == u'"') { // "" inside quotes is one quote
                    arg += u'"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            if (!quoted && (c == u' ' || c == u'\t'))
                break;
            arg += c;
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}

} // namespace jxplat

namespace {

std::u16string BuildCommandLine() {
    if (const char* given = std::getenv("JX_COMMAND_LINE"))
        return jxtext::Utf8ToUtf16(given);
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string line;
    size_t start = 0;
    bool first = true;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        std::string arg = raw.substr(start, end - start);
        if (!first)
            line += u' ';
        // The program is named by its Windows path, as Windows shows it.
        line += jxplat::QuoteArgument(first ? jxplat::HostToWindowsPath(arg) : jxtext::Utf8ToUtf16(arg));
        first = false;
        start = end + 1;
    }
    return line;
}

} // namespace

LPWSTR GetCommandLineW() {
    static std::u16string* line = [] {
        jxplat::KillPointAtStart(); // the program's first call
        return new std::u16string(BuildCommandLine());
    }();
    return line->data();
}

// The parameters of the process command line: what follows the program, by the Windows rule
// (a quoted program up to its closing quote, otherwise up to the first blank).
#include "jxsetupdata/JxFile.h"
#include "jxbase/secretmask.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {

std::u16string JxFile::_cmd_SkipProgram(std::u16string_view line) {
    size_t at = 0;
    if (!line.empty() && line[0] == u'"') {
        const size_t close = line.find(u'"', 1);
        at = close == std::u16string_view::npos ? line.size() : close + 1;
    } else {
        while (at < line.size() && line[at] != u' ' && line[at] != u'\t')
            ++at;
    }
    while (at < line.size() && (line[at] == u' ' || line[at] == u'\t'))
        ++at;
    return std::u16string(line.substr(at));
}

std::u16string JxFile::getCMDParams() {
    const std::u16string params = _cmd_SkipProgram(GetCommandLineW() ? GetCommandLineW() : u"");
    Instance()->Log(LP_INFO, u"lib", u"JxSetup::Data::JxFile::getCMDParams", u"%s",
                    MaskProtectedArguments(params).c_str());
    return params;
}

} // namespace JxSetup::Data

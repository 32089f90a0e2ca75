// Small property operations of the checks and of the restart entry: appending to a list property
// and carrying the packaged program's path ("/_mountExe") into a command line.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {

void JxData::AppendPropertyValue(const std::u16string& value, const std::u16string& name,
                                 const std::u16string& separator) {
    if (value.empty())
        return;
    std::u16string list = GetPropertyValue(name);
    if (!list.empty())
        list += separator;
    list += value;
    SetProperty(name, list, 1);
}

void JxData::AddMountExeArgument(std::u16string& out, const std::u16string& commandLine) {
    out = commandLine;
    const std::u16string path = GetPropertyValue(u"_mountExe");
    // The path may come quoted from a command line.
    std::u16string unquoted = path;
    if (unquoted.size() >= 2 && unquoted.front() == u'"' && unquoted.back() == u'"')
        unquoted = unquoted.substr(1, unquoted.size() - 2);
    if (unquoted.empty() || !_disk_FileExists(unquoted))
        return;
    if (jxtext::FindNoCase(commandLine, u"/_mountExe=") != std::u16string::npos)
        return;
    // Quoted once: a path that came quoted would otherwise end up in doubled quotes.
    out += u" /_mountExe=\"" + unquoted + u"\"";
}

} // namespace JxSetup::Data

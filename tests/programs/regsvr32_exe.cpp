// The system's registration program of COM servers, as the tests' machines have it:
//   regsvr32.exe /s [/u] "SERVER"
// A server here is a text file of "Key=Value" lines: "CLSID" (the class id in braces), "Name" (the
// class name) and optionally "ExitCode" (a registration that fails: the program ends with that code
// and changes nothing). Registering writes the class key as a server's own registration does:
//   HKLM\SOFTWARE\Classes\CLSID\{id}                  (default) = Name
//   HKLM\SOFTWARE\Classes\CLSID\{id}\InprocServer32   (default) = SERVER (as the loaded module
//                                                   names itself), ThreadingModel = Apartment
// in the 64-bit view when this program is the one of the 64-bit system folder, else in the 32-bit
// view; "/u" removes the class key. Every run appends "<32|64> <register|unregister> SERVER" to
// "selfreg.runs" in the machine root. Exit codes: 0, the server's ExitCode, 3 when the server cannot
// be read (as a library that does not load), 4 when it names no class id, 1 for a bad command line.
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxplat/text.h"

namespace {

std::map<std::string, std::string> ReadServer(const std::u16string& path, bool& readable) {
    std::map<std::string, std::string> values;
    std::ifstream in(jxplat::WindowsToHostPath(path), std::ios::binary);
    readable = static_cast<bool>(in);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

// The server's path as the loaded module would report it: repeated separators collapsed.
std::u16string ModulePath(const std::u16string& path) {
    std::u16string out;
    for (char16_t c : path)
        if (!(c == u'\\' && !out.empty() && out.back() == u'\\' && out.size() > 1))
            out.push_back(c);
    return out;
}

bool SetText(HKEY key, const WCHAR* name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

DWORD Register(const std::u16string& classKey, const std::u16string& name, const std::u16string& server,
               REGSAM view) {
    HKEY key = nullptr;
    const std::u16string inproc = classKey + u"\\InprocServer32";
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, classKey.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 5;
    bool ok = SetText(key, nullptr, name);
    RegCloseKey(key);
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, inproc.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 5;
    ok = SetText(key, nullptr, server) && SetText(key, u"ThreadingModel", u"Apartment") && ok;
    RegCloseKey(key);
    return ok ? 0 : 5;
}

DWORD Unregister(const std::u16string& classKey, REGSAM view) {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (classKey + u"\\InprocServer32").c_str(), view, 0);
    const LSTATUS status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, classKey.c_str(), view, 0);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? 0 : 5;
}

DWORD Run(const std::vector<std::u16string>& args) {
    bool unregister = false;
    std::u16string server;
    for (size_t i = 1; i < args.size(); ++i) {
        if (jxtext::EqualsNoCase(args[i], u"/s"))
            continue;
        if (jxtext::EqualsNoCase(args[i], u"/u"))
            unregister = true;
        else
            server = args[i];
    }
    if (server.empty())
        return 1;
    const bool is64Bit = args.empty() || jxtext::FindNoCase(args[0], u"SysWOW64") == std::u16string::npos;
    std::ofstream(jxplat::MachinePath("selfreg.runs"), std::ios::app)
        << (is64Bit ? "64 " : "32 ") << (unregister ? "unregister " : "register ") << jxtext::N(server)
        << "\n";
    bool readable = false;
    const std::map<std::string, std::string> values = ReadServer(server, readable);
    if (!readable)
        return 3;
    const auto clsid = values.find("CLSID");
    if (clsid == values.end() || clsid->second.empty())
        return 4;
    const auto exitCode = values.find("ExitCode");
    if (exitCode != values.end() && std::strtoul(exitCode->second.c_str(), nullptr, 10) != 0)
        return static_cast<DWORD>(std::strtoul(exitCode->second.c_str(), nullptr, 10));
    const std::u16string classKey = u"SOFTWARE\\Classes\\CLSID\\" + jxtext::W(clsid->second);
    const REGSAM view = is64Bit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    if (unregister)
        return Unregister(classKey, view);
    const auto name = values.find("Name");
    return Register(classKey, name == values.end() ? u"" : jxtext::W(name->second), ModulePath(server), view);
}

} // namespace

int main() {
    const DWORD code = Run(jxplat::SplitCommandLine(GetCommandLineW()));
    jxplat::WriteExitCode(code);
    return static_cast<int>(code & 0xFF);
}

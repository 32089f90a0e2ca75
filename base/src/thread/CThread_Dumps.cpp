// Crash dumps of worker threads and the process-wide switches that govern them.
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>

#include <dbghelp.h>

#include "jxbase/CThread.h"
#include "jxbase/reg.h"
#include "jxplat/excpt.h"
#include "jxplat/text.h"

namespace {

// Dumps stop once the dump folder holds this much.
constexpr ULONGLONG kDumpFolderLimit = 0x20000000ull;
constexpr DWORD kThreadNameException = 0x406D1388u;

DWORD _dump_ReadQaFlags() {
    return CReg::GetProductIntFromRegistry(HKEY_LOCAL_MACHINE, u"", u"QAFlags", 0, 0);
}

std::atomic<DWORD>& _dump_QaFlags() {
    static std::atomic<DWORD> flags{_dump_ReadQaFlags()};
    return flags;
}

bool _dump_KeepsCharacter(unsigned char character) {
    return std::isalnum(character) || std::strchr(" _-.(){}[]!%&=+#;,", character) || character == 0xA7;
}

// The folder of the dumps, with a trailing backslash.
std::u16string _dump_Folder() {
    std::u16string folder =
        CReg::GetProductStringFromRegistry(HKEY_LOCAL_MACHINE, u"Brellwick", u"LogPath", u"", 0);
    if (folder.empty()) {
        folder = CReg::GetProductStringFromRegistry(HKEY_LOCAL_MACHINE, u"QrvClient", u"settings", u"", 0);
        if (!folder.empty())
            folder += folder.back() == u'\\' ? u"log" : u"\\log";
    }
    if (folder.empty()) {
        WCHAR temp[MAX_PATH] = {};
        if (GetTempPathW(MAX_PATH, temp))
            folder = temp;
    }
    if (!folder.empty() && folder.back() != u'\\')
        folder += u'\\';
    if (!folder.empty() && GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
        SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return folder;
}

// The sizes of the files in the dump's folder that share its extension.
ULONGLONG _dump_FolderBytes(const std::u16string& path) {
    const size_t slash = path.find_last_of(u"\\/");
    const size_t dot = path.find_last_of(u'.');
    if (slash == std::u16string::npos || dot == std::u16string::npos || dot < slash)
        return 0;
    const std::u16string pattern = path.substr(0, slash + 1) + u"*" + path.substr(dot);
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    ULONGLONG total = 0;
    do {
        total += (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return total;
}

} // namespace

DWORD CThread::QaFlags() {
    return _dump_QaFlags().load();
}

void CThread::ReloadQaFlags() {
    _dump_QaFlags() = _dump_ReadQaFlags();
}

void SetThreadName(const char* name, DWORD threadId) {
    const ULONG_PTR information[4] = {0x1000, reinterpret_cast<ULONG_PTR>(name), threadId, 0};
    // Without a debugger nobody looks at it: the handler swallows it.
    jxplat::TryExcept([&] { RaiseException(kThreadNameException, 0, 4, information); },
                      [](PEXCEPTION_POINTERS) -> LONG { return EXCEPTION_EXECUTE_HANDLER; });
}

namespace {

// The dump file's folder and its name (narrow text in which the only byte above 0x7F is 0xA7).
std::u16string _dump_PathParts(const char* name, std::string& fileName) {
    fileName = name ? std::string(name) + "_" : std::string("thread_");
    char id[16];
    std::snprintf(id, sizeof id, "%x", static_cast<unsigned>(GetCurrentThreadId()));
    fileName += id;
    fileName += "_mini.dmp";
    for (char& character : fileName)
        if (!_dump_KeepsCharacter(static_cast<unsigned char>(character)))
            character = '_';
    return _dump_Folder();
}

} // namespace

std::string GetMiniDumpPath(const char* name) {
    std::string fileName;
    const std::u16string folder = _dump_PathParts(name, fileName);
    return jxtext::N(folder) + fileName;
}

void WriteMiniDump(DWORD exceptionCode, PEXCEPTION_POINTERS pointers, const char* name) {
    std::string written;
    if (CThread::QaFlags() & 1) {
        std::string fileName;
        std::u16string widePath = _dump_PathParts(name, fileName);
        const std::string path = jxtext::N(widePath) + fileName;
        for (unsigned char character : fileName)
            widePath += static_cast<char16_t>(character); // the section sign of code page 1252 is U+00A7
        if (_dump_FolderBytes(widePath) >= kDumpFolderLimit) {
            OutputDebugStringA("Dump file *not* created - too many dump files existing!\n");
        } else {
            HANDLE file = CreateFileW(widePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                MINIDUMP_EXCEPTION_INFORMATION exception = {GetCurrentThreadId(), pointers, FALSE};
                if (MiniDumpWriteDump(
                        GetCurrentProcess(), GetCurrentProcessId(), file,
                        static_cast<MINIDUMP_TYPE>(MiniDumpWithFullMemory | MiniDumpWithHandleData),
                        &exception, nullptr, nullptr))
                    written = path;
                CloseHandle(file);
            }
        }
    }
    OutputDebugStringA("\n\nException ###################################\n\n");
    if (!written.empty()) {
        OutputDebugStringA("Created Minidump here:\n");
        OutputDebugStringA(written.c_str());
    } else if (name) {
        OutputDebugStringA(name);
    }
    OutputDebugStringA("\n");
    char code[16];
    std::snprintf(code, sizeof code, "%x", static_cast<unsigned>(exceptionCode));
    OutputDebugStringA(code);
    OutputDebugStringA("\n");
    OutputDebugStringA("###################################\n\n");
}

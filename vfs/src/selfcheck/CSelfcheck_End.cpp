// The end of a carrier's check (digests, file test) and of the whole check (judgement, dump).
#include <algorithm>
#include <unistd.h>

#include "jxplat/machine.h"
#include "jxplat/shlobj.h"
#include "jxplat/text.h"
#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/container/PackageTrace.h"
#include "jxvfs/selfcheck/CHashDigest.h"
#include "jxvfs/selfcheck/CSelfcheck.h"
#include "jxvfs/selfcheck/SelfcheckTree.h"

namespace {

constexpr ULONG kChunk = 16384;

} // namespace

bool CSelfcheck::FinalizeCheck() {
    Digest(2);
    if (IsCheckActive()) {
        if (m_carrier != nullptr && (m_md5 || m_sha1))
            Seek(m_carrierSize); // the digests cover the whole file, certificate table included
        if (m_sha1) {
            m_sha1Text = m_sha1->GetText();
            AddNote(5, u"SHA1 digest over file: %s", m_sha1Text.c_str());
            m_sha1.reset();
        }
        if (m_md5) {
            m_md5Text = m_md5->GetText();
            AddNote(5, u"MD5 digest over file: %s", m_md5Text.c_str());
            m_md5.reset();
        }
        if (m_fileTest) {
            JX_PKG_TRACE(5, u"CSelfcheck::FinalizeCheck", u"Beginning file integrity test\n");
            int files = 0;
            int directories = 0;
            std::unique_ptr<CSelfcheckEntry> root =
                m_owner != nullptr ? m_owner->GetSelfcheckRoot() : nullptr;
            if (root && !CheckFileIntegrity(*root, files, directories))
                m_fileTestFailed = true;
            JX_PKG_TRACE(5, u"CSelfcheck::FinalizeCheck", u"Done. %i files in %i directories checked.\n",
                         files, directories);
        }
        m_dataCrc = false;
        m_fileTest = false;
    }
    Digest(3);
    m_carrier = nullptr;
    m_walkOver = true;
    return IsResultOk() && !m_fileTestFailed;
}

bool CSelfcheck::CheckFileIntegrity(CSelfcheckEntry& entry, int& files, int& directories) {
    if (entry.IsDirectory()) {
        ++directories;
        bool passed = true;
        entry.ForEachChild([&](CSelfcheckEntry& child) {
            if (!CheckFileIntegrity(child, files, directories)) {
                passed = false;
                m_ok = false;
            }
            return true;
        });
        return passed;
    }
    if (!entry.IsFile())
        return false;

    ++files;
    m_inFileTest = true;
    const std::u16string path = entry.GetFullPath();
    const ULONGLONG size = entry.GetSize64();
    AddNote(8, u"checking %s (%i bytes)", path.c_str(), static_cast<int>(size));
    bool passed = true;
    std::unique_ptr<CSelfcheckStream> stream = entry.OpenStream();
    if (stream) {
        std::vector<BYTE> chunk(kChunk);
        // Each read asks for a whole chunk or what is left of the file: a short last chunk is normal.
        for (ULONGLONG offset = 0; offset < size; offset += kChunk) {
            const ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(kChunk, size - offset));
            ULONG got = 0;
            const HRESULT hr = stream->Read(chunk.data(), want, &got);
            // S_FALSE (a whole small file whose checksum is wrong) is a successful read; the verdict
            // comes from VerifyContent below.
            if (FAILED(hr) || got != want) {
                AddNote(1, u"Error accessing %s. File not readable (@ofs %0i)", path.c_str(),
                        static_cast<int>(offset));
                passed = false;
                break;
            }
        }
        if (passed && stream->VerifyContent() != 0) {
            AddNote(1, u"File integrity failed for %s. CRC is wrong: %08X, should be %08X", path.c_str(),
                    stream->GetComputedChecksum(), entry.GetStoredValue());
            passed = false;
        }
    }
    m_inFileTest = false;
    return passed;
}

std::u16string CSelfcheck::DumpFileNameOf(const std::u16string& programName) {
    const size_t dot = programName.rfind(u'.');
    // A name without "." gets ".dump" appended, so the dump never takes the program's own name.
    if (dot == std::u16string::npos)
        return programName + u".dump";
    return programName.substr(0, dot + 1) + u"dump";
}

std::u16string CSelfcheck::GetDumpText() const {
    std::u16string text;
    bool anyNote = false;
    for (const auto& entry : m_entries) {
        if (entry->GetKind() != 2)
            continue;
        const auto& note = static_cast<const NOTE_ENTRY&>(*entry);
        anyNote = true;
        if (note.level <= m_verbosity)
            text += note.text + u"\r\n";
    }
    if (anyNote)
        text += u"Error list:\r\n";
    for (const auto& entry : m_entries) {
        if (entry->GetKind() != 1)
            continue;
        const auto& e = static_cast<const ERROR_ENTRY&>(*entry);
        text += jxtext::Format(u"%08X-%08X-%08X'%08X\r\n", e.code, e.detail, e.valueHigh, e.valueLow);
    }
    return text;
}

namespace {

HANDLE _dump_Create(const std::u16string& folder, const std::u16string& name) {
    if (folder.empty())
        return INVALID_HANDLE_VALUE;
    const std::u16string path = folder + (folder.back() == u'\\' ? u"" : u"\\") + name;
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

void CSelfcheck::_SelfcheckWriteDump() {
    WCHAR module[261] = {};
    GetModuleFileNameW(nullptr, module, 261);
    std::u16string program(module);
    const size_t slash = program.find_last_of(u"\\/");
    if (slash != std::u16string::npos)
        program = program.substr(slash + 1);
    const std::u16string name = DumpFileNameOf(program);

    std::u16string folder = m_dumpFolder;
    if (folder.empty()) {
        // The process's current folder, as the machine names it.
        char cwd[4096];
        if (::getcwd(cwd, sizeof(cwd)) != nullptr)
            folder = jxplat::HostToWindowsPath(cwd);
    }
    HANDLE file = _dump_Create(folder, name);
    if (file == INVALID_HANDLE_VALUE) {
        // The current folder cannot take the file: the user's documents folder instead.
        WCHAR documents[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)))
            file = _dump_Create(documents, name);
    }
    if (file == INVALID_HANDLE_VALUE)
        return; // without a file nothing is written
    const std::string bytes = jxtext::Utf16ToAnsi(GetDumpText(), ' ');
    DWORD written = 0;
    if (!bytes.empty() && !WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        JX_PKG_TRACE(1, u"CSelfcheck::_SelfcheckWriteDump", u"The dump %s was not written (error %lu)\n",
                     name.c_str(), GetLastError());
    CloseHandle(file);
}

bool CSelfcheck::EndCheck() {
    if (!m_configured)
        return m_ok;
    m_ok = _SelfcheckJudge(m_sessionFirst, false) && !m_fileTestFailed;
    m_fileTestFailed = false;
    if (m_dump) {
        if (!m_entries.empty())
            _SelfcheckWriteDump();
        m_verbosity = 0;
        m_dump = false;
    }
    m_entries.clear();
    m_carrierFirst = 0;
    m_sessionFirst = 0;
    _SelfcheckResetPackage();
    m_carrier = nullptr;
    m_walkOver = true;
    m_configured = false;
    return m_ok;
}

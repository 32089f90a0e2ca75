// The self-check's configuration, carrier reads (which keep the digests covering every byte in
// order), records and judgement.
#include "jxvfs/selfcheck/CSelfcheck.h"

#include <algorithm>

#include "jxplat/text.h"
#include "jxplat/winuser.h"
#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/container/PackageTrace.h"
#include "jxvfs/selfcheck/CHashDigest.h"
#include "jxvfs/selfcheck/SelfcheckTree.h"

using namespace jxpkg;

namespace {

constexpr DWORD kChunk = 16384;
constexpr size_t kMaxNoteLength = 2048;
constexpr DWORD kErrorHandleEof = 38;

bool IsFatalCode(DWORD code) {
    return (code & 0xF0000000u) == 0x80000000u;
}

} // namespace

CSelfcheck::CSelfcheck(CSelfcheckOwner* owner) : m_owner(owner) {}

CSelfcheck::~CSelfcheck() = default;

bool CSelfcheck::IsCheckActive() const {
    return m_md5 || m_sha1 || m_dataCrc || m_fileTest;
}

void CSelfcheck::Configure(DWORD verbosity, DWORD options, HWND window) {
    if (IsCheckActive())
        return;
    m_verbosity = verbosity;
    if (options & kSelfcheckMd5) {
        if (!m_md5)
            m_md5 = std::make_unique<CHashDigest>(CHashDigest::MD5);
    } else {
        m_md5.reset();
    }
    if (options & kSelfcheckSha1) {
        if (!m_sha1)
            m_sha1 = std::make_unique<CHashDigest>(CHashDigest::SHA1);
    } else {
        m_sha1.reset();
    }
    m_dataCrc = (options & kSelfcheckDataCrc) != 0;
    m_fileTest = (options & kSelfcheckFileTest) != 0;
    m_certificate = (options & kSelfcheckCertificate) != 0;
    m_progress = (options & kSelfcheckProgress) != 0;
    m_window = window;
    m_dump = options != 0;
    m_configured = true;
    m_ok = true;
    // A new check session: EndCheck judges from here.
    m_sessionFirst = m_entries.size();
    m_fileTestFailed = false;
}

bool CSelfcheck::Attach(CPkgAccessor* accessor) {
    m_carrier = accessor;
    m_digestPosition = 0;
    m_carrierSize = accessor != nullptr ? accessor->GetSize() : 0;
    m_dataCheckLength = m_carrierSize;
    // Each carrier is judged by its own entries.
    m_carrierFirst = m_entries.size();
    m_ok = true;
    m_walkOver = true;
    m_walkRound = false;
    _SelfcheckResetPackage();
    return accessor != nullptr && accessor->IsOpen();
}

bool CSelfcheck::OpenCarrier() {
    if (m_carrier == nullptr || !m_carrier->Open())
        return false;
    m_carrierSize = m_carrier->GetSize();
    m_dataCheckLength = m_carrierSize;
    return m_carrierSize != 0;
}

CPkgAccessor* CSelfcheck::Detach() {
    CPkgAccessor* accessor = m_carrier;
    m_carrier = nullptr;
    m_walkOver = true;
    return accessor;
}

bool CSelfcheck::_SelfcheckDigestActive() const {
    return m_md5 || m_sha1;
}

void CSelfcheck::_SelfcheckFeedDigests(const BYTE* data, size_t length) {
    if (m_md5)
        m_md5->Update(data, length);
    if (m_sha1)
        m_sha1->Update(data, length);
}

ULONGLONG CSelfcheck::Seek(ULONGLONG position) {
    if (m_carrier == nullptr)
        return 0;
    position = std::min(position, m_carrierSize);
    if (_SelfcheckDigestActive() && position > m_digestPosition) {
        // Every byte before the target goes to the digests first, so none is skipped.
        BYTE chunk[kChunk];
        m_carrier->Seek(static_cast<LONGLONG>(m_digestPosition), FILE_BEGIN);
        while (m_digestPosition < position) {
            const DWORD want = static_cast<DWORD>(std::min<ULONGLONG>(kChunk, position - m_digestPosition));
            const DWORD got = m_carrier->Read(want, chunk);
            _SelfcheckFeedDigests(chunk, got);
            m_digestPosition += got;
            if (got < want) {
                SetLastError(kErrorHandleEof);
                AddIoError(kIoOriginDigestGap, static_cast<DWORD>(m_digestPosition),
                           static_cast<DWORD>(m_digestPosition >> 32), want);
                break;
            }
        }
    }
    return m_carrier->Seek(static_cast<LONGLONG>(position), FILE_BEGIN);
}

DWORD CSelfcheck::Read(DWORD count, void* buffer) {
    if (m_carrier == nullptr || buffer == nullptr)
        return 0;
    ULONGLONG at = m_carrier->Tell();
    if (_SelfcheckDigestActive() && at > m_digestPosition)
        at = Seek(at);
    const DWORD got = m_carrier->Read(count, buffer);
    if (_SelfcheckDigestActive() && at + got > m_digestPosition) {
        const ULONGLONG skip = m_digestPosition > at ? m_digestPosition - at : 0;
        _SelfcheckFeedDigests(static_cast<const BYTE*>(buffer) + skip, static_cast<size_t>(got - skip));
        m_digestPosition = at + got;
    }
    if (got < count)
        SetLastError(kErrorHandleEof);
    return got;
}

void CSelfcheck::AddNoteV(DWORD level, const WCHAR* format, va_list args) {
    if (level > m_verbosity || format == nullptr)
        return;
    std::u16string text = jxtext::FormatV(format, args);
    if (text.size() > kMaxNoteLength)
        text.resize(kMaxNoteLength);
    if (text.empty())
        return;
    auto note = std::make_unique<NOTE_ENTRY>();
    note->level = level;
    note->text = std::move(text);
    m_entries.push_back(std::move(note));
}

void CSelfcheck::AddNote(DWORD level, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    AddNoteV(level, format, args);
    va_end(args);
}

void CSelfcheck::AddErrorRecord(const ERROR_ENTRY& entry) {
    const DWORD top = entry.code & 0xF0000000u;
    if (top == 0x80000000u || (top == 0x90000000u && !IsCheckActive()))
        m_ok = false;
    if (entry.code != 0)
        m_lastErrorCode = entry.code;
    auto kept = std::make_unique<ERROR_ENTRY>(entry);
    if (kept->package.empty())
        kept->package = m_packageName;
    m_entries.push_back(std::move(kept));
    JX_PKG_TRACE(1, u"CSelfcheck::AddErrorRecord", u"logged error: %08X %08X %08X'%08X\n", entry.code,
                 entry.detail, entry.valueHigh, entry.valueLow);
}

void CSelfcheck::AddError(DWORD code, DWORD detail, DWORD valueLow, DWORD valueHigh) {
    AddErrorRecord(ERROR_ENTRY(code, detail, valueLow, valueHigh));
}

void CSelfcheck::AddIoError(DWORD origin, DWORD valueLow, DWORD valueHigh, DWORD length) {
    if (m_verbosity == 0 || m_inFileTest)
        return;
    const DWORD code = (origin & 0xF0000000u) | 3u;
    const DWORD detail = (GetLastError() & 0x0FFFFFFFu) | ((origin & 0xFu) << 28);
    AddError(code, detail, valueLow, valueHigh | length);
}

std::vector<ERROR_ENTRY> CSelfcheck::GetErrors(size_t from) const {
    std::vector<ERROR_ENTRY> errors;
    for (size_t i = from; i < m_entries.size(); ++i) {
        if (m_entries[i]->GetKind() == 1)
            errors.push_back(static_cast<const ERROR_ENTRY&>(*m_entries[i]));
    }
    return errors;
}

bool CSelfcheck::_SelfcheckJudge(size_t from, bool walking) const {
    const bool options = IsCheckActive();
    // Without options a walk goes on while the ok flag holds; only this carrier's records clear it.
    if (walking && !options)
        return m_ok;
    for (size_t i = from; i < m_entries.size(); ++i) {
        if (m_entries[i]->GetKind() != 1)
            continue;
        const DWORD code = static_cast<const ERROR_ENTRY&>(*m_entries[i]).code;
        if (options ? IsFatalCode(code) : code > 0x0FFFFFFFu)
            return false;
    }
    return true;
}

bool CSelfcheck::CanContinue() const {
    return _SelfcheckJudge(m_carrierFirst, true);
}

bool CSelfcheck::IsResultOk() const {
    return _SelfcheckJudge(m_carrierFirst, false);
}

void CSelfcheck::Digest(int step) {
    if (!m_progress || step == m_lastStep)
        return;
    size_t errors = 0;
    for (const auto& entry : m_entries)
        errors += entry->GetKind() == 1 ? 1 : 0;
    if (m_window != nullptr) {
        JX_PKG_TRACE(5, u"CSelfcheck::Digest", u"Sending digest for step: %i, sucess: %s\n", step,
                     errors == m_lastErrorCount ? u"yes" : u"no");
        // The low word is the step; bit 16 tells that errors were added since the last report.
        const LPARAM report = (errors == m_lastErrorCount ? 0 : 0x10000) | (step & 0xFFFF);
        SendMessageW(m_window, kSelfcheckProgressMessage, 0, report);
    }
    m_lastStep = step;
    m_lastErrorCount = errors;
}

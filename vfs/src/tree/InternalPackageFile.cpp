#include "jxvfs/InternalPackageFile.h"

#include "jxplat/text.h"
#include "jxvfs/IPackedFileStream.h"

InternalPackageFile::InternalPackageFile(std::u16string name, DWORD packageWord,
                                         std::shared_ptr<CPkgAccessor> carrier)
    : InternalPackageObjBase(std::move(name)), m_carrier(std::move(carrier)), m_packageWord(packageWord) {}

std::shared_ptr<InternalPackageFile> InternalPackageFile::Create(const META_NODE& node, DWORD packageWord,
                                                                 ULONGLONG dataStart,
                                                                 std::shared_ptr<CPkgAccessor> carrier) {
    std::shared_ptr<InternalPackageFile> file(
        new InternalPackageFile(node.name, packageWord, std::move(carrier)));
    file->m_size = node.size;
    file->m_checksum = node.checksum;
    file->m_dataPosition = dataStart + node.dataOffset;
    file->AddTaggedValues(node);
    return file;
}

InternalPackageFile::~InternalPackageFile() {
    if (!m_blockTable.empty())
        _blocks_FreeTable();
}

void InternalPackageFile::ApplyMetaData(const META_NODE& node) {
    m_time = node.lastWrite;
    m_attributes = node.attributes;
}

void InternalPackageFile::GetFileTime(FILETIME* time) const {
    if (time)
        *time = m_time;
}

IPackedFileStream* InternalPackageFile::OpenStream(DWORD mode) {
    return new IPackedFileStream(std::static_pointer_cast<InternalPackageFile>(shared_from_this()), mode);
}

std::u16string InternalPackageFile::GetHashText() const {
    return jxpkg::HashTextOf(m_tags);
}

void InternalPackageFile::GetVersionWords(WORD* first, WORD* second, WORD* third, WORD* fourth) const {
    WORD words[4] = {};
    jxpkg::VersionWordsOf(m_tags, words);
    WORD* out[4] = {first, second, third, fourth};
    for (int i = 0; i < 4; ++i)
        if (out[i])
            *out[i] = words[i];
}

std::u16string InternalPackageFile::GetVersionString() const {
    WORD words[4] = {};
    jxpkg::VersionWordsOf(m_tags, words);
    return jxtext::Format(u"%i.%i.%i.%i", words[0], words[1], words[2], words[3]);
}

bool InternalPackageFile::IsOlderThan(const FILETIME* time) const {
    if (!time)
        return false;
    const ULONGLONG mine = (static_cast<ULONGLONG>(m_time.dwHighDateTime) << 32) | m_time.dwLowDateTime;
    const ULONGLONG theirs = (static_cast<ULONGLONG>(time->dwHighDateTime) << 32) | time->dwLowDateTime;
    return mine < theirs;
}

bool InternalPackageFile::IsOlderThanFile(const InternalPackageObjBase* other) const {
    if (!other || !other->IsFile())
        return false;
    FILETIME theirs{};
    other->GetFileTime(&theirs);
    return IsOlderThan(&theirs);
}

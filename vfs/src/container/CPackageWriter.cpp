// The package writer: tree, blocks, meta data and header of one package.
#include "jxvfs/container/CPackageWriter.h"
#include "jxvfs/container/HostFiles.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <lzo1x.h>

#include "jxplat/text.h"
#include "jxvfs/container/CQuickCRC.h"
#include "jxvfs/container/PackageFormat.h"
#include "jxvfs/selfcheck/CHashDigest.h"

using namespace jxpkg;

struct CPackageWriter::Node {
    std::u16string name;
    bool isDirectory = false;
    std::vector<Node*> children;
    // Files: the content, or the host file it is read from when the package is built.
    PACKAGE_FILE_INPUT file;
    std::string hostPath;
    ULONGLONG hostSize = 0;

    ~Node() {
        for (Node* c : children)
            delete c;
    }
};

namespace {

bool IsLzoReady() {
    static const bool ready = lzo_init() == LZO_E_OK;
    return ready;
}

std::vector<std::u16string> SplitPath(const std::u16string& path) {
    std::vector<std::u16string> parts;
    std::u16string part;
    for (char16_t c : path) {
        if (c == u'\\' || c == u'/') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

void AppendU16(std::vector<BYTE>& v, WORD x) {
    const size_t at = v.size();
    v.resize(at + 2);
    StoreU16(v.data() + at, x);
}
void AppendU32(std::vector<BYTE>& v, DWORD x) {
    const size_t at = v.size();
    v.resize(at + 4);
    StoreU32(v.data() + at, x);
}
void AppendName(std::vector<BYTE>& v, const std::u16string& name) {
    for (char16_t c : name)
        AppendU16(v, c);
    AppendU16(v, 0);
}
void PadTo4(std::vector<BYTE>& v, size_t nodeStart) {
    while ((v.size() - nodeStart) % 4 != 0)
        v.push_back(0);
}

bool ParseGuidName(const std::string& text, BYTE out[16]) {
    std::string hex;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex.push_back(c);
        else if (c != '{' && c != '}' && c != '-')
            return false;
    }
    if (hex.size() != 32)
        return false;
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<BYTE>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return true;
}

} // namespace

namespace jxpkg {

FILETIME FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
    const int64_t ticks = (seconds + 11644473600LL) * 10000000LL + nanoseconds / 100;
    const uint64_t t = ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    return ft;
}

bool CompressBlockLzo(const BYTE* data, size_t length, bool best, std::vector<BYTE>& out) {
    if (!IsLzoReady())
        return false;
    static thread_local std::vector<BYTE> work;
    work.resize(best ? LZO1X_999_MEM_COMPRESS : LZO1X_1_MEM_COMPRESS);
    out.resize(length + length / 16 + 64 + 3);
    lzo_uint outLength = out.size();
    const int rc = best ? lzo1x_999_compress(data, length, out.data(), &outLength, work.data())
                        : lzo1x_1_compress(data, length, out.data(), &outLength, work.data());
    if (rc != LZO_E_OK)
        return false;
    out.resize(outLength);
    return true;
}

} // namespace jxpkg

CPackageWriter::CPackageWriter(PACKAGE_WRITER_OPTIONS options)
    : m_options(std::move(options)), m_root(new Node) {
    m_root->isDirectory = true;
}

CPackageWriter::~CPackageWriter() {
    delete m_root;
}

bool CPackageWriter::IsVersionedName(const std::u16string& name) {
    for (const char16_t* ext : {u".exe", u".dll", u".sys", u".ocx"}) {
        if (jxtext::EndsWithNoCase(name, ext))
            return true;
    }
    return false;
}

CPackageWriter::Node* CPackageWriter::_WriterFind(Node* parent, const std::u16string& name) {
    for (Node* c : parent->children) {
        if (jxtext::EqualsNoCase(c->name, name))
            return c;
    }
    return nullptr;
}

CPackageWriter::Node* CPackageWriter::_WriterMakePath(const std::vector<std::u16string>& parts,
                                                      size_t count) {
    Node* dir = m_root;
    for (size_t i = 0; i < count; ++i) {
        Node* next = _WriterFind(dir, parts[i]);
        if (next == nullptr) {
            next = new Node;
            next->name = parts[i];
            next->isDirectory = true;
            dir->children.push_back(next);
        } else if (!next->isDirectory) {
            return nullptr;
        }
        dir = next;
    }
    return dir;
}

bool CPackageWriter::AddDirectory(const std::u16string& path) {
    const std::vector<std::u16string> parts = SplitPath(path);
    return _WriterMakePath(parts, parts.size()) != nullptr;
}

bool CPackageWriter::AddFile(const std::u16string& path, PACKAGE_FILE_INPUT file) {
    const std::vector<std::u16string> parts = SplitPath(path);
    if (parts.empty())
        return false;
    Node* dir = _WriterMakePath(parts, parts.size() - 1);
    if (dir == nullptr || _WriterFind(dir, parts.back()) != nullptr)
        return false;
    Node* node = new Node;
    node->name = parts.back();
    node->file = std::move(file);
    node->hostSize = node->file.content.size();
    dir->children.push_back(node);
    return true;
}

bool CPackageWriter::SetFileVersion(const std::u16string& path, const WORD version[4]) {
    const std::vector<std::u16string> parts = SplitPath(path);
    Node* node = m_root;
    for (const std::u16string& part : parts) {
        node = node->isDirectory ? _WriterFind(node, part) : nullptr;
        if (node == nullptr)
            return false;
    }
    if (node->isDirectory)
        return false;
    node->file.hasVersion = true;
    std::copy(version, version + 4, node->file.version);
    return true;
}

bool CPackageWriter::AddHostFolder(const std::string& hostFolder, const std::u16string& packagePath) {
    const std::vector<std::u16string> parts = SplitPath(packagePath);
    Node* dir = _WriterMakePath(parts, parts.size());
    if (dir == nullptr)
        return false;
    DIR* d = ::opendir(hostFolder.c_str());
    if (d == nullptr)
        return false;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(d);
    // Name order (ignoring case) makes the package the same whatever order the host lists.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int c = jxtext::CompareNoCase(jxtext::W(a), jxtext::W(b));
        return c != 0 ? c < 0 : a < b;
    });
    for (const std::string& name : names) {
        const std::string host = hostFolder + "/" + name;
        struct stat st {};
        if (::stat(host.c_str(), &st) != 0)
            return false;
        const std::u16string wide = jxtext::W(name);
        if (_WriterFind(dir, wide) != nullptr)
            return false; // two host names that Windows would see as one
        if (S_ISDIR(st.st_mode)) {
            Node* sub = new Node;
            sub->name = wide;
            sub->isDirectory = true;
            dir->children.push_back(sub);
            const std::u16string subPath = packagePath.empty() ? wide : packagePath + u"\\" + wide;
            if (!AddHostFolder(host, subPath))
                return false;
        } else if (S_ISREG(st.st_mode)) {
            Node* node = new Node;
            node->name = wide;
            node->hostPath = host;
            node->hostSize = static_cast<ULONGLONG>(st.st_size);
            node->file.lastWrite = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
            node->file.readOnly = (st.st_mode & S_IWUSR) == 0;
            dir->children.push_back(node);
        }
    }
    return true;
}

namespace {

// The data area goes to a sink as it is produced (memory for Build, a spill file for
// WriteToHostFile), so a file's content is held one block at a time.
struct BuildState {
    const PACKAGE_WRITER_OPTIONS& options;
    std::function<bool(const BYTE*, size_t)> emit;
    std::vector<BYTE> meta;
    ULONGLONG dataSize = 0;
    CQuickCRC dataCrc;
    std::string error;
};

// What the writer learns of one file's content while packing it.
struct PackedContent {
    ULONGLONG size = 0;
    DWORD checksum = 0;
    DWORD crc = 0;
    std::vector<BYTE> sha256;
};

// Hands the content to `pack` in pieces of at most one block: from memory, or read from the host
// file. False (with the error set) when the host file cannot be read.
bool ForEachPiece(BuildState& s, const CPackageWriter::Node& node,
                  const std::function<bool(const BYTE*, size_t)>& pack) {
    const size_t blockSize = s.options.blockSize;
    if (node.hostPath.empty()) {
        const std::vector<BYTE>& content = node.file.content;
        for (size_t at = 0; at < content.size(); at += blockSize) {
            if (!pack(content.data() + at, std::min(blockSize, content.size() - at)))
                return false;
        }
        return true;
    }
    const int fd = ::open(node.hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        s.error = "cannot read " + node.hostPath;
        return false;
    }
    std::vector<BYTE> piece(blockSize);
    bool ok = true;
    for (;;) {
        // A block is filled completely before it is packed, whatever the reads return.
        size_t filled = 0;
        while (filled < blockSize) {
            const ssize_t n = ::read(fd, piece.data() + filled, blockSize - filled);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                s.error = "cannot read " + node.hostPath;
                ok = false;
            }
            if (n <= 0)
                break;
            filled += static_cast<size_t>(n);
        }
        if (!ok || filled == 0 || !pack(piece.data(), filled) || filled < blockSize)
            break;
    }
    ::close(fd);
    return ok && s.error.empty();
}

// Compresses the file's blocks into the data area and computes its size, checksum, CRC-32 and
// SHA-256 on the way; `dataOffset` gets the offset of its first block.
bool WriteFileData(BuildState& s, const CPackageWriter::Node& node, DWORD& dataOffset, PackedContent& out) {
    if (s.dataSize > 0xFFFFFFFFull) {
        s.error = "the data area grew beyond the 4 GiB that file offsets can address";
        return false;
    }
    dataOffset = static_cast<DWORD>(s.dataSize);
    CContentChecksum checksum;
    CQuickCRC crc;
    CHashDigest sha(CHashDigest::SHA256);
    std::vector<BYTE> packed;
    const bool ok = ForEachPiece(s, node, [&](const BYTE* data, size_t length) {
        out.size += length;
        if (out.size > 0xFFFFFFFFull) {
            s.error = "a file of 4 GiB or more cannot be packed: " + jxtext::N(node.name);
            return false;
        }
        checksum.Add(data, length);
        crc.Update(data, length);
        sha.Update(data, length);
        if (!CompressBlockLzo(data, length, s.options.best, packed)) {
            s.error = "the LZO compressor failed";
            return false;
        }
        if (!s.emit(packed.data(), packed.size())) {
            s.error = "cannot write the data area";
            return false;
        }
        s.dataSize += packed.size();
        s.dataCrc.Update(packed.data(), packed.size());
        return true;
    });
    if (!ok)
        return false;
    out.checksum = checksum.Value();
    out.crc = crc.GetResult();
    sha.GetText();
    out.sha256.assign(sha.GetBytes().begin(), sha.GetBytes().end());
    return true;
}

std::vector<BYTE> FileTags(const PACKAGE_WRITER_OPTIONS& options, const std::u16string& name,
                           const PACKAGE_FILE_INPUT& file, const PackedContent& content) {
    std::vector<BYTE> tags;
    auto addU32 = [&tags](BYTE key, DWORD value) {
        tags.push_back(key);
        tags.push_back(4);
        AppendU32(tags, value);
    };
    if (file.hasVersion || CPackageWriter::IsVersionedName(name)) {
        addU32(kTagVersionHigh, (static_cast<DWORD>(file.version[0]) << 16) | file.version[1]);
        addU32(kTagVersionLow, (static_cast<DWORD>(file.version[2]) << 16) | file.version[3]);
    }
    const auto& digest = content.sha256;
    for (int k = 0; k < 8; ++k) {
        tags.push_back(static_cast<BYTE>(kTagSha256First + k));
        tags.push_back(4);
        for (int i = 0; i < 4; ++i)
            tags.push_back(digest.size() == 32 ? digest[4 * k + i] : 0);
    }
    if (options.crcTag)
        addU32(kTagCrc32, content.crc);
    return tags;
}

bool CheckNodeLength(BuildState& s, size_t length, const std::u16string& name) {
    if (length > kMaxNodeLength) {
        s.error = "the name is too long for a meta node: " + jxtext::N(name);
        return false;
    }
    return true;
}

// Writes the node and, for a directory, its child table and children; `offset` gets the node's offset.
bool WriteNode(BuildState& s, CPackageWriter::Node* node, DWORD& offset) {
    const size_t start = s.meta.size();
    offset = static_cast<DWORD>(start);
    if (node->isDirectory) {
        AppendU32(s.meta, 0); // node word, set below
        AppendU16(s.meta, 0); // tag length
        AppendU32(s.meta, static_cast<DWORD>(node->children.size()));
        AppendName(s.meta, node->name);
        PadTo4(s.meta, start);
        const size_t length = s.meta.size() - start;
        if (!CheckNodeLength(s, length, node->name))
            return false;
        StoreU32(s.meta.data() + start, kNodeKindDirectory | static_cast<DWORD>(length / 4));
        const size_t table = s.meta.size();
        s.meta.resize(table + 4 * node->children.size());
        for (size_t i = 0; i < node->children.size(); ++i) {
            DWORD childOffset = 0;
            if (!WriteNode(s, node->children[i], childOffset))
                return false;
            StoreU32(s.meta.data() + table + 4 * i, childOffset);
        }
        return true;
    }

    DWORD dataOffset = 0;
    PackedContent content;
    if (!WriteFileData(s, *node, dataOffset, content))
        return false;
    const std::vector<BYTE> tags = FileTags(s.options, node->name, node->file, content);
    DWORD word = kNodeKindFile | kNodeFileMethodBits;
    if (node->file.readOnly)
        word |= kNodeReadOnly;
    if (node->file.hidden)
        word |= kNodeHidden;
    AppendU32(s.meta, 0);
    AppendU16(s.meta, static_cast<WORD>(tags.size()));
    s.meta.insert(s.meta.end(), tags.begin(), tags.end());
    AppendU32(s.meta, static_cast<DWORD>(content.size));
    AppendU32(s.meta, content.checksum);
    AppendU32(s.meta, dataOffset);
    AppendU32(s.meta, node->file.lastWrite.dwLowDateTime);
    AppendU32(s.meta, node->file.lastWrite.dwHighDateTime);
    AppendName(s.meta, node->name);
    PadTo4(s.meta, start);
    const size_t length = s.meta.size() - start;
    if (!CheckNodeLength(s, length, node->name))
        return false;
    StoreU32(s.meta.data() + start, word | static_cast<DWORD>(length / 4));
    return true;
}

} // namespace

// Packs the tree with the data area going to `emit`; `head` gets the header and packed meta data,
// padded to 4 bytes, which come before the data area.
bool CPackageWriter::_WriterPack(const std::function<bool(const BYTE*, size_t)>& emit,
                                 std::vector<BYTE>& head, std::string* error) {
    auto fail = [error](const std::string& text) {
        if (error != nullptr)
            *error = text;
        return false;
    };
    const DWORD code = BlockCodeOf(m_options.blockSize);
    if (code == 0)
        return fail("the format has no code for a block size of " + std::to_string(m_options.blockSize));
    PACKAGE_HEADER h;
    if (m_options.guidName) {
        if (!ParseGuidName(m_options.name, h.name))
            return fail("not a GUID: " + m_options.name);
    } else {
        if (m_options.name.size() > sizeof(h.name))
            return fail("a package name has at most 16 bytes: " + m_options.name);
        std::memcpy(h.name, m_options.name.data(), m_options.name.size());
    }

    BuildState s{m_options, emit, {}, 0, {}, {}};
    DWORD rootOffset = 0;
    if (!WriteNode(s, m_root, rootOffset))
        return fail(s.error);
    if (s.meta.size() > kMaxMetaSize)
        return fail("the meta data is larger than a reader accepts");

    std::vector<BYTE> packedMeta;
    if (!CompressBlockLzo(s.meta.data(), s.meta.size(), m_options.best, packedMeta))
        return fail("the LZO compressor failed on the meta data");

    h.packageWord =
        kWordTag | (kHeaderSize / 4) | kWordMethodLzo1x | code | (m_options.guidName ? kWordGuidName : 0);
    h.magic = kMagic;
    h.version = kFormatVersion;
    h.packedMetaSize = static_cast<DWORD>(packedMeta.size());
    h.metaSize = static_cast<DWORD>(s.meta.size());
    h.metaCrc = CQuickCRC::Compute(packedMeta.data(), packedMeta.size());
    h.dataSize = s.dataSize;
    h.dataCrc = s.dataCrc.GetResult();
    h.rootOffset = rootOffset;

    head.assign(kHeaderSize, 0);
    EncodeHeader(h, head.data());
    head.insert(head.end(), packedMeta.begin(), packedMeta.end());
    while (head.size() % 4 != 0)
        head.push_back(0);
    return true;
}

bool CPackageWriter::Build(std::vector<BYTE>& out, std::string* error) {
    std::vector<BYTE> data;
    const auto keep = [&data](const BYTE* bytes, size_t length) {
        data.insert(data.end(), bytes, bytes + length);
        return true;
    };
    if (!_WriterPack(keep, out, error))
        return false;
    out.insert(out.end(), data.begin(), data.end());
    return true;
}

namespace {

// Appends the whole of `from` (read from its start) to `to`: in the kernel where it can, else
// through a buffer.
bool AppendHostFd(int from, int to) {
    if (::lseek(from, 0, SEEK_SET) != 0)
        return false;
    for (;;) {
        const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, 1u << 30, 0);
        if (n == 0)
            return true;
        if (n > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return false;
        break;
    }
    std::vector<BYTE> buffer(1u << 20);
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!WriteAllToHostFd(to, buffer.data(), static_cast<size_t>(n)))
            return false;
    }
}

} // namespace

bool CPackageWriter::WriteToHostFile(const std::string& hostPath, std::string* error) {
    auto fail = [error](const std::string& text) {
        if (error != nullptr)
            *error = text;
        return false;
    };
    // The data area is packed before the meta data that precedes it is known: it goes to a spill
    // file beside the package (unlinked at once, so nothing is left behind) and is appended after.
    std::string spillName = hostPath + ".data-XXXXXX";
    const int spill = ::mkstemp(spillName.data());
    if (spill < 0)
        return fail("cannot create a spill file beside " + hostPath + ": " + std::strerror(errno));
    ::unlink(spillName.c_str());
    const auto spillOut = [spill](const BYTE* bytes, size_t length) {
        return WriteAllToHostFd(spill, bytes, length);
    };
    std::vector<BYTE> head;
    if (!_WriterPack(spillOut, head, error)) {
        ::close(spill);
        return false;
    }
    const int fd = ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        ::close(spill);
        return fail("cannot create " + hostPath + ": " + std::strerror(errno));
    }
    const bool written = WriteAllToHostFd(fd, head.data(), head.size()) && AppendHostFd(spill, fd);
    ::close(spill);
    if (::close(fd) != 0 || !written) {
        ::unlink(hostPath.c_str());
        return fail("cannot write " + hostPath);
    }
    return true;
}

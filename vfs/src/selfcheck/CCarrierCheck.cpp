#include "jxvfs/selfcheck/CCarrierCheck.h"

#include <algorithm>
#include <cstring>

#include "jxplat/text.h"
#include "jxvfs/container/CPackedFileReader.h"
#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/selfcheck/CSelfcheck.h"

namespace {

using PACKAGE = CCarrierCheck::PACKAGE;

// A sequential stream over one file, as the packed-file stream reads it: one decoded block held,
// the content checksum accumulated as blocks are decoded.
class CCarrierFileStream : public CSelfcheckStream {
public:
    CCarrierFileStream(CPkgAccessor& carrier, const PACKAGE& package, const META_NODE& node)
        : m_reader(carrier, package.header.packageWord, package.dataStart, node), m_size(node.size) {}

    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        ULONG done = 0;
        const bool fromStart = m_position == 0;
        while (done < count && m_position < m_size) {
            if (m_blockAt >= m_block.size()) {
                m_block.clear();
                m_blockAt = 0;
                if (!m_reader.ReadNextBlock(m_block)) {
                    if (read != nullptr)
                        *read = done;
                    return E_FAIL;
                }
            }
            const size_t n = std::min<size_t>(count - done, m_block.size() - m_blockAt);
            std::memcpy(static_cast<BYTE*>(buffer) + done, m_block.data() + m_blockAt, n);
            m_blockAt += n;
            done += static_cast<ULONG>(n);
            m_position += n;
        }
        if (read != nullptr)
            *read = done;
        if (fromStart && m_size > 0 && done == m_size)
            return VerifyContent();
        return S_OK;
    }
    HRESULT VerifyContent() override { return m_reader.VerifyContent() ? S_OK : S_FALSE; }
    DWORD GetComputedChecksum() override { return m_reader.ComputedChecksum(); }

private:
    CPackedFileReader m_reader;
    ULONGLONG m_size;
    ULONGLONG m_position = 0;
    std::vector<BYTE> m_block;
    size_t m_blockAt = 0;
};

class CCarrierEntry : public CSelfcheckEntry {
public:
    // A node of a package, or (package null) the root over all packages.
    CCarrierEntry(const CCarrierCheck& owner, const PACKAGE* package, const META_NODE* node,
                  std::u16string path)
        : m_owner(owner), m_package(package), m_node(node), m_path(std::move(path)) {}

    bool IsFile() const override { return m_node != nullptr && !m_node->isDirectory; }
    bool IsDirectory() const override { return m_node == nullptr || m_node->isDirectory; }
    std::u16string GetFullPath() const override { return m_path.empty() ? u"\\" : m_path; }
    ULONGLONG GetSize64() const override { return IsFile() ? m_node->size : 0; }
    DWORD GetStoredValue() const override { return IsFile() ? m_node->checksum : 0; }

    void ForEachChild(const std::function<bool(CSelfcheckEntry&)>& visit) override {
        struct Child {
            const PACKAGE* package;
            const META_NODE* node;
        };
        std::vector<Child> children;
        if (m_node == nullptr) {
            for (const PACKAGE& p : m_owner.Packages()) {
                if (p.tree.Empty())
                    continue;
                for (size_t i : p.tree.Root().children)
                    children.push_back({&p, &p.tree.Node(i)});
            }
        } else if (m_node->isDirectory) {
            for (size_t i : m_node->children)
                children.push_back({m_package, &m_package->tree.Node(i)});
        }
        std::stable_sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
            return jxtext::CompareNoCase(a.node->name, b.node->name) < 0;
        });
        for (const Child& c : children) {
            CCarrierEntry child(m_owner, c.package, c.node, m_path + u"\\" + c.node->name);
            if (!visit(child))
                break;
        }
    }

    std::unique_ptr<CSelfcheckStream> OpenStream() override {
        if (!IsFile() || m_owner.Carrier() == nullptr)
            return nullptr;
        return std::make_unique<CCarrierFileStream>(*m_owner.Carrier(), *m_package, *m_node);
    }

private:
    const CCarrierCheck& m_owner;
    const PACKAGE* m_package;
    const META_NODE* m_node;
    std::u16string m_path;
};

} // namespace

bool CCarrierCheck::Scan(CSelfcheck& selfcheck, CPkgAccessor& carrier) {
    m_packages.clear();
    m_carrier = &carrier;
    selfcheck.Attach(&carrier);
    if (!selfcheck.OpenCarrier()) {
        selfcheck.AddNote(5, u"File %s could not be opened.", carrier.GetName().c_str());
        const DWORD error = carrier.IsOpen() ? 0 : carrier.GetOpenError();
        selfcheck.AddError(jxpkg::kErrCarrierOpen, jxpkg::kDetailCarrierOpen, error, 0);
        return false;
    }
    selfcheck.BeginWalk();
    while (selfcheck.NextPackage()) {
        if (!selfcheck.CanContinue())
            return false;
        PACKAGE package;
        package.name = selfcheck.GetPackageName();
        package.header = selfcheck.GetHeader();
        package.start = selfcheck.GetPackageStart();
        package.dataStart = selfcheck.GetDataStart();
        if (!package.tree.Build(selfcheck.GetMetaData(), selfcheck.GetMetaSize(), package.header.rootOffset,
                                &selfcheck))
            selfcheck.AddNote(2, u"Package %s contains no elements.", package.name.c_str());
        else if (!selfcheck.CheckTreeAgainstData(package.tree))
            continue; // its files would be read from whatever follows it
        else
            selfcheck.AddNote(10, u"    Building root: Success. Added %i Element(s) to VFS.",
                              static_cast<int>(package.tree.FileCount()));
        m_packages.push_back(std::move(package));
    }
    return selfcheck.IsResultOk();
}

std::unique_ptr<CSelfcheckEntry> CCarrierCheck::GetSelfcheckRoot() {
    return std::make_unique<CCarrierEntry>(*this, nullptr, nullptr, std::u16string());
}

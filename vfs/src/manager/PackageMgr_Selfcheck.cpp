// The self-check's view of the merged tree: entries and sequential streams for its file test.
#include "jxvfs/IPackedFileStream.h"
#include "jxvfs/InternalPackageFile.h"
#include "jxvfs/PackageMgr.h"

namespace {

class CStreamView : public CSelfcheckStream {
public:
    explicit CStreamView(IPackedFileStream* stream) : m_stream(stream) {}
    ~CStreamView() override { m_stream->Release(); }
    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        return m_stream->Read(buffer, count, read);
    }
    HRESULT VerifyContent() override { return m_stream->VerifyContent(); }
    DWORD GetComputedChecksum() override { return m_stream->GetComputedChecksum(); }

private:
    IPackedFileStream* m_stream;
};

class CEntryView : public CSelfcheckEntry {
public:
    explicit CEntryView(std::shared_ptr<InternalPackageObjBase> entry) : m_entry(std::move(entry)) {}
    bool IsFile() const override { return m_entry->IsFile(); }
    bool IsDirectory() const override { return m_entry->IsDirectory(); }
    std::u16string GetFullPath() const override { return m_entry->GetFullPath(false); }
    ULONGLONG GetSize64() const override { return m_entry->GetSize64(); }
    DWORD GetStoredValue() const override { return m_entry->GetStoredValue(); }
    void ForEachChild(const std::function<bool(CSelfcheckEntry& child)>& visit) override {
        if (!m_entry->IsDirectory())
            return;
        std::vector<std::shared_ptr<InternalPackageObjBase>> children;
        for (const auto& [name, child] : static_cast<InternalPackageDir&>(*m_entry).GetChildren())
            children.push_back(child);
        for (const auto& child : children) {
            CEntryView view(child);
            if (!visit(view))
                return;
        }
    }
    std::unique_ptr<CSelfcheckStream> OpenStream() override {
        IPackedFileStream* stream = m_entry->OpenStream(kStreamPrivateBlocks);
        return stream ? std::make_unique<CStreamView>(stream) : nullptr;
    }

private:
    std::shared_ptr<InternalPackageObjBase> m_entry;
};

} // namespace

std::unique_ptr<CSelfcheckEntry> PackageMgr::CTreeOwner::GetSelfcheckRoot() {
    return std::make_unique<CEntryView>(m_manager.GetRoot());
}

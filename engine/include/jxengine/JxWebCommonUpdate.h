// The common update: fetching newer setup components from the update servers before a setup
// installs.
#pragma once

#include <string>
#include <vector>

namespace JxSetup::Data {

class JxData;

class JxWebCommonUpdate {
public:
    explicit JxWebCommonUpdate(JxData* owner) : m_pOwner(owner) {}

    // Loads the update information, selects and downloads the files of the component. An empty
    // component name has nothing to fetch.
    bool ExecuteCommonUpdate(const std::u16string& component, bool mainUpdate);
    // Verifies the downloaded files by their checksums.
    bool CheckDownloadedFiles();
    // The folders that received downloaded component packages.
    std::vector<std::u16string> GetSignatureFolders() const { return m_SignatureFolders; }

private:
    JxData* m_pOwner = nullptr;
    std::vector<std::u16string> m_SignatureFolders;
};

} // namespace JxSetup::Data

// The root of one package's own tree: a directory named by the package name, with the carrier it
// was read from and its byte ranges in that carrier.
#pragma once

#include "jxvfs/InternalPackageDir.h"
#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/container/PackageFormat.h"

class InternalPackage : public InternalPackageDir {
public:
    InternalPackage(std::u16string name, const jxpkg::PACKAGE_HEADER& header, ULONGLONG packageStart,
                    ULONGLONG metaStart, ULONGLONG dataStart, std::shared_ptr<CPkgAccessor> carrier);

    bool IsRoot() const override { return true; }
    bool IsPackage() const override { return true; }

    CPkgAccessor* GetCarrier() const { return m_carrier.get(); }
    const std::shared_ptr<CPkgAccessor>& GetCarrierShared() const { return m_carrier; }
    const jxpkg::PACKAGE_HEADER& GetHeader() const { return m_header; }
    DWORD GetPackageWord() const { return m_header.packageWord; }
    ULONGLONG GetPackageStart() const { return m_packageStart; }
    ULONGLONG GetMetaStart() const { return m_metaStart; }
    ULONGLONG GetPackedMetaSize() const { return m_header.packedMetaSize; }
    ULONGLONG GetDataStart() const { return m_dataStart; }
    ULONGLONG GetDataSize() const { return m_header.dataSize; }
    // Data start + data size - package start.
    ULONGLONG GetPackageLength() const { return m_dataStart + m_header.dataSize - m_packageStart; }
    DWORD GetMetaCrc() const { return m_header.metaCrc; }
    DWORD GetDataCrc() const { return m_header.dataCrc; }

private:
    jxpkg::PACKAGE_HEADER m_header;
    ULONGLONG m_packageStart;
    ULONGLONG m_metaStart;
    ULONGLONG m_dataStart;
    std::shared_ptr<CPkgAccessor> m_carrier;
};

#include "jxvfs/InternalPackage.h"

InternalPackage::InternalPackage(std::u16string name, const jxpkg::PACKAGE_HEADER& header,
                                 ULONGLONG packageStart, ULONGLONG metaStart, ULONGLONG dataStart,
                                 std::shared_ptr<CPkgAccessor> carrier)
    : InternalPackageDir(std::move(name)), m_header(header), m_packageStart(packageStart),
      m_metaStart(metaStart), m_dataStart(dataStart), m_carrier(std::move(carrier)) {}

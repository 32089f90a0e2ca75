// The self-check's error records as lines a person reads in the run's log: which package, which
// check failed, and the values it found.
#include "jxplat/text.h"
#include "jxvfs/container/PackageFormat.h"
#include "jxvfs/selfcheck/CSelfcheck.h"

using namespace jxpkg;

namespace {

std::u16string _describe_Check(const ERROR_ENTRY& e) {
    const ULONGLONG value = e.Value();
    switch (e.code) {
    case kErrCarrierOpen:
        if (e.detail == kDetailCarrierOpen)
            return jxtext::Format(u"the file cannot be opened (error %lu)", e.valueLow);
        break;
    case kErrNoHeader:
        return jxtext::Format(u"no complete package header at offset %I64u", value);
    case kErrStructure:
        if (e.detail == kDetailVersion)
            return jxtext::Format(u"the package format version %lu is not supported", e.valueLow);
        if (e.detail == kDetailBadOffset)
            return jxtext::Format(u"the meta tree points outside its data (%lu)", e.valueLow);
        if (e.detail == kDetailNoProgress)
            return jxtext::Format(u"the packages cannot be read past offset %I64u (a package ends beyond "
                                  u"the file or its header was refused)",
                                  value);
        break;
    case kErrMetaCrc:
        return jxtext::Format(u"the CRC-32 of the meta tree does not match (stored %08X, computed %08X)",
                              e.valueLow, e.valueHigh);
    case kErrMetaDecode:
        return u"the meta tree does not unpack to its stated size";
    case kErrMetaMemory:
        return jxtext::Format(u"no memory for a meta tree of %lu bytes", e.valueLow);
    case kErrDataBounds:
        if (e.detail == kDetailFileBounds)
            return jxtext::Format(u"the data of %s at %lu lies beyond the package's data of %lu bytes",
                                  e.subject.c_str(), e.valueLow, e.valueHigh);
        return jxtext::Format(u"the data area (%lu bytes at %lu) runs past the end of the file", e.valueHigh,
                              e.valueLow);
    case kErrDataCrc:
        return jxtext::Format(u"the CRC-32 of the data area does not match (computed %08X, stored %08X)",
                              e.valueLow, e.valueHigh);
    default:
        break;
    }
    if ((e.code & 0xFu) == 3u)
        return jxtext::Format(u"a read at offset %lu failed (error %lu)", e.valueLow, e.detail & 0x0FFFFFFFu);
    return jxtext::Format(u"check %08X failed (detail %08X, value %08X'%08X)", e.code, e.detail, e.valueHigh,
                          e.valueLow);
}

} // namespace

std::u16string CSelfcheck::DescribeError(const ERROR_ENTRY& entry) {
    const std::u16string check = _describe_Check(entry);
    return entry.package.empty() ? check : u"package " + entry.package + u": " + check;
}

std::vector<std::u16string> CSelfcheck::DescribeErrors(size_t from) const {
    std::vector<std::u16string> lines;
    for (const ERROR_ENTRY& entry : GetErrors(from))
        lines.push_back(DescribeError(entry));
    return lines;
}

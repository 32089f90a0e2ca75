// JX_NOT_BUILT: the engine's own minidump writer comes with the worker threads and crash dumps.
// Minidumps of the service processes on 32-bit Windows, where the engine writes them itself.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

void JxData::_shutdown_DumpInProcess(const std::u16string& settings) {
    FailNotBuilt(u"JxSetup::Data::JxData::ShutdownCreateDumps", u"MinidumpWriter::WriteProcessDump");
}

} // namespace JxSetup::Data

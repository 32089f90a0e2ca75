// Minidumps of the service processes on 32-bit Windows, where the engine writes them itself.
#include "jxbase/MinidumpWriter.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

void JxData::_shutdown_DumpInProcess(const std::u16string& settings) {
    MinidumpWriter writer;
    writer.ReadDumpSettings(settings);
    writer.WriteProcessDump();
}

} // namespace JxSetup::Data

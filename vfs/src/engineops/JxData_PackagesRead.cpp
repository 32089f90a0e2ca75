// Reading a packaged file whole through a stream of the virtual file system.
#include "JxData_Packages.h"
#include "jxvfs/ComStream.h"
#include "jxvfs/IPackedFileStream.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {

JxData::JxPackagedRead _pkg_ReadPackagedFile(VirtualFS& vfs, const std::u16string& path, std::string& bytes) {
    bytes.clear();
    IPackedFileStream* stream = vfs.OpenStreamByPath(path, 256);
    if (!stream)
        return JxData::JxPackagedRead::NotFound;
    JxData::JxPackagedRead result = JxData::JxPackagedRead::Ok;
    // The size comes from Stat: the packed stream refuses every seek of an empty file.
    STATSTG stat = {};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) {
        result = JxData::JxPackagedRead::ReadError;
    } else {
        bytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
        size_t done = 0;
        while (done < bytes.size()) {
            ULONG got = 0;
            const ULONG wanted = static_cast<ULONG>(std::min<size_t>(bytes.size() - done, 1u << 20));
            if (FAILED(stream->Read(bytes.data() + done, wanted, &got)) || got == 0) {
                result = JxData::JxPackagedRead::ReadError; // a short file is a damaged one
                break;
            }
            done += got;
        }
    }
    stream->Release();
    if (result != JxData::JxPackagedRead::Ok)
        bytes.clear();
    return result;
}

} // namespace JxSetup::Data

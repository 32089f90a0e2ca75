#include <sys/stat.h>

#include "jxpack.h"
#include "jxplat/text.h"
#include "jxvfs/container/CPackageWriter.h"

namespace jxpack {

namespace {

std::string LastComponent(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool MakePackage(const std::string& outPath, const std::string& folder, const MakeOptions& options,
                 std::string* error) {
    auto fail = [error](const std::string& text) {
        if (error != nullptr)
            *error = text;
        return false;
    };
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return fail("not a folder: " + folder);
    const std::string root = options.root.empty() ? LastComponent(folder) : options.root;
    PACKAGE_WRITER_OPTIONS writerOptions;
    writerOptions.name = options.name.empty() ? root : options.name;
    writerOptions.guidName = !writerOptions.name.empty() && writerOptions.name.front() == '{';
    writerOptions.blockSize = options.blockSize;
    writerOptions.crcTag = options.crcTag;
    writerOptions.best = options.best;

    CPackageWriter writer(writerOptions);
    const std::u16string top = jxtext::W(root);
    if (!writer.AddDirectory(top) || !writer.AddHostFolder(folder, top))
        return fail("cannot read the folder " + folder +
                    " (or two of its names differ only in case, which Windows sees as one name)");
    for (const MakeOptions::FileVersion& v : options.versions) {
        if (!writer.SetFileVersion(top + u"\\" + jxtext::W(v.path), v.version))
            return fail("no file " + v.path + " for a version");
    }
    return writer.WriteToHostFile(outPath, error);
}

} // namespace jxpack

#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include <libxml/encoding.h>
#include <libxml/xmlsave.h>

#include "xml_state.h"

namespace jxxml {

bool SerializeDocument(xmlDocPtr doc, const std::string& encoding, bool omitDeclaration, bool indent,
                       std::string& out, HRESULT& hr) {
    // An unknown encoding is refused before libxml2 would complain about it on stderr.
    xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(encoding.c_str());
    if (!handler) {
        hr = E_INVALIDARG;
        return false;
    }
    xmlCharEncCloseFunc(handler);

    xmlBufferPtr buffer = xmlBufferCreate();
    if (!buffer) {
        hr = E_OUTOFMEMORY;
        return false;
    }
    int options = 0;
    if (omitDeclaration)
        options |= XML_SAVE_NO_DECL;
    if (indent)
        options |= XML_SAVE_FORMAT;
    xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer, encoding.c_str(), options);
    bool ok = save != nullptr;
    if (save) {
        ok = xmlSaveDoc(save, doc) >= 0;
        ok = xmlSaveClose(save) >= 0 && ok;
    }
    if (ok)
        out.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer)), xmlBufferLength(buffer));
    else
        hr = E_FAIL;
    xmlBufferFree(buffer);
    return ok;
}

namespace {

HRESULT _save_FromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case ENOSPC:
        return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    default:
        return HRESULT_FROM_WIN32(ERROR_CANTWRITE);
    }
}

} // namespace

HRESULT WriteHostFile(const std::string& hostPath, const std::string& bytes) {
    // Written beside the target and renamed over it, so a failed write never leaves a cut file.
    const std::string temporary = hostPath + ".jxtmp";
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file)
        return _save_FromErrno(errno);
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int error = ok ? 0 : errno;
    if (fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temporary.c_str(), hostPath.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        return _save_FromErrno(error);
    }
    return S_OK;
}

} // namespace jxxml

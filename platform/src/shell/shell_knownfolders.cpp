// SHGetKnownFolderPath: the known folders the engine asks for, at the places of the special folders.
#include <cstring>

#include "jxplat/combaseapi.h"
#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/shlobj.h"
#include "jxplat/winerror.h"

const KNOWNFOLDERID FOLDERID_ProgramFiles = {
    0x905e63b6, 0xc1bf, 0x494e, {0xb2, 0x9c, 0x65, 0xb7, 0x32, 0xd3, 0xd2, 0x1a}};
const KNOWNFOLDERID FOLDERID_ProgramFilesX86 = {
    0x7c5a40ef, 0xa0fb, 0x4bfc, {0x87, 0x4a, 0xc0, 0xf2, 0xe0, 0xb9, 0xfa, 0x8e}};
const KNOWNFOLDERID FOLDERID_ProgramFilesX64 = {
    0x6d809377, 0x6af0, 0x444b, {0x89, 0x57, 0xa3, 0x77, 0x3f, 0x02, 0x20, 0x0e}};
const KNOWNFOLDERID FOLDERID_ProgramFilesCommon = {
    0xf7f1ed05, 0x9f6d, 0x47a2, {0xaa, 0xae, 0x29, 0xd3, 0x17, 0xc6, 0xf0, 0x66}};
const KNOWNFOLDERID FOLDERID_ProgramFilesCommonX86 = {
    0xde974d24, 0xd9c6, 0x4d3e, {0xbf, 0x91, 0xf4, 0x45, 0x51, 0x20, 0xb9, 0x17}};
const KNOWNFOLDERID FOLDERID_ProgramFilesCommonX64 = {
    0x6365d5a7, 0x0f0d, 0x45e5, {0x87, 0xf6, 0x0d, 0xa5, 0x6b, 0x6a, 0x4f, 0x7d}};
const KNOWNFOLDERID FOLDERID_ProgramData = {
    0x62ab5d82, 0xfdc1, 0x4dc3, {0xa9, 0xdd, 0x07, 0x0d, 0x1d, 0x49, 0x5d, 0x97}};
const KNOWNFOLDERID FOLDERID_Windows = {
    0xf38bf404, 0x1d43, 0x42f2, {0x93, 0x05, 0x67, 0xde, 0x0b, 0x28, 0xfc, 0x23}};
const KNOWNFOLDERID FOLDERID_System = {
    0x1ac14e77, 0x02e7, 0x4e5d, {0xb7, 0x44, 0x2e, 0xb1, 0xae, 0x51, 0x98, 0xb7}};
const KNOWNFOLDERID FOLDERID_SystemX86 = {
    0xd65231b0, 0xb2f1, 0x4857, {0xa4, 0xce, 0xa8, 0xe7, 0xc6, 0xea, 0x7d, 0x27}};
const KNOWNFOLDERID FOLDERID_Profile = {
    0x5e6c858f, 0x0e22, 0x4760, {0x9a, 0xfe, 0xea, 0x33, 0x17, 0xb6, 0x71, 0x73}};
const KNOWNFOLDERID FOLDERID_RoamingAppData = {
    0x3eb685db, 0x65f9, 0x4cf6, {0xa0, 0x3a, 0xe3, 0xef, 0x65, 0x72, 0x9f, 0x3d}};
const KNOWNFOLDERID FOLDERID_LocalAppData = {
    0xf1b32785, 0x6fba, 0x4fcf, {0x9d, 0x55, 0x7b, 0x8e, 0x7f, 0x15, 0x70, 0x91}};
const KNOWNFOLDERID FOLDERID_Documents = {
    0xfdd39ad0, 0x238f, 0x46af, {0xad, 0xb4, 0x6c, 0x85, 0x48, 0x03, 0x69, 0xc7}};
const KNOWNFOLDERID FOLDERID_Desktop = {
    0xb4bfcc3a, 0xdb2c, 0x424c, {0xb0, 0x29, 0x7f, 0xe9, 0x9a, 0x87, 0xc6, 0x41}};
const KNOWNFOLDERID FOLDERID_PublicDesktop = {
    0xc4aa340d, 0xf20f, 0x4863, {0xaf, 0xef, 0xf8, 0x7e, 0xf2, 0xe6, 0xba, 0x25}};
const KNOWNFOLDERID FOLDERID_StartMenu = {
    0x625b53c3, 0xab48, 0x4ec1, {0xba, 0x1f, 0xa1, 0xef, 0x41, 0x46, 0xfc, 0x19}};
const KNOWNFOLDERID FOLDERID_Programs = {
    0xa77f5d77, 0x2e2b, 0x44c3, {0xa6, 0xa2, 0xab, 0xa6, 0x01, 0x05, 0x4a, 0x51}};
const KNOWNFOLDERID FOLDERID_CommonStartMenu = {
    0xa4115719, 0xd62e, 0x491d, {0xaa, 0x7c, 0xe7, 0x4b, 0x8b, 0xe3, 0xb0, 0x67}};
const KNOWNFOLDERID FOLDERID_CommonPrograms = {
    0x0139d44e, 0x6afe, 0x49f2, {0x86, 0x90, 0x3d, 0xaf, 0xca, 0xe6, 0xff, 0xb8}};

namespace {

struct CKnownFolder {
    const KNOWNFOLDERID* id;
    int csidl; // the special folder at the same place, or -1
};

const CKnownFolder kKnownFolders[] = {
    {&FOLDERID_ProgramFiles, CSIDL_PROGRAM_FILES},
    {&FOLDERID_ProgramFilesX86, CSIDL_PROGRAM_FILESX86},
    {&FOLDERID_ProgramFilesX64, -1},
    {&FOLDERID_ProgramFilesCommon, CSIDL_PROGRAM_FILES_COMMON},
    {&FOLDERID_ProgramFilesCommonX86, CSIDL_PROGRAM_FILES_COMMONX86},
    {&FOLDERID_ProgramFilesCommonX64, -1},
    {&FOLDERID_ProgramData, CSIDL_COMMON_APPDATA},
    {&FOLDERID_Windows, CSIDL_WINDOWS},
    {&FOLDERID_System, CSIDL_SYSTEM},
    {&FOLDERID_SystemX86, CSIDL_SYSTEMX86},
    {&FOLDERID_Profile, CSIDL_PROFILE},
    {&FOLDERID_RoamingAppData, CSIDL_APPDATA},
    {&FOLDERID_LocalAppData, CSIDL_LOCAL_APPDATA},
    {&FOLDERID_Documents, CSIDL_PERSONAL},
    {&FOLDERID_Desktop, CSIDL_DESKTOPDIRECTORY},
    {&FOLDERID_PublicDesktop, CSIDL_COMMON_DESKTOPDIRECTORY},
    {&FOLDERID_StartMenu, CSIDL_STARTMENU},
    {&FOLDERID_Programs, CSIDL_PROGRAMS},
    {&FOLDERID_CommonStartMenu, CSIDL_COMMON_STARTMENU},
    {&FOLDERID_CommonPrograms, CSIDL_COMMON_PROGRAMS},
};

} // namespace

HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD, HANDLE, PWSTR* path) {
    if (!path)
        return E_INVALIDARG;
    *path = nullptr;
    for (const CKnownFolder& known : kKnownFolders) {
        if (!IsEqualGUID(*known.id, id))
            continue;
        std::u16string found;
        if (known.csidl >= 0) {
            found = jxplat::SpecialFolderPath(known.csidl);
        } else if (jxplat::Machine().is64Bit) {
            // The native 64-bit folders, which a 32-bit machine does not have.
            found = known.id == &FOLDERID_ProgramFilesX64 ? u"C:\\Program Files"
                                                          : u"C:\\Program Files\\Common Files";
        }
        if (found.empty())
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        const std::string host = jxplat::WindowsToHostPath(found);
        if (!host.empty())
            jxplat::EnsureHostDirectory(host);
        auto* text = static_cast<PWSTR>(CoTaskMemAlloc((found.size() + 1) * sizeof(char16_t)));
        if (!text)
            return E_OUTOFMEMORY;
        std::memcpy(text, found.c_str(), (found.size() + 1) * sizeof(char16_t));
        *path = text;
        return S_OK;
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

// The shell link object (CLSID_ShellLink) and its IShellLinkW interface. The object also offers
// IPersistFile (its .lnk file) and IPropertyStore (properties such as System.AppUserModel.ID).
//
// The stand-in keeps a link's data in memory and writes and reads it in the shell-link file layout:
// the 76-byte header, the string data, a LinkInfo with the local base path and a property-store
// block. Files are read and written through the stand-in's own file calls, so link paths map below
// the machine root like any other Windows path.
#pragma once

#include "jxplat/fileapi.h"
#include "jxplat/objbase.h"
#include "jxplat/objidl.h"
#include "jxplat/propsys.h"
#include "jxplat/shlobj.h"

// Resolve flags.
#define SLR_NO_UI 0x0001
#define SLR_ANY_MATCH 0x0002
#define SLR_UPDATE 0x0004
#define SLR_NOUPDATE 0x0008
#define SLR_NOSEARCH 0x0010
#define SLR_NOTRACK 0x0020
#define SLR_NOLINKINFO 0x0040
#define SLR_INVOKE_MSI 0x0080

// GetPath flags.
#define SLGP_SHORTPATH 0x0001
#define SLGP_UNCPRIORITY 0x0002
#define SLGP_RAWPATH 0x0004

extern const CLSID CLSID_ShellLink;
extern const IID IID_IShellLinkW;

struct IShellLinkW : public IUnknown {
    // S_FALSE with an empty text when the link has no target path; the text is cut to cch - 1.
    virtual HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int cch, WIN32_FIND_DATAW* findData,
                                              DWORD flags) = 0;
    // Item-id lists are not kept by the stand-in: E_NOTIMPL.
    virtual HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE* idList) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE idList) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int cch) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int cch) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR args, int cch) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR args) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetShowCmd(int* showCmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetShowCmd(int showCmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR iconPath, int cch, int* icon) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR iconPath, int icon) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR relativePath, DWORD reserved) = 0;
    // S_OK when the target exists; S_FALSE when it does not (no search, no user interface here);
    // E_FAIL when the link has no target.
    virtual HRESULT STDMETHODCALLTYPE Resolve(HWND window, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) = 0;
};

// The token of a session's user, as WTSQueryUserToken hands it out.
#pragma once

#include <string>

#include "jxplat/wintypes.h"
#include "kernel/objects.h"

namespace jxplat {

class CSessionToken : public CKernelObject {
public:
    DWORD m_sessionId = 0;
    std::string m_user;
    bool m_environmentFault = false;
};

} // namespace jxplat

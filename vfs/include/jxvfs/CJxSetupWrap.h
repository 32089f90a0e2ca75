// The setup wrapper: the virtual file system with the program's own packages and self-check options.
#pragma once

#include "jxvfs/VirtualFS.h"

class CJxSetupWrap : public VirtualFS {
public:
    CJxSetupWrap() = default;
    ~CJxSetupWrap() override = default;
};

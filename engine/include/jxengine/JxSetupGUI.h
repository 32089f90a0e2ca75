// Holder of the loaded GUI module.
#pragma once

class JxSetupGUI {
public:
    JxSetupGUI() = default;
    virtual ~JxSetupGUI() = default;
    JxSetupGUI(const JxSetupGUI&) = delete;
    JxSetupGUI& operator=(const JxSetupGUI&) = delete;
};

// The engine's named worker threads. A setup run starts none of them.
#pragma once

namespace JxSetup::Data {

class JxThreadPool {
public:
    JxThreadPool() = default;
    ~JxThreadPool() = default;
    JxThreadPool(const JxThreadPool&) = delete;
    JxThreadPool& operator=(const JxThreadPool&) = delete;
};

} // namespace JxSetup::Data

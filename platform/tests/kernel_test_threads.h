// Starting a test's helper thread with CreateThread from a lambda.
#pragma once

#include <functional>
#include <memory>

#include <windows.h>

namespace kerneltest {

inline HANDLE StartThread(std::function<DWORD()> body, DWORD flags = 0, DWORD* threadId = nullptr) {
    auto* owned = new std::function<DWORD()>(std::move(body));
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            std::unique_ptr<std::function<DWORD()>> run(static_cast<std::function<DWORD()>*>(parameter));
            return (*run)();
        },
        owned, flags, threadId);
    if (!thread)
        delete owned;
    return thread;
}

// A generous bound for waits that must succeed, so that a fault fails the test instead of hanging it.
constexpr DWORD kLong = 10000;

} // namespace kerneltest

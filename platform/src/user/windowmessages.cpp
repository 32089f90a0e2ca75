// Window messages to windows that are not this process's (the progress window that started a
// program, for example): there is no screen, so the message is recorded in the machine root and
// answered 0. Messages to the process's own windows go to their window procedures (windows.cpp).
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "jxplat/machine.h"
#include "jxplat/winuser.h"
#include "user/window_state.h"

LRESULT jxplat::RecordForeignWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const nlohmann::json line = {{"window", reinterpret_cast<ULONG_PTR>(window)},
                                 {"message", message},
                                 {"wParam", wParam},
                                 {"lParam", lParam}};
    const std::string record = line.dump() + "\n";
    const int fd = ::open(jxplat::MachinePath("windowmessages.jsonl").c_str(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const ssize_t written = ::write(fd, record.data(), record.size());
        (void)written;
        ::close(fd);
    }
    return 0;
}

namespace jxplat {

std::vector<RecordedWindowMessage> ReadRecordedWindowMessages() {
    std::vector<RecordedWindowMessage> messages;
    std::ifstream in(MachinePath("windowmessages.jsonl"));
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_discarded())
            continue;
        RecordedWindowMessage message;
        message.window = j.value("window", ULONG_PTR{0});
        message.message = j.value("message", 0u);
        message.wParam = j.value("wParam", WPARAM{0});
        message.lParam = j.value("lParam", LPARAM{0});
        messages.push_back(message);
    }
    return messages;
}

} // namespace jxplat

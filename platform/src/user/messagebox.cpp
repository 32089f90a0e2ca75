// Message boxes without a screen: each is recorded in the machine root and answered from the
// machine's configured answers, or with its default button.
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winuser.h"

namespace {

// The buttons of a box type, in their order on screen.
std::vector<int> Buttons(UINT type) {
    switch (type & 0xF) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    case MB_CANCELTRYCONTINUE:
        return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    default:
        return {IDOK};
    }
}

int Answer(const std::string& caption, const std::string& text, UINT type) {
    for (const auto& configured : jxplat::Machine().messageBoxAnswers) {
        if (text.find(configured.textContains) != std::string::npos &&
            caption.find(configured.captionContains) != std::string::npos)
            return configured.answer;
    }
    std::vector<int> buttons = Buttons(type);
    size_t index = (type & 0xF00) >> 8;
    return buttons[index < buttons.size() ? index : 0];
}

} // namespace

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    std::string textUtf8 = jxtext::Utf16ToUtf8(text ? text : u"");
    // Windows shows "Error" when no caption is given.
    std::string captionUtf8 = caption ? jxtext::Utf16ToUtf8(caption) : "Error";
    int answer = Answer(captionUtf8, textUtf8, type);
    nlohmann::json line = {{"caption", captionUtf8}, {"text", textUtf8}, {"type", type}, {"answer", answer}};
    std::string record = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    int fd = ::open(jxplat::MachinePath("messageboxes.jsonl").c_str(),
                    O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ssize_t written = ::write(fd, record.data(), record.size());
        (void)written;
        ::close(fd);
    }
    return answer;
}

namespace jxplat {

std::vector<RecordedMessageBox> ReadRecordedMessageBoxes() {
    std::vector<RecordedMessageBox> boxes;
    std::ifstream in(MachinePath("messageboxes.jsonl"));
    std::string line;
    while (std::getline(in, line)) {
        nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_discarded())
            continue;
        RecordedMessageBox box;
        box.caption = jxtext::Utf8ToUtf16(j.value("caption", ""));
        box.text = jxtext::Utf8ToUtf16(j.value("text", ""));
        box.type = j.value("type", 0u);
        box.answer = j.value("answer", 0);
        boxes.push_back(box);
    }
    return boxes;
}

} // namespace jxplat

// The script of the scripted GUI module: where it is and how it reads.
#include "scripted_gui.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace jxgui {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::u16string Fold(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

} // namespace

std::u16string FromUtf8(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char32_t code = c;
        size_t length = 1;
        if (c >= 0xF0 && i + 3 < text.size()) {
            code = ((c & 0x07u) << 18) | ((text[i + 1] & 0x3Fu) << 12) | ((text[i + 2] & 0x3Fu) << 6) |
                   (text[i + 3] & 0x3Fu);
            length = 4;
        } else if (c >= 0xE0 && i + 2 < text.size()) {
            code = ((c & 0x0Fu) << 12) | ((text[i + 1] & 0x3Fu) << 6) | (text[i + 2] & 0x3Fu);
            length = 3;
        } else if (c >= 0xC0 && i + 1 < text.size()) {
            code = ((c & 0x1Fu) << 6) | (text[i + 1] & 0x3Fu);
            length = 2;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

bool ContainsNoCase(const std::u16string& text, const std::u16string& part) {
    return Fold(text).find(Fold(part)) != std::u16string::npos;
}

Script ParseScript(const std::string& text) {
    Script script;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (const size_t hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty())
            continue;
        if (w[0] == "page" && w.size() >= 2) {
            PageRule rule;
            rule.page = FromUtf8(w[1]);
            for (size_t i = 2; i < w.size(); ++i) {
                if (w[i] == "cancel") {
                    rule.cancel = true;
                } else if (w[i] == "set" || w[i] == "next") {
                    continue;
                } else if (const size_t eq = w[i].find('='); eq != std::string::npos) {
                    rule.sets.emplace_back(FromUtf8(w[i].substr(0, eq)), FromUtf8(w[i].substr(eq + 1)));
                }
            }
            script.pages.push_back(std::move(rule));
        } else if (w[0] == "call" && w.size() >= 3) {
            CallRule call;
            call.page = FromUtf8(w[1]);
            call.operation = w[2];
            for (size_t i = 3; i < w.size(); ++i) {
                const size_t eq = w[i].find('=');
                const std::string name = w[i].substr(0, eq);
                const std::u16string value = eq == std::string::npos ? u"" : FromUtf8(w[i].substr(eq + 1));
                if (name == "server")
                    call.server = value;
                else if (name == "database")
                    call.database = value;
                else if (name == "user")
                    call.user = value;
                else if (name == "password")
                    call.password = value;
                else if (name == "windows")
                    call.windows = value == u"true";
            }
            script.calls.push_back(std::move(call));
        } else if (w[0] == "box" && w.size() >= 3) {
            script.boxes.push_back({FromUtf8(w[1]), std::atoi(w[2].c_str())});
        } else if (w[0] == "cancel" && w.size() >= 3 && w[1] == "progress") {
            script.cancelAtProgress = std::atoi(w[2].c_str());
        } else if (w[0] == "cancel" && w.size() >= 3 && w[1] == "text") {
            script.cancelAtText = FromUtf8(w[2]);
        } else if (w[0] == "initialize" && w.size() >= 2 && w[1] == "fail") {
            script.failInitialize = true;
        } else if (w[0] == "restart" && w.size() >= 2 && w[1] == "true") {
            script.performRestart = true;
        }
    }
    return script;
}

Script LoadScript() {
    std::string path;
    if (const char* named = std::getenv("JX_GUI_SCRIPT"); named && *named) {
        path = named;
    } else if (const char* root = std::getenv("JX_MACHINE_ROOT"); root && *root) {
        try {
            const nlohmann::json machine =
                nlohmann::json::parse(ReadFile(std::string(root) + "/machine.json"));
            if (machine.contains("guiScript"))
                path = machine["guiScript"].get<std::string>();
        } catch (const std::exception&) {
            path.clear();
        }
        if (!path.empty() && path[0] != '/')
            path = std::string(root) + "/" + path;
    }
    return path.empty() ? Script() : ParseScript(ReadFile(path));
}

} // namespace jxgui

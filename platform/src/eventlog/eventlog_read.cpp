// Reading the machine root's event log back (tests, jxmachine eventlog).
#include <fstream>

#include <nlohmann/json.hpp>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winevt.h"

namespace jxplat {

std::vector<EventLogEntry> ReadEventLog() {
    std::vector<EventLogEntry> entries;
    std::ifstream in(MachinePath("eventlog.jsonl"));
    std::string line;
    while (std::getline(in, line)) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_discarded() || !j.is_object())
            continue;
        try {
            EventLogEntry entry;
            entry.source = jxtext::Utf8ToUtf16(j.value("source", ""));
            entry.server = jxtext::Utf8ToUtf16(j.value("server", ""));
            entry.type = j.value("type", WORD{0});
            entry.category = j.value("category", WORD{0});
            entry.eventId = j.value("eventId", DWORD{0});
            if (j.contains("strings") && j["strings"].is_array())
                for (const auto& text : j["strings"])
                    entry.strings.push_back(
                        jxtext::Utf8ToUtf16(text.is_string() ? text.get<std::string>() : ""));
            entry.dataSize = j.value("dataSize", DWORD{0});
            entry.processId = j.value("processId", DWORD{0});
            entries.push_back(std::move(entry));
        } catch (const std::exception&) {
            // A line of the wrong shape is skipped as a torn line is.
        }
    }
    return entries;
}

} // namespace jxplat

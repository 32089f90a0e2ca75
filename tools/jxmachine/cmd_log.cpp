// jxmachine log: a setup run's log as readable lines. The engine writes its log as UTF-16 XML and
// packs it into a zip archive when the run ends; a run that was ended early leaves the plain file,
// perhaps cut inside an entry.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zip.h>

#include <windows.h>

#include "jxmachine/commands.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"

namespace fs = std::filesystem;

namespace {

using jxtools::Usage;

// The folder the engine writes its logs to (below the common application data folder).
std::string LogsFolder() {
    WCHAR common[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common)))
        return {};
    return jxplat::WindowsToHostPath(std::u16string(common) + u"\\Tolvane\\Setups\\Logs");
}

// The logs of the folder, most recently written first.
std::vector<fs::path> ListLogs(const std::string& folder) {
    struct Found {
        fs::path path;
        fs::file_time_type written;
    };
    std::vector<Found> found;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error))
            found.push_back({entry.path(), entry.last_write_time(error)});
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.written != b.written ? a.written > b.written : a.path.filename() > b.path.filename();
    });
    std::vector<fs::path> paths;
    for (const Found& f : found)
        paths.push_back(f.path);
    return paths;
}

bool ReadWholeFile(const fs::path& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The first entry of a zip archive (the engine packs one log per archive).
bool ReadZippedLog(const fs::path& path, std::string& out) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive)
        return false;
    bool ok = false;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_get_num_entries(archive, 0) > 0 && zip_stat_index(archive, 0, 0, &stat) == 0 &&
        (stat.valid & ZIP_STAT_SIZE)) {
        if (zip_file_t* file = zip_fopen_index(archive, 0, 0)) {
            out.resize(stat.size);
            ok = zip_fread(file, out.data(), stat.size) == static_cast<zip_int64_t>(stat.size);
            zip_fclose(file);
        }
    }
    zip_discard(archive);
    return ok;
}

bool ReadLog(const fs::path& path, std::string& xml) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes))
        return false;
    if (bytes.rfind("PK\x03\x04", 0) == 0)
        return ReadZippedLog(path, xml);
    xml = std::move(bytes);
    return true;
}

std::string Attribute(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

std::string Content(xmlNode* node) {
    xmlChar* value = xmlNodeGetContent(node);
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

// "time LEVEL context: text"; the lines of a text of several lines are indented below the first.
void PrintLine(const std::string& time, const std::string& level, const std::string& context,
               const std::string& text) {
    std::string line = time + " " + level;
    line.append(level.size() < 8 ? 8 - level.size() : 1, ' ');
    line += context.empty() ? text : context + ": " + text;
    const std::string indent(time.size() + 1 + std::max<size_t>(level.size() + 1, 8), ' ');
    for (size_t at = line.find('\n'); at != std::string::npos; at = line.find('\n', at + 1))
        line.insert(at + 1, indent);
    std::printf("%s\n", line.c_str());
}

// Prints the entries (with their properties unless only warnings and errors are asked for).
bool PrintLog(const std::string& xml, bool warningsOnly) {
    // A log cut by a run that ended early is read as far as it goes.
    const size_t usable = xml.size() & ~static_cast<size_t>(1); // whole UTF-16 code units
    xmlDoc* document = xmlReadMemory(xml.data(), static_cast<int>(usable), "log.xml", nullptr,
                                     XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_HUGE |
                                         XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlNode* root = document ? xmlDocGetRootElement(document) : nullptr;
    if (!root || std::strcmp(reinterpret_cast<const char*>(root->name), "LogFile") != 0) {
        xmlFreeDoc(document);
        return false;
    }
    for (xmlNode* node = root->children; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        const std::string name = reinterpret_cast<const char*>(node->name);
        if (name == "Entry") {
            const std::string level = Attribute(node, "msgtype");
            if (warningsOnly && level != "ERROR" && level != "WARNING")
                continue;
            std::string context = Attribute(node, "context");
            if (context.empty())
                context = Attribute(node, "module");
            PrintLine(Attribute(node, "datetime"), level, context, Content(node));
        } else if (name == "Property" && !warningsOnly) {
            PrintLine(Attribute(node, "datetime"), "PROPERTY", "",
                      Attribute(node, "name") + " = " + Content(node));
        }
    }
    xmlFreeDoc(document);
    return true;
}

int PrintSetupLog(int argc, char** argv, int first) {
    bool list = false;
    bool warningsOnly = false;
    std::string name;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--list")
            list = true;
        else if (arg == "--warnings")
            warningsOnly = true;
        else if (arg.rfind("--", 0) == 0 || !name.empty())
            return Usage();
        else
            name = arg;
    }
    if (list && (warningsOnly || !name.empty()))
        return Usage();

    const std::string folder = LogsFolder();
    const std::vector<fs::path> logs = ListLogs(folder);
    if (list) {
        for (const fs::path& log : logs)
            std::printf("%s\n", log.filename().c_str());
        return 0;
    }
    fs::path chosen;
    if (name.find('/') != std::string::npos) {
        chosen = name; // a host path
    } else if (!name.empty()) {
        for (const fs::path& log : logs) {
            const std::string file = log.filename().string();
            if (jxtext::EqualsNoCase(jxtext::Utf8ToUtf16(file), jxtext::Utf8ToUtf16(name)) ||
                jxtext::EqualsNoCase(jxtext::Utf8ToUtf16(file), jxtext::Utf8ToUtf16(name + ".zip")))
                chosen = log;
        }
    } else if (!logs.empty()) {
        chosen = logs.front();
    }
    if (chosen.empty()) {
        std::fprintf(stderr, "jxmachine: %s%s in %s\n", name.empty() ? "no setup log" : "no setup log named ",
                     name.c_str(), folder.c_str());
        return 1;
    }
    std::string xml;
    if (!ReadLog(chosen, xml) || !PrintLog(xml, warningsOnly)) {
        std::fprintf(stderr, "jxmachine: %s is no readable setup log\n", chosen.c_str());
        return 1;
    }
    return 0;
}

jxtools::JxMachineCommand
    g_Log("log",
          "log [NAME] [--warnings]  print the newest setup log (or the one named NAME, a file of the logs\n"
          "                           folder or a host path) one entry a line: time, level, context, text;\n"
          "                           --warnings keeps only the warnings and errors\n"
          "  log --list               list the setup logs, newest first",
          PrintSetupLog, 0, 2);

} // namespace

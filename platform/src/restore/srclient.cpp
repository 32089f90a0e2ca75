// The stand-in's System Restore client: restore points recorded in "restorepoints.jsonl" below the
// machine root, one JSON line per change (begin, end, remove), shared by every process of the
// machine under an advisory lock. The library exists only where machine.json switches the restore
// service on; "faults.systemRestore" makes the begin or the end fail as a disabled service does.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/srrestoreptapi.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "kernel/modules.h"

using nlohmann::json;

namespace jxplat {
namespace {

const char* const kRecordFile = "restorepoints.jsonl";

// The record file, open and locked for one call.
class CRestoreRecord {
public:
    explicit CRestoreRecord(bool create) {
        m_fd = ::open(MachinePath(kRecordFile).c_str(),
                      (create ? O_CREAT : 0) | O_RDWR | O_APPEND | O_CLOEXEC, 0644);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~CRestoreRecord() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    CRestoreRecord(const CRestoreRecord&) = delete;
    CRestoreRecord& operator=(const CRestoreRecord&) = delete;

    bool IsOpen() const { return m_fd >= 0; }

    // The points as the lines so far leave them, by sequence number.
    std::map<LONGLONG, RestorePointRecord> Points() const {
        std::map<LONGLONG, RestorePointRecord> points;
        std::string content;
        char buffer[4096];
        ssize_t got = 0;
        for (off_t at = 0; (got = ::pread(m_fd, buffer, sizeof(buffer), at)) > 0; at += got)
            content.append(buffer, static_cast<size_t>(got));
        std::istringstream lines(content);
        std::string line;
        while (std::getline(lines, line)) {
            const json entry = json::parse(line, nullptr, false);
            if (!entry.is_object() || !entry.contains("sequence") || !entry.contains("event"))
                continue;
            const LONGLONG sequence = entry["sequence"].get<LONGLONG>();
            const std::string event = entry["event"].get<std::string>();
            RestorePointRecord& point = points[sequence];
            point.sequence = sequence;
            if (event == "begin") {
                point.description = jxtext::Utf8ToUtf16(entry.value("description", std::string()));
                point.state = "open";
            } else if (event == "end") {
                point.state = entry.value("type", 0) == CANCELLED_OPERATION ? "cancelled" : "kept";
            } else if (event == "remove") {
                point.state = "removed";
            }
        }
        return points;
    }

    bool Append(const json& entry) const {
        const std::string line = entry.dump() + "\n";
        return ::write(m_fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    }

private:
    int m_fd = -1;
};

BOOL _sr_Fail(PSTATEMGRSTATUS status, DWORD error) {
    if (status)
        status->nStatus = error;
    SetLastError(error);
    return FALSE;
}

BOOL WINAPI _sr_SetRestorePointW(PRESTOREPOINTINFOW request, PSTATEMGRSTATUS status) {
    if (!request || !status)
        return _sr_Fail(status, ERROR_INVALID_PARAMETER);
    status->llSequenceNumber = 0;
    const std::string& fault = Machine().faultSystemRestore;
    const bool begin = request->dwEventType == BEGIN_SYSTEM_CHANGE;
    if (!begin && request->dwEventType != END_SYSTEM_CHANGE)
        return _sr_Fail(status, ERROR_INVALID_DATA);
    if ((begin && fault == "begin") || (!begin && fault == "end"))
        return _sr_Fail(status, ERROR_SERVICE_DISABLED);
    CRestoreRecord record(true);
    if (!record.IsOpen())
        return _sr_Fail(status, ERROR_GEN_FAILURE);
    const std::map<LONGLONG, RestorePointRecord> points = record.Points();
    if (begin) {
        const LONGLONG sequence = points.empty() ? 1 : points.rbegin()->first + 1;
        size_t length = 0;
        while (length < MAX_DESC_W && request->szDescription[length])
            ++length;
        if (length == MAX_DESC_W) // no terminator inside the record
            return _sr_Fail(status, ERROR_INVALID_DATA);
        const json entry = {{"event", "begin"},
                            {"sequence", sequence},
                            {"type", request->dwRestorePtType},
                            {"description", jxtext::Utf16ToUtf8({request->szDescription, length})}};
        if (!record.Append(entry))
            return _sr_Fail(status, ERROR_GEN_FAILURE);
        status->nStatus = ERROR_SUCCESS;
        status->llSequenceNumber = sequence;
        return TRUE;
    }
    const auto found = points.find(request->llSequenceNumber);
    if (found == points.end() || found->second.state != "open")
        return _sr_Fail(status, ERROR_INVALID_DATA);
    const json entry = {
        {"event", "end"}, {"sequence", request->llSequenceNumber}, {"type", request->dwRestorePtType}};
    if (!record.Append(entry))
        return _sr_Fail(status, ERROR_GEN_FAILURE);
    status->nStatus = ERROR_SUCCESS;
    status->llSequenceNumber = request->llSequenceNumber;
    return TRUE;
}

DWORD WINAPI _sr_RemoveRestorePoint(DWORD sequence) {
    CRestoreRecord record(true);
    if (!record.IsOpen())
        return ERROR_GEN_FAILURE;
    const std::map<LONGLONG, RestorePointRecord> points = record.Points();
    const auto found = points.find(sequence);
    if (found == points.end() || found->second.state == "removed" || found->second.state == "cancelled")
        return ERROR_INVALID_DATA;
    return record.Append({{"event", "remove"}, {"sequence", sequence}}) ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}

} // namespace

FARPROC FindSrClientExport(const char* name) {
    const std::string export_(name);
    if (export_ == "SRSetRestorePointW")
        return reinterpret_cast<FARPROC>(&_sr_SetRestorePointW);
    if (export_ == "SRRemoveRestorePoint")
        return reinterpret_cast<FARPROC>(&_sr_RemoveRestorePoint);
    return nullptr;
}

std::vector<RestorePointRecord> ReadRestorePoints() {
    std::vector<RestorePointRecord> all;
    CRestoreRecord record(false);
    if (!record.IsOpen())
        return all;
    for (auto& [sequence, point] : record.Points())
        all.push_back(std::move(point));
    return all;
}

} // namespace jxplat

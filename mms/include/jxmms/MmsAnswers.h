// What the setup reads out of the management server's answers.
#pragma once

#include <string>
#include <vector>

#include "mmslocalconfig.pb.h"

namespace JxSetup::Data {

// The SQL connection results: 1 Running, 2 Success, 3 Error, 4 UnsupportedDb, 5 InvalidRights,
// 6 ConnectionFailed.
inline constexpr int kSqlResultRunning = 1;
inline constexpr int kSqlResultSuccess = 2;
inline constexpr int kSqlResultError = 3;

// The word of a result as the log writes it; "Error" for any other value.
const char16_t* SqlResultText(int code);

// One entry per instance: the machine alone for the default instance "MSSQLSERVER" (ignoring
// case), else the machine, a backslash and the instance; a machine without instances adds nothing.
std::vector<std::u16string> SqlInstancesOfAnswer(
    const Tolvane::Corvata::Business::Server::Service::Protobuf::SqlServerInstancesResp& answer);

std::vector<std::u16string> SqlDatabasesOfAnswer(
    const Tolvane::Corvata::Business::Server::Service::Protobuf::SqlServerDatabasesResp& answer);

// The result of opening a database: an answer without a ReturnValueMsg counts as 1 (Running); a
// ReturnValueMsg whose code is not one of the known values (the runtime keeps such a value aside
// and leaves the code unset) is 3 (Error).
int SqlResultOfAnswer(const Tolvane::Corvata::Business::Server::Service::Protobuf::OpenDatabaseResp& answer);

} // namespace JxSetup::Data

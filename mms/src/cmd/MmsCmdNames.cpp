#include "jxmms/MmsCmdNames.h"

const char* MmsHttpMethodName(int method) {
    static const char* const kNames[] = {"Delete", "Get", "Head", "Options", "Post", "Put", "Trace"};
    return method >= 1 && method <= 7 ? kNames[method - 1] : "Unknown";
}

const char* MmsHostRoleName(int role) {
    static const char* const kNames[] = {"Main", "Secondary", "Sub", "Peer", "MainOrSecondary", "AnyMain"};
    return role >= 0 && role <= 5 ? kNames[role] : "<unknown>";
}

const char* MmsTransportName(int transport) {
    return transport == 0 ? "Socket" : transport == 1 ? "Http" : "<unknown>";
}

// Names of the command channel's enumerations as its traces print them.
#pragma once

// "Delete", "Get", "Head", "Options", "Post", "Put", "Trace"; "Unknown" for anything else.
const char* MmsHttpMethodName(int method);
// "Main", "Secondary", "Sub", "Peer", "MainOrSecondary", "AnyMain"; "<unknown>" for anything else.
const char* MmsHostRoleName(int role);
// "Socket", "Http"; "<unknown>" for anything else.
const char* MmsTransportName(int transport);

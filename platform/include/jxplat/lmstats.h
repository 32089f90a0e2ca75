// The workstation service's statistics (NetStatisticsGet, level 0 only). The workstation service
// runs when HKLM\SYSTEM\CurrentControlSet\Services\LanmanWorkstation exists and its "Start" is
// not 4 (disabled); its start time is the machine's boot time ("boot.time" below the machine root,
// made on first use and renewed by each restart of the machine).
#pragma once

#include "jxplat/fileapi.h"
#include "jxplat/wintypes.h"

typedef DWORD NET_API_STATUS;
#define NERR_Success 0
#define SERVICE_WORKSTATION u"LanmanWorkstation"
#define SERVICE_SERVER u"LanmanServer"
#define NERR_ServiceNotInstalled 2184
#define NERR_WkstaNotStarted 2138

typedef struct _STAT_WORKSTATION_0 {
    LARGE_INTEGER StatisticsStartTime;
    LARGE_INTEGER BytesReceived;
    LARGE_INTEGER SmbsReceived;
    LARGE_INTEGER PagingReadBytesRequested;
    LARGE_INTEGER NonPagingReadBytesRequested;
    LARGE_INTEGER CacheReadBytesRequested;
    LARGE_INTEGER NetworkReadBytesRequested;
    LARGE_INTEGER BytesTransmitted;
    LARGE_INTEGER SmbsTransmitted;
    LARGE_INTEGER PagingWriteBytesRequested;
    LARGE_INTEGER NonPagingWriteBytesRequested;
    LARGE_INTEGER CacheWriteBytesRequested;
    LARGE_INTEGER NetworkWriteBytesRequested;
    DWORD InitiallyFailedOperations;
    DWORD FailedCompletionOperations;
    DWORD ReadOperations;
    DWORD RandomReadOperations;
    DWORD ReadSmbs;
    DWORD LargeReadSmbs;
    DWORD SmallReadSmbs;
    DWORD WriteOperations;
    DWORD RandomWriteOperations;
    DWORD WriteSmbs;
    DWORD LargeWriteSmbs;
    DWORD SmallWriteSmbs;
    DWORD RawReadsDenied;
    DWORD RawWritesDenied;
    DWORD NetworkErrors;
    DWORD Sessions;
    DWORD FailedSessions;
    DWORD Reconnects;
    DWORD CoreConnects;
    DWORD Lanman20Connects;
    DWORD Lanman21Connects;
    DWORD LanmanNtConnects;
    DWORD ServerDisconnects;
    DWORD HungSessions;
    DWORD UseCount;
    DWORD FailedUseCount;
    DWORD CurrentCommands;
} STAT_WORKSTATION_0, *PSTAT_WORKSTATION_0, *LPSTAT_WORKSTATION_0;

NET_API_STATUS NetStatisticsGet(LPWSTR serverName, LPWSTR service, DWORD level, DWORD options,
                                LPBYTE* buffer);
NET_API_STATUS NetApiBufferFree(LPVOID buffer);

// The DNS client of Windows (DnsQuery_W, DnsFree) as far as the engine calls it: A records of a
// name, the cache bypassed. The records keep the Windows field order. On this machine a query goes
// to the machine description's DNS server ("dnsServer", loopback only) or, without one, is answered
// from its hostNames.
#pragma once

#include "jxplat/wintypes.h"

typedef LONG DNS_STATUS;
typedef DWORD IP4_ADDRESS;

#define DNS_TYPE_A 0x0001
#define DNS_TYPE_CNAME 0x0005
#define DNS_QUERY_STANDARD 0x00000000
#define DNS_QUERY_BYPASS_CACHE 0x00000008

#define DNS_ERROR_RCODE_FORMAT_ERROR 9001L
#define DNS_ERROR_RCODE_SERVER_FAILURE 9002L
#define DNS_ERROR_RCODE_NAME_ERROR 9003L
#define DNS_ERROR_RCODE_NOT_IMPLEMENTED 9004L
#define DNS_ERROR_RCODE_REFUSED 9005L
#define DNS_INFO_NO_RECORDS 9501L
#define DNS_ERROR_BAD_PACKET 9502L

typedef enum _DnsSection {
    DnsSectionQuestion = 0,
    DnsSectionAnswer,
    DnsSectionAuthority,
    DnsSectionAddtional
} DNS_SECTION;
typedef enum { DnsFreeFlat = 0, DnsFreeRecordList, DnsFreeParsedMessageFields } DNS_FREE_TYPE;

typedef struct _DnsRecordFlags {
    DWORD Section : 2;
    DWORD Delete : 1;
    DWORD CharSet : 2;
    DWORD Unused : 3;
    DWORD Reserved : 24;
} DNS_RECORD_FLAGS;

typedef struct {
    IP4_ADDRESS IpAddress; // network byte order
} DNS_A_DATA;

typedef struct {
    WCHAR* pNameHost;
} DNS_PTR_DATAW;

typedef struct _DnsRecordW {
    struct _DnsRecordW* pNext;
    WCHAR* pName;
    WORD wType;
    WORD wDataLength;
    union {
        DWORD DW;
        DNS_RECORD_FLAGS S;
    } Flags;
    DWORD dwTtl;
    DWORD dwReserved;
    union {
        DNS_A_DATA A;
        DNS_PTR_DATAW CNAME;
    } Data;
} DNS_RECORDW, *PDNS_RECORDW;

typedef DNS_RECORDW DNS_RECORD;
typedef PDNS_RECORDW PDNS_RECORD;

DNS_STATUS DnsQuery_W(const WCHAR* name, WORD type, DWORD options, void* extra, PDNS_RECORD* results,
                      void** reserved);
void DnsFree(void* data, DNS_FREE_TYPE freeType);

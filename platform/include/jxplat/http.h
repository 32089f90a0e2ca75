// The HTTP Server API's configuration calls as far as the engine calls them: enumerating the URL
// reservations of HTTP.sys. The reservations live where Windows keeps them, as values of
// HKLM\SYSTEM\CurrentControlSet\Services\HTTP\Parameters\UrlAclInfo: the value name is the URL
// prefix ("https://+:8443/app/"), its REG_SZ data the security descriptor in SDDL.
#pragma once

#include "jxplat/wintypes.h"
#include "jxplat/winerror.h"
#include "jxplat/fileapi.h"

typedef struct _HTTPAPI_VERSION {
    USHORT HttpApiMajorVersion;
    USHORT HttpApiMinorVersion;
} HTTPAPI_VERSION, *PHTTPAPI_VERSION;

#define HTTPAPI_VERSION_1                                                                                    \
    { 1, 0 }

#define HTTP_INITIALIZE_SERVER 0x00000001
#define HTTP_INITIALIZE_CONFIG 0x00000002

typedef enum _HTTP_SERVICE_CONFIG_ID {
    HttpServiceConfigIPListenList = 0,
    HttpServiceConfigSSLCertInfo = 1,
    HttpServiceConfigUrlAclInfo = 2,
    HttpServiceConfigTimeout = 3,
    HttpServiceConfigCache = 4,
} HTTP_SERVICE_CONFIG_ID;

typedef enum _HTTP_SERVICE_CONFIG_QUERY_TYPE {
    HttpServiceConfigQueryExact = 0,
    HttpServiceConfigQueryNext = 1,
    HttpServiceConfigQueryMax = 2,
} HTTP_SERVICE_CONFIG_QUERY_TYPE;

typedef struct _HTTP_SERVICE_CONFIG_URLACL_KEY {
    PWSTR pUrlPrefix;
} HTTP_SERVICE_CONFIG_URLACL_KEY;

typedef struct _HTTP_SERVICE_CONFIG_URLACL_PARAM {
    PWSTR pStringSecurityDescriptor;
} HTTP_SERVICE_CONFIG_URLACL_PARAM;

typedef struct _HTTP_SERVICE_CONFIG_URLACL_SET {
    HTTP_SERVICE_CONFIG_URLACL_KEY KeyDesc;
    HTTP_SERVICE_CONFIG_URLACL_PARAM ParamDesc;
} HTTP_SERVICE_CONFIG_URLACL_SET, *PHTTP_SERVICE_CONFIG_URLACL_SET;

typedef struct _HTTP_SERVICE_CONFIG_URLACL_QUERY {
    HTTP_SERVICE_CONFIG_QUERY_TYPE QueryDesc;
    HTTP_SERVICE_CONFIG_URLACL_KEY KeyDesc;
    DWORD dwToken;
} HTTP_SERVICE_CONFIG_URLACL_QUERY, *PHTTP_SERVICE_CONFIG_URLACL_QUERY;

// Initialise and end configuration access (HTTP_INITIALIZE_CONFIG); other flags and versions other
// than 1.0 or 2.0 are ERROR_INVALID_PARAMETER. Results are Win32 codes, the last error is not set.
ULONG HttpInitialize(HTTPAPI_VERSION version, ULONG flags, PVOID reserved);
ULONG HttpTerminate(ULONG flags, PVOID reserved);

// Only HttpServiceConfigUrlAclInfo with HttpServiceConfigQueryNext (the reservation at index
// dwToken, in the registry's value order) or HttpServiceConfigQueryExact (the reservation of
// KeyDesc.pUrlPrefix, ignoring case). The answer is an HTTP_SERVICE_CONFIG_URLACL_SET followed by
// its texts; a buffer too small gives ERROR_INSUFFICIENT_BUFFER with the size in *returnLength, a
// token past the last reservation ERROR_NO_MORE_ITEMS, a missing one ERROR_FILE_NOT_FOUND. Without
// HttpInitialize(HTTP_INITIALIZE_CONFIG) first the answer is ERROR_INVALID_HANDLE.
ULONG HttpQueryServiceConfiguration(HANDLE serviceHandle, HTTP_SERVICE_CONFIG_ID configId, PVOID input,
                                    ULONG inputLength, PVOID output, ULONG outputLength, ULONG* returnLength,
                                    LPOVERLAPPED overlapped);

// English texts of the WinInet module's messages (12001..12175).
#include <algorithm>
#include <iterator>

#include "kernel/messages.h"

namespace jxplat {
namespace {

struct CMessage {
    DWORD code;
    const char16_t* text;
};

// Sorted by code.
const CMessage kWinInetMessages[] = {
    {12001, u"No more handles could be generated at this time.\r\n"},
    {12002, u"The operation timed out\r\n"},
    {12003,
     u"An extended error was returned from the server. This is typically a string or buffer containing "
     u"a verbose error message. Call InternetGetLastResponseInfo to retrieve the error text.\r\n"},
    {12004, u"An internal error occurred in the Internet extensions.\r\n"},
    {12005, u"The URL is invalid.\r\n"},
    {12006, u"The URL does not use a recognized protocol\r\n"},
    {12007, u"The server name or address could not be resolved\r\n"},
    {12008, u"A protocol with the required capabilities was not found\r\n"},
    {12009, u"The option is invalid\r\n"},
    {12010, u"The length is incorrect for the option type\r\n"},
    {12011, u"The option value cannot be set\r\n"},
    {12012, u"Internet extension support has been shut down\r\n"},
    {12013, u"The user name was not allowed\r\n"},
    {12014, u"The password was not allowed\r\n"},
    {12015, u"The login request was denied\r\n"},
    {12016, u"The requested operation is invalid\r\n"},
    {12017, u"The operation has been canceled\r\n"},
    {12018, u"The supplied handle is the wrong type for the requested operation\r\n"},
    {12019, u"The handle is in the wrong state for the requested operation\r\n"},
    {12020, u"The request cannot be made on a Proxy session\r\n"},
    {12021, u"The registry value could not be found\r\n"},
    {12022, u"The registry parameter is incorrect\r\n"},
    {12023, u"Direct Internet access is not available\r\n"},
    {12024, u"No context value was supplied\r\n"},
    {12025, u"Status callbacks cannot be made for this request\r\n"},
    {12026, u"There are outstanding requests\r\n"},
    {12027, u"The format of the request is invalid\r\n"},
    {12028, u"The requested item could not be located\r\n"},
    {12029, u"A connection with the server could not be established\r\n"},
    {12030, u"The connection with the server was terminated abnormally\r\n"},
    {12031, u"The connection with the server was reset\r\n"},
    {12032, u"The action must be retried\r\n"},
    {12033, u"The proxy request is invalid\r\n"},
    {12034, u"User interaction is required to complete the operation\r\n"},
    {12036, u"The handle already exists\r\n"},
    {12037, u"The date in the certificate is invalid or has expired\r\n"},
    {12038, u"The host name in the certificate is invalid or does not match\r\n"},
    {12039, u"A redirect request will change a non-secure to a secure connection\r\n"},
    {12040, u"A redirect request will change a secure to a non-secure connection\r\n"},
    {12041, u"Mixed secure and non-secure connections\r\n"},
    {12042, u"Changing to non-secure post\r\n"},
    {12043, u"Data is being posted on a non-secure connection\r\n"},
    {12044, u"A certificate is required to complete client authentication\r\n"},
    {12045, u"The certificate authority is invalid or incorrect\r\n"},
    {12046, u"Client authentication has not been correctly installed\r\n"},
    {12047, u"An error has occurred in a Wininet asynchronous thread. You may need to restart\r\n"},
    {12048, u"The protocol scheme has changed during a redirect operation\r\n"},
    {12049, u"There are operations awaiting retry\r\n"},
    {12050, u"The operation must be retried\r\n"},
    {12051, u"There are no new cache containers\r\n"},
    {12052, u"A security zone check indicates the operation must be retried\r\n"},
    {12055, u"The SSL certificate contains errors.\r\n"},
    {12056, u"The SSL certificate was revoked.\r\n"},
    {12057, u"The revocation status of the certificate could not be checked.\r\n"},
    {12110, u"There is already an FTP request in progress on this session\r\n"},
    {12111, u"The FTP session was terminated\r\n"},
    {12150, u"The requested header was not found\r\n"},
    {12151, u"The server did not return any headers\r\n"},
    {12152, u"The server returned an invalid or unrecognized response\r\n"},
    {12153, u"The supplied HTTP header is invalid\r\n"},
    {12154, u"The request for a HTTP header is invalid\r\n"},
    {12155, u"The HTTP header already exists\r\n"},
    {12156, u"The HTTP redirect request failed\r\n"},
    {12157, u"An error occurred in the secure channel support\r\n"},
    {12158, u"The file could not be written to the cache\r\n"},
    {12159, u"The TCP/IP protocol is not installed properly\r\n"},
    {12160, u"The HTTP request was not redirected\r\n"},
    {12161, u"A cookie from the server must be confirmed by the user\r\n"},
    {12162, u"A cookie from the server has been declined acceptance\r\n"},
    {12163, u"The computer is disconnected from the network\r\n"},
    {12164, u"The server is unreachable\r\n"},
    {12165, u"The proxy server is unreachable\r\n"},
    {12166, u"The proxy auto-configuration script is in error\r\n"},
    {12167, u"Could not download the proxy auto-configuration script file\r\n"},
    {12168, u"The HTTP redirect request must be confirmed by the user\r\n"},
    {12169, u"The supplied certificate is invalid\r\n"},
    {12170, u"The supplied certificate has been revoked\r\n"},
    {12171, u"The Dialup failed because file sharing was turned on and a failure was requested if security "
            u"check was needed\r\n"},
    {12172, u"Initialization of the WinINet API has not occurred\r\n"},
    {12174, u"Login failed and the client should display the entity body to the user\r\n"},
    {12175, u"A security error occurred\r\n"},
};

} // namespace

const char16_t* FindWinInetMessage(DWORD code) {
    auto end = std::end(kWinInetMessages);
    auto found = std::lower_bound(std::begin(kWinInetMessages), end, code,
                                  [](const CMessage& entry, DWORD value) { return entry.code < value; });
    return found != end && found->code == code ? found->text : nullptr;
}

} // namespace jxplat

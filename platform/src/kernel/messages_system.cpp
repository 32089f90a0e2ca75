// English texts of the system messages the engine reports.
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
const CMessage kSystemMessages[] = {
    {0, u"The operation completed successfully.\r\n"},
    {1, u"Incorrect function.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {4, u"The system cannot open the file.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {11, u"An attempt was made to load a program with an incorrect format.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {14, u"Not enough memory resources are available to complete this operation.\r\n"},
    {18, u"There are no more files.\r\n"},
    {19, u"The media is write protected.\r\n"},
    {21, u"The device is not ready.\r\n"},
    {23, u"Data error (cyclic redundancy check).\r\n"},
    {24, u"The program issued a command but the command length is incorrect.\r\n"},
    {29, u"The system cannot write to the specified device.\r\n"},
    {31, u"A device attached to the system is not functioning.\r\n"},
    {32, u"The process cannot access the file because it is being used by another process.\r\n"},
    {33, u"The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {38, u"Reached the end of the file.\r\n"},
    {50, u"The request is not supported.\r\n"},
    {53, u"The network path was not found.\r\n"},
    {80, u"The file exists.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {109, u"The pipe has been ended.\r\n"},
    {111, u"The file name is too long.\r\n"},
    {112, u"There is not enough space on the disk.\r\n"},
    {120, u"This function is not supported on this system.\r\n"},
    {121, u"The semaphore timeout period has expired.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {123, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {124, u"The system call level is not correct.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {127, u"The specified procedure could not be found.\r\n"},
    {145, u"The directory is not empty.\r\n"},
    {161, u"The specified path is invalid.\r\n"},
    {170, u"The requested resource is in use.\r\n"},
    {183, u"Cannot create a file when that file already exists.\r\n"},
    {193, u"%1 is not a valid Win32 application.\r\n"},
    {203, u"The system could not find the environment option that was entered.\r\n"},
    {206, u"The filename or extension is too long.\r\n"},
    {232, u"The pipe is being closed.\r\n"},
    {234, u"More data is available.\r\n"},
    {258, u"The wait operation timed out.\r\n"},
    {259, u"No more data is available.\r\n"},
    {267, u"The directory name is invalid.\r\n"},
    {288, u"Attempt to release mutex not owned by caller.\r\n"},
    {299, u"Only part of a ReadProcessMemory or WriteProcessMemory request was completed.\r\n"},
    {317, u"The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {487, u"Attempt to access invalid address.\r\n"},
    {534, u"Arithmetic result exceeded 32 bits.\r\n"},
    {740, u"The requested operation requires elevation.\r\n"},
    {995,
     u"The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},
    {997, u"Overlapped I/O operation is in progress.\r\n"},
    {998, u"Invalid access to memory location.\r\n"},
    {1004, u"Invalid flags.\r\n"},
    {1006,
     u"The volume for a file has been externally altered so that the opened file is no longer valid.\r\n"},
    {1008, u"An attempt was made to reference a token that does not exist.\r\n"},
    {1009, u"The configuration registry database is corrupt.\r\n"},
    {1010, u"The configuration registry key is invalid.\r\n"},
    {1011, u"The configuration registry key could not be opened.\r\n"},
    {1012, u"The configuration registry key could not be read.\r\n"},
    {1013, u"The configuration registry key could not be written.\r\n"},
    {1014,
     u"One of the files in the registry database had to be recovered by use of a log or alternate copy. "
     u"The recovery was successful.\r\n"},
    {1015, u"The registry is corrupted. The structure of one of the files containing registry data is "
           u"corrupted, or the system's memory image of the file is corrupted, or the file could not be "
           u"recovered because the alternate copy or log was absent or corrupted.\r\n"},
    {1016,
     u"An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, "
     u"or write out, or flush, one of the files that contain the system's image of the registry.\r\n"},
    {1017, u"The system has attempted to load or restore a file into the registry, but the specified file is "
           u"not in a registry file format.\r\n"},
    {1018, u"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1021, u"Cannot create a stable subkey under a volatile parent key.\r\n"},
    {1051, u"A stop control has been sent to a service that other running services are dependent on.\r\n"},
    {1052, u"The requested control is not valid for this service.\r\n"},
    {1053, u"The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1054, u"A thread could not be created for the service.\r\n"},
    {1055, u"The service database is locked.\r\n"},
    {1056, u"An instance of the service is already running.\r\n"},
    {1057, u"The account name is invalid or does not exist, or the password is invalid for the account name "
           u"specified.\r\n"},
    {1058, u"The service cannot be started, either because it is disabled or because it has no enabled "
           u"devices associated with it.\r\n"},
    {1059, u"Circular service dependency was specified.\r\n"},
    {1060, u"The specified service does not exist as an installed service.\r\n"},
    {1061, u"The service cannot accept control messages at this time.\r\n"},
    {1062, u"The service has not been started.\r\n"},
    {1065, u"The database specified does not exist.\r\n"},
    {1067, u"The process terminated unexpectedly.\r\n"},
    {1068, u"The dependency service or group failed to start.\r\n"},
    {1069, u"The service did not start due to a logon failure.\r\n"},
    {1071, u"The specified service database lock is invalid.\r\n"},
    {1072, u"The specified service has been marked for deletion.\r\n"},
    {1073, u"The specified service already exists.\r\n"},
    {1075, u"The dependency service does not exist or has been marked for deletion.\r\n"},
    {1077, u"No attempts to start the service have been made since the last boot.\r\n"},
    {1078, u"The name is already in use as either a service name or a service display name.\r\n"},
    {1113, u"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {1114, u"A dynamic link library (DLL) initialization routine failed.\r\n"},
    {1115, u"A system shutdown is in progress.\r\n"},
    {1155, u"No application is associated with the specified file for this operation.\r\n"},
    {1168, u"Element not found.\r\n"},
    {1223, u"The operation was canceled by the user.\r\n"},
    {1300, u"Not all privileges or groups referenced are assigned to the caller.\r\n"},
    {1305, u"The revision level is unknown.\r\n"},
    {1306, u"Indicates two revision levels are incompatible.\r\n"},
    {1307, u"This security ID may not be assigned as the owner of this object.\r\n"},
    {1309, u"An attempt has been made to operate on an impersonation token by a thread that is not currently "
           u"impersonating a client.\r\n"},
    {1312, u"A specified logon session does not exist. It may already have been terminated.\r\n"},
    {1313, u"A specified privilege does not exist.\r\n"},
    {1314, u"A required privilege is not held by the client.\r\n"},
    {1332, u"No mapping between account names and security IDs was done.\r\n"},
    {1336, u"The access control list (ACL) structure is invalid.\r\n"},
    {1337, u"The security ID structure is invalid.\r\n"},
    {1338, u"The security descriptor structure is invalid.\r\n"},
    {1344, u"No more memory is available for security information updates.\r\n"},
    {1361, u"Indicates a security descriptor is not in the required format (absolute or self-relative).\r\n"},
    {1400, u"Invalid window handle.\r\n"},
    {1444, u"Invalid thread identifier.\r\n"},
    {1460, u"This operation returned because the timeout period expired.\r\n"},
    {1602, u"User cancelled installation.\r\n"},
    {1603, u"Fatal error during installation.\r\n"},
    {1641, u"The requested operation completed successfully. The system will be restarted so the changes can "
           u"take effect.\r\n"},
    {1722, u"The RPC server is unavailable.\r\n"},
    {1726, u"The remote procedure call failed.\r\n"},
    {1780, u"A null reference pointer was passed to the stub.\r\n"},
    {1812, u"The specified image file did not contain a resource section.\r\n"},
    {1813, u"The specified resource type cannot be found in the image file.\r\n"},
    {1814, u"The specified resource name cannot be found in the image file.\r\n"},
    {1815, u"The specified resource language ID cannot be found in the image file.\r\n"},
    {3010, u"The requested operation is successful. Changes will not be effective until the system is "
           u"rebooted.\r\n"},
    {10004, u"A blocking operation was interrupted by a call to WSACancelBlockingCall.\r\n"},
    {10014, u"The system detected an invalid pointer address in attempting to use a pointer argument in a "
            u"call.\r\n"},
    {10022, u"An invalid argument was supplied.\r\n"},
    {10035, u"A non-blocking socket operation could not be completed immediately.\r\n"},
    {10036, u"A blocking operation is currently executing.\r\n"},
    {10038, u"An operation was attempted on something that is not a socket.\r\n"},
    {10047, u"An address incompatible with the requested protocol was used.\r\n"},
    {10049, u"The requested address is not valid in its context.\r\n"},
    {10051, u"A socket operation was attempted to an unreachable network.\r\n"},
    {10053, u"An established connection was aborted by the software in your host machine.\r\n"},
    {10054, u"An existing connection was forcibly closed by the remote host.\r\n"},
    {10055, u"An operation on a socket could not be performed because the system lacked sufficient buffer "
            u"space or because a queue was full.\r\n"},
    {10057, u"A request to send or receive data was disallowed because the socket is not connected and (when "
            u"sending on a datagram socket using a sendto call) no address was supplied.\r\n"},
    {10060,
     u"A connection attempt failed because the connected party did not properly respond after a period "
     u"of time, or established connection failed because connected host has failed to respond.\r\n"},
    {10061, u"No connection could be made because the target machine actively refused it.\r\n"},
    {10065, u"A socket operation was attempted to an unreachable host.\r\n"},
    {10091,
     u"WSAStartup cannot function at this time because the underlying system it uses to provide network "
     u"services is currently unavailable.\r\n"},
    {10092, u"The Windows Sockets version requested is not supported.\r\n"},
    {10093, u"Either the application has not called WSAStartup, or WSAStartup failed.\r\n"},
    {10109, u"The specified class was not found.\r\n"},
    {11001, u"No such host is known.\r\n"},
    {11003, u"A non-recoverable error occurred during a database lookup.\r\n"},
    {15100, u"The resource loader failed to find MUI file.\r\n"},
    {0x80004001, u"Not implemented\r\n"},
    {0x80004002, u"No such interface supported\r\n"},
    {0x80004003, u"Invalid pointer\r\n"},
    {0x80004004, u"Operation aborted\r\n"},
    {0x80004005, u"Unspecified error\r\n"},
    {0x8000FFFF, u"Catastrophic failure\r\n"},
    {0x800401F0, u"CoInitialize has not been called.\r\n"},
};

const char16_t* _MsgFind(const CMessage* begin, const CMessage* end, DWORD code) {
    const CMessage* found = std::lower_bound(
        begin, end, code, [](const CMessage& entry, DWORD value) { return entry.code < value; });
    return found != end && found->code == code ? found->text : nullptr;
}

} // namespace

const char16_t* FindSystemMessage(DWORD code) {
    if ((code & 0xFFFF0000u) == 0x80070000u) // HRESULT_FROM_WIN32
        code &= 0xFFFFu;
    return _MsgFind(std::begin(kSystemMessages), std::end(kSystemMessages), code);
}

} // namespace jxplat

// Access keys of the management server and the registry helpers of the maker's key.
//
// A party logs on to the management server with its access key. The machine keeps one key per kind
// of party, scrambled, as values of HKLM "SOFTWARE\TOLVANE\Qrv ManagementServer\Restricted", a key
// whose access list names only the administrators, the creator-owner and the system. On 64-bit
// Windows a key is written into both registry views and read from the process's own view.
//
// Every single registry read, write and creation of the restricted key holds the product-key lock,
// which the command channel's own registry code takes too. The helpers hold no other state.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include <windows.h>

// The kind of a stored access key; the same number as the authentication subject of a token
// request: 1 client, 2 exchange, 3-5 the management-server roles (one shared value), 100 the
// setup's own logon, -1 the current authentication subject.
using MmsAccessKeyType = int;

// The process-wide authentication subject of the command channel; 0 until its client sets it.
extern std::atomic<int> MmsAuthSubject;

// The one lock of the maker's management-server values (recursive: a creation and the write that
// follows may nest on one thread).
std::recursive_mutex& MmsProductKeyLock();

// The value name of a kind ("IncomingAccessKey", ...), empty for a kind that has none.
std::u16string GetAccessKeyValueName(MmsAccessKeyType kind);
// The stored key of a kind, unscrambled; empty when there is none.
std::u16string ReadAccessKey(MmsAccessKeyType kind);
// ReadAccessKey of the kind written in decimal in the text; empty text, or a text that is not
// wholly a decimal number, reads nothing and gives empty text.
std::u16string ReadAccessKeyForSubject(const std::u16string& subject);
// Stores the key scrambled: into the 32-bit view, and on 64-bit Windows into the 64-bit view
// first (a refused 64-bit write leaves the 32-bit view alone). True when every write succeeded.
bool WriteAccessKey(const std::u16string& key, MmsAccessKeyType kind);
// WriteAccessKey with the kind written in decimal in the text; false, writing nothing, when the
// text is not wholly a decimal number.
bool WriteAccessKeyForSubject(const std::u16string& key, const std::u16string& subject);
// The kind written in the text: an optional "-" and decimal digits, nothing else, within int.
bool ParseAccessKeySubject(const std::u16string& subject, MmsAccessKeyType& kind);

// "SOFTWARE\TOLVANE", or that and "\" + the sub-key.
std::u16string GetMakerKeyPath(const std::u16string& subKey);
// A REG_SZ value below GetMakerKeyPath(subKey) in HKLM; the default when the key or a text value
// is missing, the value is of another type, holds at most one byte or is longer than 2048 bytes.
// A value written without its terminating zero reads in full.
std::u16string ReadProductRegistryString(const std::u16string& subKey, const std::u16string& valueName,
                                         const std::u16string& defaultValue, REGSAM view);
bool WriteProductRegistryString(const std::u16string& subKey, const std::u16string& valueName,
                                const std::u16string& text, REGSAM view);
std::u16string ReadRestrictedValue(const std::u16string& valueName, const std::u16string& defaultValue,
                                   REGSAM view);
bool WriteRestrictedValue(const std::u16string& valueName, const std::u16string& text, REGSAM view);
// Creates the key with the restricted access list, or puts that list on the existing key.
bool CreateRestrictedKey(const std::u16string& subKey, REGSAM view);
// "PROCESSOR_ARCHITECTURE" of the system environment contains "64".
bool IsProcessorArchitecture64();

// The sub-key of the restricted values below the maker's key.
inline constexpr char16_t kMmsRestrictedSubKey[] = u"Qrv ManagementServer\\Restricted";

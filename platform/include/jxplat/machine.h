// The stand-in machine: a folder (the machine root) that holds the drives, the registry, the
// traces and the description of the Windows machine the engine believes it runs on.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "jxplat/wintypes.h"

namespace jxplat {

struct MessageBoxAnswer {
    std::string textContains; // matched against the box text (UTF-8, case-sensitive); empty matches all
    std::string captionContains;
    int answer = 0; // IDOK=1, IDCANCEL=2, IDYES=6, IDNO=7, ...
};

struct MachineUser {
    std::string name = "Tester";
    std::string sid = "S-1-5-21-3623811015-3361044348-30300820-1001";
    bool administrator = true;
    bool elevated = true;
    bool uac = true;
};

// A terminal-services session of the machine (WTSEnumerateSessionsW).
struct MachineSession {
    DWORD id = 1;
    std::string state = "active"; // active, connected, disconnected, idle, listen, down
    std::string winStation = "Console";
    std::string user;              // logged-on user; "" in an active session is user.name
    bool environmentFault = false; // CreateEnvironmentBlock of its user fails
};

// A file the machine trusts as signed: the stand-in's answer for a program that cannot carry an
// embedded signature (the engine is an ELF file here).
struct MachineTrustedFile {
    std::string sha256;       // SHA-256 of the whole file, hexadecimal (either case)
    std::string signer;       // the signer's display name
    bool sha256Signed = true; // its signature uses SHA-256
    std::string thumbprint;   // SHA-1 thumbprint of the signer's certificate, hexadecimal; "" for none
};

// A DOS device name and the NT device it stands for (QueryDosDeviceW, FilterGetDosName).
struct MachineDosDevice {
    std::string name;   // "C:"
    std::string target; // "\\Device\\HarddiskVolume2"
};

// A name the machine's resolver answers, with its addresses in the resolver's order. Only loopback
// addresses are allowed: the stand-in's network never leaves the host.
struct MachineHostName {
    std::string name;
    std::vector<std::string> addresses;
};

// A well-known port of the loopback network that a server of the tests stands in for: a
// connection to a loopback address at `port` reaches port `to` instead.
struct MachinePortForward {
    uint16_t port = 0;
    uint16_t to = 0;
};

// A network adapter of the machine (GetAdaptersAddresses). A physical adapter is also a present
// device of the network class with location information (SetupAPI); a virtual one is not.
struct MachineNetworkAdapter {
    std::string name;        // the adapter's name (its GUID text on Windows)
    std::string description; // the device description
    bool physical = false;
    bool up = true;
    std::vector<std::string> addresses; // unicast addresses as texts ("192.168.1.5", "fe80::1%3")
};

struct MachineDescription {
    DWORD windowsMajor = 10;
    DWORD windowsMinor = 0;
    DWORD windowsBuild = 19045;
    std::string servicePack; // "" on Windows 10
    std::string edition = "Professional";
    DWORD productType = 1; // VER_NT_WORKSTATION
    bool is64Bit = true;   // 64-bit Windows; the engine itself is a 32-bit program under WOW64
    std::string computerName = "JXTEST-PC";
    MachineUser user;
    DWORD language = 1033;          // user and system default UI language
    ULONGLONG totalMemoryBytes = 0; // physical memory; 0: the host's
    std::vector<MessageBoxAnswer> messageBoxAnswers;
    bool faultWsaStartup = false; // WSAStartup fails with WSASYSNOTREADY
    bool faultEventLog = false;   // RegisterEventSourceW fails with ERROR_ACCESS_DENIED
    // A disk that fills: once this many bytes were written to files below the folder (every
    // process of the machine counted together), writes fail with ERROR_DISK_FULL.
    bool faultDiskFull = false;
    ULONGLONG faultDiskFullAfterBytes = 0;
    std::string faultDiskFullFolder; // a Windows folder; "" for every drive of the machine
    // A named point at which a program of the machine (a ".exe") ends at once, as if terminated:
    // "start", "filecopy" or "maintenancecopy"; "" for none.
    std::string faultKillAt;
    // The restore service of the machine: "SrClient.dll" is present and records restore points
    // (restorepoints.jsonl). Without it the library is missing, as on a server edition.
    bool systemRestore = false;
    // "begin" or "end": that call of SRSetRestorePointW fails as a disabled service does.
    std::string faultSystemRestore;
    // Session 0 of the services and the console session of the user.
    std::vector<MachineSession> sessions = {{0, "disconnected", "Services", "", false},
                                            {1, "active", "Console", "", false}};
    // Services whose every change (configuration, stop, deletion) the Service Control Manager
    // refuses with ERROR_ACCESS_DENIED, as for a protected anti-malware service.
    std::vector<std::string> refusedServiceChanges;
    // Own-process services whose start returns only once their program is ready (it wrote its
    // ready file), as a Windows service reports running only when it serves.
    std::vector<std::string> readyServices;
    std::vector<MachineTrustedFile> trustedFiles;
    // The NT devices behind the drive letters.
    std::vector<MachineDosDevice> dosDevices = {{"C:", "\\Device\\HarddiskVolume2"}};
    // How long a device I/O control waits for the driver's answer before it fails.
    DWORD deviceTimeoutMs = 30000;
    // The page script of the scripted GUI module of the tests (a host path, or relative to the
    // machine root); "" for none. The platform itself does not read it.
    std::string guiScript;
    std::vector<MachineHostName> hostNames;
    // The default is the host's loopback adapter alone.
    std::vector<MachineNetworkAdapter> networkAdapters = {{"{6A1A0E6B-0001-4C4F-4F50-4241434B0001}",
                                                           "Software Loopback Interface 1",
                                                           false,
                                                           true,
                                                           {"127.0.0.1", "::1"}}};
    // PEM files of the machine's trusted root certificates (host paths, or relative to the machine
    // root): what the HTTPS client's certificate check trusts.
    std::vector<std::string> trustedRootCertificates;
    std::vector<MachinePortForward> loopbackPorts;
    // The machine's DNS server for DnsQuery_W ("127.0.0.1:5353", loopback only); "" answers from
    // hostNames. dnsTimeoutMs: how long a query waits for its answer.
    std::string dnsServer;
    DWORD dnsTimeoutMs = 2000;
};

// Confined name resolution shared by the sockets and the HTTP client: the loopback addresses of a
// host name ("localhost", a literal loopback address, or a name of hostNames), in resolver order;
// empty when the name does not resolve on this machine.
std::vector<std::string> ResolveConfinedHost(const std::string& name);
// The port a connection to a loopback address at the port reaches (loopbackPorts).
uint16_t ForwardedLoopbackPort(uint16_t port);
// Whether an address text is a loopback address (127.0.0.0/8 or ::1).
bool IsLoopbackAddressText(const std::string& address);
// The PEM text of the machine's trusted root certificates (concatenated); "" when none is listed or
// a listed file cannot be read (that file is traced).
std::string TrustedRootCertificatesPem();

// The machine root's host path: JX_MACHINE_ROOT, or a default below the user's state folder.
// Created when missing, with machine.json written from the defaults.
const std::string& MachineRoot();
// Switches this process to another machine root (tests); drops every cached state of the old one.
void SetMachineRoot(const std::string& hostPath);
// Registers a function that drops a module's cached state when the machine root changes.
void AddMachineRootResetHook(std::function<void()> hook);

// The description of the current machine root, read from machine.json once per root. In a process
// started through the elevation prompt (JX_ELEVATED=1) the user is an elevated administrator.
// A machine.json with problems (see LoadMachineDescription) ends the process: each problem goes to
// stderr and the trace, and the exit code is 1.
const MachineDescription& Machine();
// Reads machine.json (the defaults when it is missing). A file that is not JSON, an unknown key or
// a value of the wrong type is a problem, named with its key's path ("user.elevatd"); the
// description then holds the defaults for whatever was not read.
MachineDescription LoadMachineDescription(const std::string& rootHostPath,
                                          std::vector<std::string>* problems = nullptr);
bool WriteMachineDescription(const std::string& rootHostPath, const MachineDescription& description);

// Host path of a file or folder below the machine root ("trace.log", "registry/HKLM.db").
std::string MachinePath(const std::string& relative);
bool EnsureHostDirectory(const std::string& hostPath);

// Windows path <-> host path. "C:\X" maps below <root>/drive_c with names matched ignoring case;
// "Z:\tmp\x" is the host path /tmp/x. Returns "" for a path that cannot be mapped.
std::string WindowsToHostPath(std::u16string_view windowsPath);
std::u16string HostToWindowsPath(const std::string& hostPath);

} // namespace jxplat

#pragma once
// The operating system of the simulated machine ("os" section): its version, whether it is 64-bit,
// whether programs run elevated, and the privileges of this process's token.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::os {

struct Version {
    uint32_t major = 10;
    uint32_t minor = 0;
    uint32_t build = 19045;
    uint32_t platformId = 2;
    uint16_t servicePackMajor = 0;
    uint16_t servicePackMinor = 0;
    uint16_t suiteMask = 0x0100;
    uint8_t productType = 1;
    std::string csdVersion;
};

Version CurrentVersion();
// A 64-bit Windows, with the 32-bit registry view beside the native one (default true).
bool Is64Bit();
// Programs run as an elevated administrator (default true). Without elevation, writes under
// HKEY_LOCAL_MACHINE and new "Global\" kernel objects are denied, and the token holds only a
// standard user's privileges.
bool Elevated();
// Whether Windows was started in safe mode (GetSystemMetrics(SM_CLEANBOOT) not 0).
bool SafeMode();
// The base name of the running program's file, as Windows reports it (with ".exe").
std::string ProgramBaseName();

// The process token. It belongs to this process (each process starts from the machine's list and
// its own changes are not persisted), as a Windows token does; the simulated services ask it
// whether a privilege they require is enabled.
struct TokenPrivilege {
    std::string name;
    uint32_t luid;
    bool enabled;
};

// The locally unique id of a privilege name (case-insensitive); nullopt for a name the system does
// not know.
std::optional<uint32_t> PrivilegeLuid(const std::string& name);
std::string PrivilegeName(uint32_t luid);
// The token's privileges: "privileges" of the "os" section when given, else the default set of an
// elevated administrator or of a standard user.
std::vector<TokenPrivilege> TokenPrivileges();
// nullopt when the token does not hold the privilege.
std::optional<bool> TokenPrivilegeEnabled(uint32_t luid);
// False when the token does not hold the privilege.
bool SetTokenPrivilegeEnabled(uint32_t luid, bool enabled);
// Takes the privilege out of the token for the rest of the process.
void RemoveTokenPrivilege(uint32_t luid);
bool PrivilegeEnabled(const std::string& name);
// Forgets this process's changes: the next use starts again from the machine.
void ResetToken();

} // namespace sim::os

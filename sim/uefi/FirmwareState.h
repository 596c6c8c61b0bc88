#pragma once
// The simulated firmware's own view of itself, for its sources only: the state behind the tables,
// the seam every service passes, and the conversions they share.
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/uefi/UefiSystemTable.h"
#include "platform/uefi/protocol/AcpiTable.h"
#include "platform/uefi/protocol/BlockIo.h"
#include "platform/uefi/protocol/ComponentName2.h"
#include "platform/uefi/protocol/DriverBinding.h"
#include "platform/uefi/protocol/DriverSupportedEfiVersion.h"
#include "platform/uefi/protocol/HiiConfigAccess.h"
#include "platform/uefi/protocol/PciIo.h"
#include "platform/uefi/protocol/PciRootBridgeIo.h"
#include "platform/uefi/protocol/RaidConfig.h"
#include "platform/uefi/protocol/ShellInterface.h"
#include "platform/uefi/protocol/ShellParameters.h"
#include "sim/uefi/Firmware.h"
#include "sim/uefi/HandleDatabase.h"
#include "sim/uefi/Pool.h"

namespace sim::uefi {

struct Event {
    uint32_t type = 0;
    EFI_TPL notifyTpl = 0;
    EFI_EVENT_NOTIFY notify = nullptr;
    void* context = nullptr;
    bool signalled = false;
    // The console input's key event: signalled while a key waits.
    bool keys = false;
};

struct TextOutput {
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL protocol{};
    SIMPLE_TEXT_OUTPUT_MODE mode{};
    uint32_t columns = 80;
    uint32_t rows = 25;
    std::vector<ConsoleCell> cells;
    std::function<void(std::u16string_view)> sink;
};

struct TextInput {
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL protocol{};
    std::deque<EFI_INPUT_KEY> keys;
    Event keyEvent;
    std::function<std::optional<EFI_INPUT_KEY>()> source;
};

struct ShellCommandLine {
    std::vector<std::u16string> texts;
    std::vector<CHAR16*> argv;
    EFI_SHELL_PARAMETERS_PROTOCOL parameters{};
    EFI_SHELL_INTERFACE interface {};
};

// One PCI function of the machine behind its PCI I/O protocol.
struct PciFunction {
    EFI_PCI_IO_PROTOCOL protocol{};
    EFI_HANDLE handle = nullptr;
    uint32_t segment = 0, bus = 0, device = 0, function = 0;
    // "bus:device.function", decimal: the selector of its calls.
    std::string location;
    std::vector<uint8_t> config;
    uint64_t attributes = 0;
    uint64_t supported = 0;
    // Its device path: the root bridge's ACPI node, its PCI node, the end node.
    std::vector<uint8_t> path;
};

// A block device the UEFI RAID driver made for a disk behind its controller.
struct RaidChild {
    EFI_HANDLE handle = nullptr;
    EFI_BLOCK_IO_PROTOCOL blockIo{};
    EFI_BLOCK_IO_MEDIA media{};
    std::vector<uint8_t> path;
    std::u16string model;
};

// One instance of the platform vendor's UEFI RAID driver with its protocols (an outside component the
// programs only look at).
struct RaidDriver {
    EFI_HANDLE handle = nullptr;
    std::string name;
    std::u16string driverName;
    std::string languages;  // of the component name 2 protocol ("en-US")
    std::string languages1; // of the EFI 1.1 component name protocol ("eng")
    RaidConfigProtocol raidConfig{};
    EFI_DRIVER_BINDING_PROTOCOL binding{};
    EFI_COMPONENT_NAME2_PROTOCOL componentName{};
    EFI_COMPONENT_NAME2_PROTOCOL componentName2{};
    EFI_DRIVER_SUPPORTED_EFI_VERSION_PROTOCOL supportedVersion{};
    EFI_HII_CONFIG_ACCESS_PROTOCOL hii{};
    std::vector<uint8_t> path;
    PciFunction* controller = nullptr;
    std::list<RaidChild> children;
};

// Memory below 4 GB for the ACPI tables, whose 32-bit root table holds their addresses.
class LowMemory {
public:
    LowMemory() = default;
    ~LowMemory();
    LowMemory(const LowMemory&) = delete;
    LowMemory& operator=(const LowMemory&) = delete;
    // Replaces what was there; null when the host gives no memory below 4 GB.
    uint8_t* Reserve(size_t size);

private:
    void* base_ = nullptr;
    size_t size_ = 0;
};

struct Firmware::State {
    EFI_SYSTEM_TABLE systemTable{};
    EFI_BOOT_SERVICES bootServices{};
    EFI_RUNTIME_SERVICES runtimeServices{};
    std::u16string vendor;
    std::vector<EFI_CONFIGURATION_TABLE> configuration;

    HandleDatabase handles;
    Pool pool;
    EFI_HANDLE image = nullptr;
    // The agent of the opens the firmware makes for HandleProtocol.
    EFI_HANDLE firmwareAgent = nullptr;
    EFI_HANDLE consoleIn = nullptr;
    EFI_HANDLE consoleOut = nullptr;

    TextOutput conOut;
    TextInput conIn;
    ShellCommandLine shell;
    bool shellInterface = false;
    bool shellParameters = true;
    std::list<PciFunction> pci;
    EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL rootBridge{};
    std::list<RaidDriver> drivers;
    // Interfaces of the pass-through protocols, which the programs only look for.
    uint8_t ataPassThru[16] = {};
    uint8_t nvmePassThru[16] = {};
    // The remapping controller's configuration window: the controller and the header of each function
    // it shows, by bus << 8 | device << 3 | function.
    PciFunction* windowController = nullptr;
    std::map<uint32_t, std::vector<uint8_t>> windowFunctions;
    std::string cpuBrand;
    uint32_t cpuSignature = 0;
    // "UEFI" ACPI tables the drivers publish: identifier and data.
    std::vector<std::pair<EFI_GUID, std::vector<uint8_t>>> driverTables;
    EFI_ACPI_TABLE_PROTOCOL acpiTableProtocol{};
    LowMemory acpiMemory;
    std::vector<uint64_t> hobList;
    std::map<Event*, std::unique_ptr<Event>> events;

    EFI_TPL tpl = TPL_APPLICATION;
    uint64_t monotonicCount = 0;
    std::vector<std::string> problems;
};

// The firmware of the process; std::logic_error when there is none.
Firmware::State& Active();
// Records misuse for Firmware::Problems, when a firmware is active.
void Problem(const std::string& text);

// Records the call and plays its fault rule: the rule's outcome, if one fires.
std::optional<nlohmann::json> Seam(const std::string& kind, const nlohmann::json& selectors);
// The status an outcome makes the call return ({"efi_error": n} is the error n), if it names one.
std::optional<EFI_STATUS> InjectedStatus(const std::optional<nlohmann::json>& outcome);
// Both at once, for calls whose only outcome is a status.
std::optional<EFI_STATUS> Injected(const std::string& kind, const nlohmann::json& selectors);

// Runs a service's work so that nothing the simulator throws reaches the program: a failure of the
// simulator itself is recorded as a problem and the service answers EFI_DEVICE_ERROR.
EFI_STATUS Guarded(const char* kind, const std::function<EFI_STATUS()>& work);
void GuardedVoid(const char* kind, const std::function<void()>& work);

// A service the simulated firmware does not provide: passes the seam, is recorded as a problem and
// answers EFI_UNSUPPORTED.
EFI_STATUS NotProvided(const char* kind);

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", lower case: how GUIDs appear in selectors and the
// variable store.
std::string GuidText(const EFI_GUID& guid);
std::optional<EFI_GUID> GuidFromText(std::string_view text);
std::string Utf8FromUcs2(std::u16string_view text);
// Characters outside UCS-2 become "?".
std::u16string Ucs2FromUtf8(std::string_view text);
// A zero-terminated UCS-2 string, at most `limit` characters long.
std::u16string_view Ucs2View(const CHAR16* text, size_t limit = 65536);

uint32_t Crc32(const void* data, size_t size);
// The header of a service table of this firmware's revision, and its checksum once the table is
// filled in (over the header's size, taken with the checksum field zero).
EFI_TABLE_HEADER TableHeader(UINT64 signature, UINT32 size);
void SealTable(EFI_TABLE_HEADER& header);

// The parts of the firmware, each set up by its own source.
void SetUpBootServices(Firmware::State& state);
void SetUpRuntimeServices(Firmware::State& state);
void SetUpConsole(Firmware::State& state, const nlohmann::json& machine);
void SetUpShell(Firmware::State& state, const nlohmann::json& machine);
void SetShellArguments(Firmware::State& state, const std::vector<std::string>& arguments);
void SetUpPci(Firmware::State& state, const nlohmann::json& machine);
// The firmware's programming of PCI functions ("pci_config"), the root bridge, the remapping
// controller's window and the processor.
void SetUpPlatform(Firmware::State& state, const nlohmann::json& machine);
void SetUpRaidDrivers(Firmware::State& state, const nlohmann::json& machine);
// After the drivers: the ACPI tables (with what the drivers publish) and the hand-off block list.
void SetUpAcpi(Firmware::State& state, const nlohmann::json& machine);
// The PCI function at bus:device.function ("0:14.0"), or null.
PciFunction* FindPciFunction(Firmware::State& state, const std::string& location);
// The "uefi" section's object under key, or an empty object.
const nlohmann::json& UefiPart(const nlohmann::json& machine, const char* key);
// Keeps the system table's entry count, pointer and checksum in step with the configuration table.
void UpdateSystemTable(Firmware::State& state);

} // namespace sim::uefi

#pragma once
// The simulated UEFI firmware a firmware program runs on: a system table with boot and runtime
// services, a handle database with its open records, a pool that counts what is not freed, the
// console (output recorded character by character with the attribute in force, input from a key
// queue), the shell's command line protocols on the image handle, the PCI functions of the machine
// behind PCI I/O, the configuration table and the firmware variables of the machine's one variable
// store (the store moxcli writes).
//
// Everything comes from the current machine (sim::Current()): its "uefi" section (console, shell),
// its PCI devices ("devices" nodes with a PCI location) and its "firmware" variables. Every function
// a table or protocol holds passes the simulator's one seam (sim/PlatformCall.h) as
// "BootServices.<name>", "RuntimeServices.<name>", "SimpleTextOutput.<name>",
// "SimpleTextInput.<name>" or "PciIo.<name>" (sim/README.md lists the selectors), so a test sees it
// in the call log and can make it fail.
//
// This header is what tests and host programs see; it does not bring in the JSON library.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/uefi/UefiSystemTable.h"

namespace sim::uefi {

// One character the program wrote to the console, with the attribute in force.
struct ConsoleCell {
    char16_t character;
    uint8_t attribute;
};

class Firmware {
public:
    // Builds the firmware of the current machine and makes it the process's firmware: the services
    // of its tables act on this object. One exists at a time; std::logic_error for a second.
    Firmware();
    ~Firmware();
    Firmware(const Firmware&) = delete;
    Firmware& operator=(const Firmware&) = delete;

    EFI_SYSTEM_TABLE* SystemTable();
    EFI_HANDLE ImageHandle();

    // The command line the shell hands the image (argument 0 is the program), as its shell protocols
    // show it. UTF-8; a character outside UCS-2 becomes "?".
    void SetArguments(const std::vector<std::string>& arguments);

    // The console output: every character written, with its attribute; the text as UTF-8 (carriage
    // returns included).
    const std::vector<ConsoleCell>& ConsoleCells() const;
    std::string ConsoleText() const;
    void ClearConsole();
    // Told of every string the program writes, as it is written (a host program's standard output).
    void OnConsoleOutput(std::function<void(std::u16string_view)> sink);

    // The console input: keys waiting to be read, in order.
    void QueueKey(char16_t character, uint16_t scanCode = 0);
    void QueueKeys(std::u16string_view characters);
    size_t KeysWaiting() const;
    // Asked for a key when the program waits on an empty queue (a host program reads its standard
    // input); without one, or when it has none, the wait fails and the problem is recorded.
    void OnKeyNeeded(std::function<std::optional<EFI_INPUT_KEY>()> source);

    // Pool and page allocations the program made (or the firmware made for it) and has not freed.
    size_t AllocationsNotFreed() const;
    size_t BytesNotFreed() const;

    // The handle database, for tests and device models: a new handle (named for the call log), a
    // protocol installed on or removed from it, a handle found by its name.
    EFI_HANDLE NewHandle(const std::string& name);
    void Install(EFI_HANDLE handle, const EFI_GUID& protocol, void* interface);
    bool Uninstall(EFI_HANDLE handle, const EFI_GUID& protocol);
    EFI_HANDLE FindHandle(const std::string& name) const;
    // Open records an agent holds on any handle (the image's must be none after a run).
    size_t OpenRecordsOf(EFI_HANDLE agent) const;

    // Adds or replaces a configuration table entry.
    void SetConfigurationTable(const EFI_GUID& guid, void* table);

    // Misuse the firmware saw: a free of memory it did not hand out, a wait nothing can end, a
    // service it does not provide, an unknown handle or event... A test expects none.
    const std::vector<std::string>& Problems() const;
    // The problems so far, which are then forgotten (a test that provokes one on purpose).
    std::vector<std::string> TakeProblems();

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The exit code a host program gives for the status its image returned: 0 for success, else the
// status's code without the error bit (EFI_INVALID_PARAMETER is 2), 255 when that does not fit.
int ExitCodeOf(EFI_STATUS status);

} // namespace sim::uefi

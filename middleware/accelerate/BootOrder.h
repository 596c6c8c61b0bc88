#pragma once
// Keeps the Windows boot manager first in the firmware's boot order. Pairing changes can make the
// firmware put another load option in front; EnsureBootManagerFirst moves the boot manager's option
// back to the front of "BootOrder". It reports nothing: every failure leaves the order as it was.
#include <cstdint>
#include <string>

// The fields of a UEFI load option (EFI_LOAD_OPTION) that are read: the file path is the text of the
// last media file path node of its device path list, empty when there is none.
struct BootLoadOption {
    uint32_t attributes = 0;
    uint16_t filePathListLength = 0;
    std::wstring description;
    std::wstring filePath;
};

// Reads "Boot####" of the option number and parses it; false when it cannot be read or parsed.
bool ReadBootOption(uint16_t number, BootLoadOption& option);
// Whether the option is the Windows boot manager's; lower-cases its description and file path.
bool IsBootManagerOption(BootLoadOption& option);
// Enables the firmware privilege once per process, then moves the boot manager's option to the front
// of the boot order when it is there but not first. Callers hold the controller's named mutex.
void EnsureBootManagerFirst();

// Forgets that the privilege was enabled, as in a new process (for tests that run in one process).
void ResetBootOrderPrivilegeForTests();

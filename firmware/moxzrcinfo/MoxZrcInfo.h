// MoxZrcInfo: the UEFI shell application that reports on the remapping controller and what its
// UEFI RAID driver publishes, as nine groups of numbered tests and a summary.
#pragma once

#include "platform/uefi/UefiSystemTable.h"
#include "platform/uefi/protocol/PciIo.h"

// Defined with the protocol's declaration; the application only keeps a pointer.
struct EFI_ACPI_TABLE_PROTOCOL;

// A group's tests; the controller's PCI I/O (null for group 1, which runs before it is looked for).
// TRUE when the group could run its tests.
typedef BOOLEAN (*MOX_GROUP_HANDLER)(EFI_PCI_IO_PROTOCOL* ZrcPciIo);

typedef struct {
    const CHAR8* Name;
    MOX_GROUP_HANDLER Handler;
    BOOLEAN Enabled;
} MOX_GROUP;

#define MOX_GROUP_COUNT 9
extern MOX_GROUP gGroups[MOX_GROUP_COUNT];

// What the run found, for the groups that need it.
extern EFI_PCI_IO_PROTOCOL* gZrcPciIo;
extern EFI_HANDLE gZrcDriverHandle;
extern EFI_HANDLE gZrcPciHandle;
extern struct EFI_ACPI_TABLE_PROTOCOL* gAcpiTableProtocol;

// How a run ended; the entry point turns it into the image's status (RunOutcomeStatus).
typedef enum {
    RunFailed = 0,          // a group among 3 to 9 failed, or the attributes could not be restored
    RunPassed = 1,          // every group ran to success
    RunNoController = 2,    // no remapping controller: the run stopped after group 1
    RunUsageShown = 3,      // "?" was given
    RunBadCommandLine = 4,  // the usage was shown after the parser refused the command line
    RunAttributesFailed = 5 // the controller's memory decoding and bus mastering could not be enabled
} MOX_RUN_OUTCOME;

extern "C" EFI_STATUS EFIAPI MoxZrcInfoEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
UINTN MoxZrcInfoMain(UINTN Argc, CHAR8** Argv);
EFI_STATUS RunOutcomeStatus(UINTN Outcome);
// Clears what one run leaves behind: counters, the console found, the controller and driver found.
void ResetRunState();

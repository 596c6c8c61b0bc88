// The module's state: one instance in the module's data. The module runs once per boot on the boot
// processor, so nothing here is locked, and nothing it points to is ever freed.
#pragma once

#include "platform/uefi/pi/BaseCpu.h"
#include "platform/uefi/pi/PeiIoMmu.h"
#include "platform/uefi/pi/PiPeiCis.h"

#include "firmware/moxsecpeim/RemapBarPpi.h"
#include "firmware/moxsecpeim/RemapDevices.h"

struct SataControllerRecord;
struct NvmePassThruRecord;
struct StorageSecurityRecord;

struct MoxSecPeimGlobals {
    // Set at entry; see GetPeiServices.
    CONST EFI_PEI_SERVICES** PeiServices;
    // Set by LocateIommu.
    BOOLEAN IommuPresent;
    EDKII_IOMMU_PPI* IoMmu;
    // Time-stamp counter ticks per microsecond, 0 until calibrated.
    UINT32 TscTicksPerMicrosecond;
    // Null until SetupSataController runs.
    SataControllerRecord* SataController;
    // In installation order.
    NvmePassThruRecord* NvmePassThruList;
    StorageSecurityRecord* StorageSecurityList;
    // NVMe controller re-initialisations in a row, over all devices.
    UINT8 NvmeConsecutiveResets;
    RemapState Remap;
    EFI_PEI_PPI_DESCRIPTOR RemapBarDescriptor;
    MoxRemapBarPpi RemapBarPpi;
};

extern MoxSecPeimGlobals gMoxSecPeim;

// The cached services pointer; before entry, the one the PEI foundation keeps just below the base of
// the interrupt descriptor table.
CONST EFI_PEI_SERVICES** GetPeiServices(VOID);

// Debug assertions are reported and passed over, as the firmware's debug build does.
#if defined(MOX_NDEBUG)
#define MOX_ASSERT_TEXT(Expression, Text)                                                                    \
    do {                                                                                                     \
    } while (FALSE)
#else
#define MOX_ASSERT_TEXT(Expression, Text)                                                                    \
    do {                                                                                                     \
        if (!(Expression))                                                                                   \
            DebugAssert(__FILE__, __LINE__, Text);                                                           \
    } while (FALSE)
#endif
#define MOX_ASSERT(Expression) MOX_ASSERT_TEXT(Expression, #Expression)

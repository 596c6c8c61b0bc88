// The few processor and base library services a PEI module reaches beyond the PEI services table:
// the time-stamp counter, the interrupt descriptor table register (under which the PI IA32
// convention keeps the PEI services pointer) and the report of a failed debug assertion. On the
// platform they are instructions and the firmware's debug library; here the simulator answers them,
// so that a test can drive them.
#pragma once

#include "platform/uefi/UefiBaseType.h"

typedef struct {
    UINT16 Limit;
    UINTN Base;
} __attribute__((packed)) IA32_DESCRIPTOR;
static_assert(sizeof(IA32_DESCRIPTOR) == 2 + sizeof(UINTN), "IA32_DESCRIPTOR");

// RDTSC.
UINT64 EFIAPI AsmReadTsc(VOID);
// SIDT.
VOID EFIAPI AsmReadIdtr(OUT IA32_DESCRIPTOR* Idtr);
// A debug assertion that failed; the module goes on after it.
VOID EFIAPI DebugAssert(IN CONST CHAR8* FileName, IN UINTN LineNumber, IN CONST CHAR8* Description);

// CPUID, the one processor instruction a UEFI application of this system executes directly. On the
// platform it is the instruction; here the simulated firmware answers it from the machine.
#pragma once

#include "platform/uefi/UefiBaseType.h"

// Any output pointer may be null.
VOID EFIAPI AsmCpuid(UINT32 Index, UINT32* Eax, UINT32* Ebx, UINT32* Ecx, UINT32* Edx);

// The base library routines a firmware program calls directly, for the real target: the processor
// instruction and plain loads from physical memory. On this machine the simulated firmware answers
// them instead, so the host build does not compile this folder.
#include "platform/uefi/BaseCpuId.h"
#include "platform/uefi/BaseIoLib.h"

VOID EFIAPI AsmCpuid(UINT32 Index, UINT32* Eax, UINT32* Ebx, UINT32* Ecx, UINT32* Edx) {
    UINT32 a = 0, b = 0, c = 0, d = 0;
    __asm__ __volatile__("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(Index), "c"(0));
    if (Eax)
        *Eax = a;
    if (Ebx)
        *Ebx = b;
    if (Ecx)
        *Ecx = c;
    if (Edx)
        *Edx = d;
}

UINT8 EFIAPI MmioRead8(UINTN Address) {
    return *(volatile UINT8*)Address;
}

UINT16 EFIAPI MmioRead16(UINTN Address) {
    return *(volatile UINT16*)Address;
}

UINT32 EFIAPI MmioRead32(UINTN Address) {
    return *(volatile UINT32*)Address;
}

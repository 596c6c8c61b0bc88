#include "firmware/moxsecpeim/PciAccess.h"

#include "platform/uefi/pi/PeiCpuIo.h"
#include "platform/uefi/pi/PeiPciCfg2.h"

#include "firmware/moxsecpeim/ModuleState.h"

namespace {

UINT64 ConfigAddress(UINT64 PciAddress, UINT32 Register) {
    if (Register < 0x100)
        return PciAddress | Register;
    return PciAddress | ((UINT64)Register << 32);
}

// A read that fails leaves the all-ones value a missing device gives.
VOID PciRead(EFI_PEI_PCI_CFG_PPI_WIDTH Width, UINT64 PciAddress, UINT32 Register, VOID* Value) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    (*Services)->PciCfg->Read(Services, (*Services)->PciCfg, Width, ConfigAddress(PciAddress, Register),
                              Value);
}

VOID PciWrite(EFI_PEI_PCI_CFG_PPI_WIDTH Width, UINT64 PciAddress, UINT32 Register, VOID* Value) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    (*Services)->PciCfg->Write(Services, (*Services)->PciCfg, Width, ConfigAddress(PciAddress, Register),
                               Value);
}

EFI_PEI_CPU_IO_PPI* CpuIo(CONST EFI_PEI_SERVICES** Services) {
    return (*Services)->CpuIo;
}

} // namespace

UINT8 PciRead8(UINT64 PciAddress, UINT32 Register) {
    UINT8 Value = 0xFF;
    PciRead(EfiPeiPciCfgWidthUint8, PciAddress, Register, &Value);
    return Value;
}

UINT16 PciRead16(UINT64 PciAddress, UINT32 Register) {
    UINT16 Value = 0xFFFF;
    PciRead(EfiPeiPciCfgWidthUint16, PciAddress, Register, &Value);
    return Value;
}

UINT32 PciRead32(UINT64 PciAddress, UINT32 Register) {
    UINT32 Value = 0xFFFFFFFF;
    PciRead(EfiPeiPciCfgWidthUint32, PciAddress, Register, &Value);
    return Value;
}

VOID PciWrite16(UINT64 PciAddress, UINT32 Register, UINT16 Value) {
    PciWrite(EfiPeiPciCfgWidthUint16, PciAddress, Register, &Value);
}

VOID PciWrite32(UINT64 PciAddress, UINT32 Register, UINT32 Value) {
    PciWrite(EfiPeiPciCfgWidthUint32, PciAddress, Register, &Value);
}

UINT8 MmioRead8(UINT32 Address) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    return CpuIo(Services)->MemRead8(Services, CpuIo(Services), Address);
}

UINT16 MmioRead16(UINT32 Address) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    return CpuIo(Services)->MemRead16(Services, CpuIo(Services), Address);
}

UINT32 MmioRead32(UINT32 Address) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    return CpuIo(Services)->MemRead32(Services, CpuIo(Services), Address);
}

UINT64 MmioRead64(UINT32 Address) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    return CpuIo(Services)->MemRead64(Services, CpuIo(Services), Address);
}

VOID MmioWrite8(UINT32 Address, UINT8 Value) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    CpuIo(Services)->MemWrite8(Services, CpuIo(Services), Address, Value);
}

VOID MmioWrite16(UINT32 Address, UINT16 Value) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    CpuIo(Services)->MemWrite16(Services, CpuIo(Services), Address, Value);
}

VOID MmioWrite32(UINT32 Address, UINT32 Value) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    CpuIo(Services)->MemWrite32(Services, CpuIo(Services), Address, Value);
}

VOID MmioWrite64(UINT32 Address, UINT64 Value) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    CpuIo(Services)->MemWrite64(Services, CpuIo(Services), Address, Value);
}

UINT64 GetPciAddress(UINT8 Bus, UINT8 Device, UINT8 Function) {
    UINT64 Address = ((UINT64)Bus << 24) | ((UINT64)Device << 16) | ((UINT64)Function << 8);
    if (PciRead16(Address, PCI_VENDOR_ID_OFFSET) == 0xFFFF)
        return MOX_PCI_ADDRESS_NONE;
    return Address;
}

VOID EnablePciDevice(UINT64 PciAddress) {
    UINT16 Command = PciRead16(PciAddress, PCI_COMMAND_OFFSET);
    PciWrite16(PciAddress, PCI_COMMAND_OFFSET, Command | PCI_COMMAND_MEMORY_SPACE | PCI_COMMAND_BUS_MASTER);
}

UINT32 GetBarAddress(UINT64 PciAddress, UINT32 BarIndex) {
    UINT32 Lower = PciRead32(PciAddress, PCI_BAR0_OFFSET + 4 * BarIndex);
    if (Lower & 0x1)
        return 0;
    switch ((Lower >> 1) & 0x3) {
    case 0:
        return Lower & ~0xFu;
    case 2: {
        if (BarIndex + 1 >= PCI_BAR_COUNT)
            return 0;
        UINT32 Upper = PciRead32(PciAddress, PCI_BAR0_OFFSET + 4 * (BarIndex + 1));
        UINT64 Whole = ((UINT64)Upper << 32) | Lower;
        if (Upper == 0 && Whole != 0)
            return Lower & ~0xFu;
        return 0;
    }
    default:
        return 0;
    }
}

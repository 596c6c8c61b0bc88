#include "firmware/moxsecpeim/Ahci.h"

#include "firmware/moxsecpeim/DmaBuffers.h"
#include "firmware/moxsecpeim/MemoryHelpers.h"
#include "firmware/moxsecpeim/ModuleState.h"
#include "firmware/moxsecpeim/MoxSecPeim.h"
#include "firmware/moxsecpeim/PciAccess.h"
#include "firmware/moxsecpeim/StorageSecurity.h"
#include "firmware/moxsecpeim/Timer.h"

namespace {

// Global registers.
#define AHCI_CAP 0x00
#define AHCI_GHC 0x04
#define AHCI_IS 0x08
#define AHCI_PI 0x0C
// Port registers, from 0x100 + 0x80 * port.
#define AHCI_PX_CLB 0x00
#define AHCI_PX_CLBU 0x04
#define AHCI_PX_FB 0x08
#define AHCI_PX_FBU 0x0C
#define AHCI_PX_IS 0x10
#define AHCI_PX_IE 0x14
#define AHCI_PX_CMD 0x18
#define AHCI_PX_TFD 0x20
#define AHCI_PX_SIG 0x24
#define AHCI_PX_SSTS 0x28
#define AHCI_PX_SCTL 0x2C
#define AHCI_PX_SERR 0x30
#define AHCI_PX_CI 0x38

#define AHCI_CAP_SSS (1u << 27)
#define AHCI_CAP_SMPS (1u << 28)
#define AHCI_GHC_HR 0x00000001u
#define AHCI_GHC_IE 0x00000002u
#define AHCI_GHC_AE 0x80000000u
#define AHCI_CMD_ST (1u << 0)
#define AHCI_CMD_SUD (1u << 1)
#define AHCI_CMD_FRE (1u << 4)
#define AHCI_CMD_MPSS (1u << 13)
#define AHCI_CMD_FR (1u << 14)
#define AHCI_CMD_CR (1u << 15)
#define AHCI_CMD_PMA (1u << 17)
#define AHCI_CMD_MPSP (1u << 19)
#define AHCI_CMD_ATAPI (1u << 24)
#define AHCI_TFD_ERR 0x01u
#define AHCI_TFD_DRQ 0x08u
#define AHCI_TFD_BSY 0x80u
#define AHCI_IS_TFES (1u << 30)
#define AHCI_IS_HBFS (1u << 29)
#define AHCI_IS_HBDS (1u << 28)
#define AHCI_IS_IFS (1u << 27)
#define AHCI_SIG_ATA 0x00000101u
#define AHCI_SIG_ATAPI 0xEB140101u

#define AHCI_HOST_RESET_US 1000000
#define AHCI_ENGINE_US 500000
#define AHCI_LINK_US 50000
#define AHCI_LINK_EXTRA_US 5000
#define AHCI_READY_US 31000000
#define AHCI_COMRESET_US 5000
#define AHCI_BRING_UP_COMMAND_US 10000000

#define ATA_CMD_IDENTIFY 0xEC
#define ATA_CMD_SET_FEATURES 0xEF
#define ATA_CMD_READ_DMA 0xC8
#define ATA_CMD_PACKET 0xA0
#define ATA_CMD_TRUSTED_NON_DATA 0x5B
#define ATA_CMD_TRUSTED_RECEIVE 0x5C
#define ATA_CMD_TRUSTED_SEND 0x5E

UINT32 PortRegister(UINT8 Port, UINT32 Register) {
    return 0x100 + 0x80 * (UINT32)Port + Register;
}

UINT32 AhciRead32(AhciContext* Context, UINT32 Offset) {
    return MmioRead32(Context->Abar + Offset);
}

VOID AhciWrite32(AhciContext* Context, UINT32 Offset, UINT32 Value) {
    MmioWrite32(Context->Abar + Offset, Value);
}

UINT32 PortRead(AhciContext* Context, UINT8 Port, UINT32 Register) {
    return AhciRead32(Context, PortRegister(Port, Register));
}

VOID PortWrite(AhciContext* Context, UINT8 Port, UINT32 Register, UINT32 Value) {
    AhciWrite32(Context, PortRegister(Port, Register), Value);
}

VOID PortOr(AhciContext* Context, UINT8 Port, UINT32 Register, UINT32 Bits) {
    PortWrite(Context, Port, Register, PortRead(Context, Port, Register) | Bits);
}

VOID PortAnd(AhciContext* Context, UINT8 Port, UINT32 Register, UINT32 Bits) {
    PortWrite(Context, Port, Register, PortRead(Context, Port, Register) & Bits);
}

// Where the controller finds each structure inside its buffer.
UINT32 ReceivedFisBase(AhciContext* Context) {
    return ((UINT32)(UINTN)Context->ReceivedFis.Host + 256) & ~255u;
}

UINT32 CommandTableBase(AhciContext* Context) {
    return ((UINT32)(UINTN)Context->CommandTable.Host + 128) & ~127u;
}

UINT32 CommandListBase(AhciContext* Context) {
    return ((UINT32)(UINTN)Context->CommandList.Host + 1024) & ~1023u;
}

// Polls Register until (value & Mask) == Expected; the deadline is tested before each reading.
BOOLEAN WaitPortBits(AhciContext* Context, UINT8 Port, UINT32 Register, UINT32 Mask, UINT32 Expected,
                     UINT64 Microseconds) {
    UINT64 Deadline = TscDeadline(Microseconds);
    while (!DeadlineExpired(Deadline)) {
        if ((PortRead(Context, Port, Register) & Mask) == Expected)
            return TRUE;
    }
    return FALSE;
}

VOID AhciClearPortErrors(AhciContext* Context, UINT8 Port) {
    PortWrite(Context, Port, AHCI_PX_SERR, 0xFFFFFFFF);
}

BOOLEAN AhciStopCommandEngine(AhciContext* Context, UINT8 Port) {
    PortAnd(Context, Port, AHCI_PX_CMD, ~AHCI_CMD_ST);
    return WaitPortBits(Context, Port, AHCI_PX_CMD, AHCI_CMD_CR, 0, AHCI_ENGINE_US);
}

BOOLEAN AhciStartCommandEngine(AhciContext* Context, UINT8 Port) {
    if (PortRead(Context, Port, AHCI_PX_CMD) & AHCI_CMD_ST)
        return TRUE;
    PortOr(Context, Port, AHCI_PX_CMD, AHCI_CMD_FRE);
    UINT32 Cmd = PortRead(Context, Port, AHCI_PX_CMD);
    UINT32 Tfd = PortRead(Context, Port, AHCI_PX_TFD);
    UINT32 Ssts = PortRead(Context, Port, AHCI_PX_SSTS);
    if ((Cmd & AHCI_CMD_CR) || !(Cmd & AHCI_CMD_FRE) || (Tfd & (AHCI_TFD_BSY | AHCI_TFD_DRQ)))
        return FALSE;
    UINT32 Ipm = (Ssts >> 8) & 0xF;
    if ((Ssts & 0xF) != 3 && Ipm != 2 && Ipm != 6)
        return FALSE;
    PortWrite(Context, Port, AHCI_PX_CMD, Cmd | AHCI_CMD_ST);
    return TRUE;
}

VOID AhciPortComReset(AhciContext* Context, UINT8 Port) {
    AhciStopCommandEngine(Context, Port);
    UINT32 Sctl = PortRead(Context, Port, AHCI_PX_SCTL);
    PortWrite(Context, Port, AHCI_PX_SCTL, (Sctl & ~0xFEu) | Context->SpeedLimit[Port] | 1);
    StallShort(AHCI_COMRESET_US);
    PortAnd(Context, Port, AHCI_PX_SCTL, ~0xFu);
}

VOID AhciProgramPortBases(AhciContext* Context, UINT8 Port) {
    PortWrite(Context, Port, AHCI_PX_CLB, CommandListBase(Context));
    PortWrite(Context, Port, AHCI_PX_CLBU, 0);
    PortWrite(Context, Port, AHCI_PX_FB, ReceivedFisBase(Context));
    PortWrite(Context, Port, AHCI_PX_FBU, 0);
}

BOOLEAN AhciHostReset(AhciContext* Context) {
    UINT32 Implemented = AhciRead32(Context, AHCI_PI) & 0xFF;
    for (UINT8 Port = 0; Port < MOX_AHCI_PORT_COUNT; ++Port) {
        if (!(Implemented & (1u << Port)))
            continue;
        UINT32 Speed = (PortRead(Context, Port, AHCI_PX_SCTL) >> 4) & 0xF;
        Context->SpeedLimit[Port] = Speed > 3 ? 0 : Speed << 4;
    }
    AhciWrite32(Context, AHCI_GHC, AHCI_GHC_AE | AHCI_GHC_HR);
    UINT64 Deadline = TscDeadline(AHCI_HOST_RESET_US);
    while (!DeadlineExpired(Deadline)) {
        UINT32 Ghc = AhciRead32(Context, AHCI_GHC);
        if (!(Ghc & AHCI_GHC_HR)) {
            AhciWrite32(Context, AHCI_GHC, (Ghc & ~AHCI_GHC_IE) | AHCI_GHC_AE);
            AhciWrite32(Context, AHCI_IS, 0xFFFFFFFF);
            return TRUE;
        }
    }
    return FALSE;
}

BOOLEAN AhciInitPort(AhciContext* Context, UINT8 Port) {
    UINT32 Cmd = PortRead(Context, Port, AHCI_PX_CMD);
    if (Cmd & (AHCI_CMD_ST | AHCI_CMD_FRE | AHCI_CMD_FR | AHCI_CMD_CR)) {
        if (!AhciStopCommandEngine(Context, Port))
            return FALSE;
        if (Cmd & AHCI_CMD_FRE) {
            Cmd = PortRead(Context, Port, AHCI_PX_CMD);
            PortWrite(Context, Port, AHCI_PX_CMD, Cmd & ~AHCI_CMD_FRE);
            UINT64 Deadline = TscDeadline(AHCI_ENGINE_US);
            for (;;) {
                if (DeadlineExpired(Deadline))
                    return FALSE;
                Cmd = PortRead(Context, Port, AHCI_PX_CMD);
                if (!(Cmd & AHCI_CMD_FR))
                    break;
            }
        }
    }
    AhciProgramPortBases(Context, Port);
    PortWrite(Context, Port, AHCI_PX_CMD, Cmd | AHCI_CMD_FRE);
    AhciClearPortErrors(Context, Port);
    PortWrite(Context, Port, AHCI_PX_IS, 0);
    PortWrite(Context, Port, AHCI_PX_IE, 0);
    return TRUE;
}

BOOLEAN AhciWaitLink(AhciContext* Context, UINT8 Port) {
    BOOLEAN Seen = FALSE;
    UINT64 Deadline = TscDeadline(AHCI_LINK_US);
    while (!DeadlineExpired(Deadline)) {
        UINT32 Det = PortRead(Context, Port, AHCI_PX_SSTS) & 0xF;
        if (Det == 3) {
            AhciClearPortErrors(Context, Port);
            return TRUE;
        }
        if (Det == 1)
            Seen = TRUE;
    }
    if (!Seen)
        return FALSE;
    if (!WaitPortBits(Context, Port, AHCI_PX_SSTS, 0xF, 3, AHCI_LINK_EXTRA_US))
        return FALSE;
    AhciClearPortErrors(Context, Port);
    return TRUE;
}

BOOLEAN AhciWaitDeviceReady(AhciContext* Context, UINT8 Port) {
    UINT64 Deadline = TscDeadline(AHCI_READY_US);
    while (!DeadlineExpired(Deadline)) {
        if (!(PortRead(Context, Port, AHCI_PX_TFD) & (AHCI_TFD_BSY | AHCI_TFD_DRQ | AHCI_TFD_ERR)))
            return TRUE;
        PortWrite(Context, Port, AHCI_PX_SERR, PortRead(Context, Port, AHCI_PX_SERR));
    }
    return FALSE;
}

// True when an ATA device is ready on the port.
BOOLEAN AhciStartPort(AhciContext* Context, UINT8 Port) {
    UINT32 Cap = AhciRead32(Context, AHCI_CAP);
    UINT32 Cmd = PortRead(Context, Port, AHCI_PX_CMD);
    // An open tray: the port is taken offline until the drive can be reached.
    if ((Cap & AHCI_CAP_SMPS) && (Cmd & AHCI_CMD_MPSP) && (Cmd & AHCI_CMD_MPSS)) {
        if (!(Cmd & AHCI_CMD_ST))
            PortWrite(Context, Port, AHCI_PX_SCTL, (PortRead(Context, Port, AHCI_PX_SCTL) & ~0xBu) | 0x4);
        return FALSE;
    }
    if ((Cap & AHCI_CAP_SSS) && !(Cmd & AHCI_CMD_SUD))
        PortWrite(Context, Port, AHCI_PX_CMD, Cmd | AHCI_CMD_SUD);
    else
        AhciPortComReset(Context, Port);
    if (!AhciWaitLink(Context, Port)) {
        if ((PortRead(Context, Port, AHCI_PX_SSTS) & 0xF) != 1)
            return FALSE;
        AhciPortComReset(Context, Port);
        if (!AhciWaitLink(Context, Port))
            return FALSE;
    }
    AhciClearPortErrors(Context, Port);
    PortAnd(Context, Port, AHCI_PX_CMD, ~AHCI_CMD_PMA);
    if (!AhciWaitDeviceReady(Context, Port))
        return FALSE;
    UINT32 Signature = PortRead(Context, Port, AHCI_PX_SIG);
    if (Signature == AHCI_SIG_ATAPI) {
        Cmd = PortRead(Context, Port, AHCI_PX_CMD);
        PortWrite(Context, Port, AHCI_PX_CMD, (Cmd & ~AHCI_CMD_ST) | AHCI_CMD_ATAPI);
        return FALSE;
    }
    return Signature == AHCI_SIG_ATA ? TRUE : FALSE;
}

BOOLEAN AhciBuildCommand(AhciContext* Context, AhciCommand* Command) {
    UINT8 Port = Command->Port;
    AhciProgramPortBases(Context, Port);
    UINT8* Header = (UINT8*)(UINTN)CommandListBase(Context);
    UINT8* Table = (UINT8*)(UINTN)CommandTableBase(Context);
    SetMemBytes(Header, 0, 32);
    SetMemBytes(Table, 0, 128);
    UINT32 Dw0 = 1u << 7;
    if (Command->Direction == AHCI_DATA_OUT)
        Dw0 |= 1u << 6;
    if (Command->Fis[2] == ATA_CMD_PACKET) {
        Dw0 |= 1u << 5;
        for (UINTN Index = 0; Index < sizeof(Command->AtapiPacket); ++Index)
            Table[0x40 + Index] = Command->AtapiPacket[Index];
    }
    if (Command->Direction != AHCI_NO_DATA) {
        if ((Command->Buffer & 1) || (Command->Length & 1))
            return FALSE;
        UINT32* Prd = (UINT32*)(Table + 0x80);
        SetMemBytes(Prd, 0, 16);
        Prd[0] = Command->Buffer;
        Prd[3] = (Command->Length - 1) & 0x3FFFFF;
        Dw0 |= 1u << 16;
    }
    Dw0 |= 5;
    ((UINT32*)Header)[0] = Dw0;
    ((UINT32*)Header)[2] = CommandTableBase(Context);
    for (UINTN Index = 0; Index < sizeof(Command->Fis); ++Index)
        Table[Index] = Command->Fis[Index];
    Table[0] = 0x27;
    Table[1] = (UINT8)((Table[1] & 0xF0) | 0x80);
    return TRUE;
}

UINT8 AhciWaitCommand(AhciContext* Context, UINT8 Port, UINT32 Mask, UINT64 TimeoutUs) {
    BOOLEAN Completed = FALSE;
    UINT64 Deadline = TscDeadline(TimeoutUs);
    while (!DeadlineExpired(Deadline)) {
        UINT32 Ci = PortRead(Context, Port, AHCI_PX_CI);
        UINT32 Is = PortRead(Context, Port, AHCI_PX_IS);
        if (Is & (AHCI_IS_TFES | AHCI_IS_IFS))
            break;
        if ((Ci & Mask) == 0) {
            Completed = TRUE;
            break;
        }
    }
    UINT32 Is = PortRead(Context, Port, AHCI_PX_IS);
    UINT32 Tfd = PortRead(Context, Port, AHCI_PX_TFD);
    if (Is & (AHCI_IS_TFES | AHCI_IS_HBFS | AHCI_IS_HBDS | AHCI_IS_IFS)) {
        AhciStopCommandEngine(Context, Port);
        AhciClearPortErrors(Context, Port);
        PortWrite(Context, Port, AHCI_PX_IS, Is);
        if (Tfd & (AHCI_TFD_BSY | AHCI_TFD_DRQ))
            AhciPortComReset(Context, Port);
        AhciStartCommandEngine(Context, Port);
        return AHCI_DEVICE_ERROR;
    }
    if (Tfd & AHCI_TFD_ERR)
        return AHCI_DEVICE_ERROR;
    return Completed ? AHCI_SUCCESS : AHCI_TIMEOUT;
}

VOID SetupCommand(AhciCommand* Command, UINT8 Port, UINT8 Opcode, UINT32 Direction, VOID* Buffer,
                  UINT32 Length) {
    SetMemBytes(Command, 0, sizeof(*Command));
    Command->Port = Port;
    Command->Fis[2] = Opcode;
    Command->Direction = Direction;
    Command->Buffer = (UINT32)(UINTN)Buffer;
    Command->Length = Length;
}

UINT8 AhciIdentifyDevice(AhciContext* Context, UINT8 Port, UINT16* Identify) {
    AhciCommand Command;
    SetupCommand(&Command, Port, ATA_CMD_IDENTIFY, AHCI_DATA_IN, Identify, 512);
    return AhciIssueCommand(Context, &Command, AHCI_BRING_UP_COMMAND_US);
}

UINT8 AhciSetFeatures(AhciContext* Context, UINT8 Port, UINT8 Feature, UINT8 Count) {
    AhciCommand Command;
    SetupCommand(&Command, Port, ATA_CMD_SET_FEATURES, AHCI_NO_DATA, nullptr, 0);
    Command.Fis[3] = Feature;
    Command.Fis[12] = Count;
    return AhciIssueCommand(Context, &Command, AHCI_BRING_UP_COMMAND_US);
}

BOOLEAN SpunUp(AhciContext* Context, UINT8 Port, UINT16* Identify) {
    return AhciIdentifyDevice(Context, Port, Identify) == AHCI_SUCCESS && !(Identify[0] & 0x4) ? TRUE : FALSE;
}

UINT8 AhciSpinUpDevice(AhciContext* Context, UINT8 Port, UINT16* Identify) {
    if (AhciSetFeatures(Context, Port, 0x07, 0) == AHCI_SUCCESS && SpunUp(Context, Port, Identify))
        return AHCI_SUCCESS;
    AhciCommand Command;
    SetupCommand(&Command, Port, ATA_CMD_READ_DMA, AHCI_DATA_IN, Identify, 512);
    Command.Fis[7] = 0x40;
    Command.Fis[12] = 1;
    UINT8 Result = AhciIssueCommand(Context, &Command, AHCI_BRING_UP_COMMAND_US);
    if (Result != AHCI_SUCCESS)
        return Result;
    return SpunUp(Context, Port, Identify) ? AHCI_SUCCESS : AHCI_DEVICE_ERROR;
}

UINT8 AhciSetTransferMode(AhciContext* Context, UINT8 Port, UINT16 UdmaModes) {
    UINT8 Mode = 0;
    for (UINT8 Bit = 0; Bit <= 6; ++Bit)
        if (UdmaModes & (1u << Bit))
            Mode = Bit;
    return AhciSetFeatures(Context, Port, 0x03, (UINT8)(0x40 + Mode));
}

BOOLEAN MakeBuffer(AhciDmaBuffer* Buffer, UINT32 Size) {
    EFI_PHYSICAL_ADDRESS DeviceAddress = 0;
    Buffer->Host =
        DmaAllocateMapped(EdkiiIoMmuOperationBusMasterCommonBuffer, Size, &DeviceAddress, &Buffer->Mapping);
    Buffer->Size = Size;
    return Buffer->Host != nullptr ? TRUE : FALSE;
}

SataControllerRecord* RecordOf(EDKII_PEI_ATA_PASS_THRU_PPI* This) {
    return (SataControllerRecord*)((UINT8*)This - offsetof(SataControllerRecord, AtaPassThru));
}

} // namespace

AhciContext* AhciCreateController(UINT64 PciAddress) {
    UINT16 ClassWord = PciRead16(PciAddress, PCI_CLASS_WORD_OFFSET);
    BOOLEAN Raid = ClassWord == 0x0104 ? TRUE : FALSE;
    BOOLEAN Ahci = (ClassWord == 0x0106 && PciRead8(PciAddress, PCI_PROG_IF_OFFSET) == 0x01) ? TRUE : FALSE;
    if (!Raid && !Ahci)
        return nullptr;
    UINT32 Abar = GetBarAddress(PciAddress, 5);
    if (Abar == 0)
        return nullptr;
    AhciContext* Context = (AhciContext*)AllocateBootPages(sizeof(AhciContext));
    if (Context == nullptr)
        return nullptr;
    SetMemBytes(Context, 0, sizeof(AhciContext));
    Context->PciAddress = PciAddress;
    Context->Abar = Abar;
    if (!MakeBuffer(&Context->ReceivedFis, MOX_AHCI_RECEIVED_FIS_BYTES) ||
        !MakeBuffer(&Context->CommandTable, MOX_AHCI_COMMAND_TABLE_BYTES) ||
        !MakeBuffer(&Context->CommandList, MOX_AHCI_COMMAND_LIST_BYTES))
        return nullptr;
    return Context;
}

UINT8 AhciEnumeratePorts(AhciContext* Context, UINTN Unused) {
    (VOID) Unused;
    if (Context == nullptr)
        return AHCI_NO_CONTEXT;
    if (!AhciHostReset(Context))
        return AHCI_DEVICE_ERROR;
    // The drive writes IDENTIFY data here: memory the controller can reach.
    UINT16* Identify = (UINT16*)AllocateBootPages(512);
    if (Identify == nullptr)
        return AHCI_SUCCESS;
    UINT32 Implemented = AhciRead32(Context, AHCI_PI) & 0xFF;
    for (UINT8 Port = 0; Port < MOX_AHCI_PORT_COUNT; ++Port) {
        if (!(Implemented & (1u << Port)))
            continue;
        AhciInitPort(Context, Port);
        if (!AhciStartPort(Context, Port))
            continue;
        SetMemBytes(Identify, 0, 512);
        if (AhciIdentifyDevice(Context, Port, Identify) != AHCI_SUCCESS)
            continue;
        if ((Identify[0] & 0x4) && AhciSpinUpDevice(Context, Port, Identify) != AHCI_SUCCESS)
            continue;
        AhciSetTransferMode(Context, Port, Identify[88]);
        RegisterAtaPort(Context, Identify, Port, 0);
    }
    return AHCI_SUCCESS;
}

VOID RegisterAtaPort(AhciContext* Context, CONST UINT16* Identify, UINT8 Port, UINTN Unused) {
    (VOID) Context;
    (VOID) Unused;
    gMoxSecPeim.SataController->PortBitmap |= (UINT8)(1u << Port);
    if (!(Identify[48] & 0x1))
        return;
    UINT32 Length = 0;
    EFI_DEVICE_PATH_PROTOCOL* Path = nullptr;
    BuildPortDevicePath((UINT16)(1u << Port), &Length, &Path);
    InstallStorageSecurity(MOX_STORAGE_KIND_ATA, Port, nullptr, Path, Length);
}

UINT8 AhciIssueCommand(AhciContext* Context, AhciCommand* Command, UINT64 TimeoutUs) {
    if (Context == nullptr)
        return AHCI_NO_CONTEXT;
    if (Command == nullptr)
        return AHCI_DEVICE_ERROR;
    if (Command->Port >= MOX_AHCI_PORT_COUNT)
        return AHCI_BAD_PORT;
    UINT8 Port = Command->Port;
    UINT32 HostAddress = Command->Buffer;
    VOID* Mapping = nullptr;
    BOOLEAN Mapped = FALSE;
    if (Command->Direction != AHCI_NO_DATA && IsIommuPresent()) {
        EFI_PHYSICAL_ADDRESS DeviceAddress = 0;
        EDKII_IOMMU_OPERATION Operation = Command->Direction == AHCI_DATA_IN
                                              ? EdkiiIoMmuOperationBusMasterWrite
                                              : EdkiiIoMmuOperationBusMasterRead;
        if (EFI_ERROR(DmaMapBuffer(Operation, (VOID*)(UINTN)HostAddress, Command->Length, &DeviceAddress,
                                   &Mapping)))
            return AHCI_DEVICE_ERROR;
        Command->Buffer = (UINT32)DeviceAddress;
        Mapped = TRUE;
    }
    UINT8 Result = AHCI_DEVICE_ERROR;
    if (AhciBuildCommand(Context, Command)) {
        AhciClearPortErrors(Context, Port);
        AhciStartCommandEngine(Context, Port);
        PortWrite(Context, Port, AHCI_PX_CI, 1);
        Result = AhciWaitCommand(Context, Port, 1, TimeoutUs);
        CONST UINT8* D2h = (CONST UINT8*)(UINTN)(ReceivedFisBase(Context) + 0x40);
        for (UINTN Index = 0; Index < sizeof(Command->Fis); ++Index)
            Command->Fis[Index] = D2h[Index];
        // A command still outstanding could move its data later: its engine is stopped before the
        // buffer is given back to the caller (and before the IOMMU forgets it).
        if (Result == AHCI_TIMEOUT && Command->Direction != AHCI_NO_DATA)
            AhciStopCommandEngine(Context, Port);
    }
    if (Mapped) {
        Command->Buffer = HostAddress;
        if (EFI_ERROR(DmaUnmap(Mapping)))
            return AHCI_DEVICE_ERROR;
    }
    return Result;
}

UINT8 AhciTrustedCommandChecked(AhciContext* Context, UINT8 Port, BOOLEAN Receive, UINT8 SecurityProtocol,
                                UINT16 ProtocolSpecific, VOID* Buffer, UINT32 Length, UINT64 TimeoutUs) {
    if (Length % 512 != 0)
        return AHCI_DEVICE_ERROR;
    UINT32 Blocks = Length / 512;
    if (Blocks > 0xFFFF)
        return AHCI_DEVICE_ERROR;
    AhciCommand Command;
    if (Length != 0) {
        SetupCommand(&Command, Port, Receive ? ATA_CMD_TRUSTED_RECEIVE : ATA_CMD_TRUSTED_SEND,
                     Receive ? AHCI_DATA_IN : AHCI_DATA_OUT, Buffer, Length);
        Command.Fis[12] = (UINT8)Blocks;
        Command.Fis[4] = (UINT8)(Blocks >> 8);
        Command.Fis[7] = 0x40;
    } else {
        SetupCommand(&Command, Port, ATA_CMD_TRUSTED_NON_DATA, AHCI_NO_DATA, nullptr, 0);
        Command.Fis[7] = Receive ? 0x41 : 0x40;
    }
    Command.Fis[3] = SecurityProtocol;
    Command.Fis[5] = (UINT8)ProtocolSpecific;
    Command.Fis[6] = (UINT8)(ProtocolSpecific >> 8);
    return AhciIssueCommand(Context, &Command, TimeoutUs);
}

EFI_STATUS AtaPacketToCommand(CONST EFI_ATA_PASS_THRU_COMMAND_PACKET* Packet, AhciCommand* Command) {
    CONST EFI_ATA_COMMAND_BLOCK* Acb = Packet->Acb;
    Command->Fis[2] = Acb->AtaCommand;
    Command->Fis[3] = Acb->AtaFeatures;
    Command->Fis[4] = Acb->AtaSectorNumber;
    Command->Fis[5] = Acb->AtaCylinderLow;
    Command->Fis[6] = Acb->AtaCylinderHigh;
    Command->Fis[7] = Acb->AtaDeviceHead;
    Command->Fis[8] = Acb->AtaSectorNumberExp;
    Command->Fis[9] = Acb->AtaCylinderLowExp;
    Command->Fis[10] = Acb->AtaCylinderHighExp;
    Command->Fis[11] = Acb->AtaFeaturesExp;
    Command->Fis[12] = Acb->AtaSectorCount;
    Command->Fis[13] = Acb->AtaSectorCountExp;
    switch (Packet->Protocol) {
    case EFI_ATA_PASS_THRU_PROTOCOL_ATA_NON_DATA:
    case EFI_ATA_PASS_THRU_PROTOCOL_DEVICE_DIAGNOSTIC:
    case EFI_ATA_PASS_THRU_PROTOCOL_DEVICE_RESET:
        Command->Direction = AHCI_NO_DATA;
        return EFI_SUCCESS;
    case EFI_ATA_PASS_THRU_PROTOCOL_PIO_DATA_IN:
    case EFI_ATA_PASS_THRU_PROTOCOL_UDMA_DATA_IN:
        Command->Direction = AHCI_DATA_IN;
        Command->Buffer = (UINT32)(UINTN)Packet->InDataBuffer;
        Command->Length = Packet->InTransferLength;
        return EFI_SUCCESS;
    case EFI_ATA_PASS_THRU_PROTOCOL_PIO_DATA_OUT:
    case EFI_ATA_PASS_THRU_PROTOCOL_UDMA_DATA_OUT:
        Command->Direction = AHCI_DATA_OUT;
        Command->Buffer = (UINT32)(UINTN)Packet->OutDataBuffer;
        Command->Length = Packet->OutTransferLength;
        return EFI_SUCCESS;
    default:
        return EFI_UNSUPPORTED;
    }
}

EFI_STATUS EFIAPI AtaPassThru(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN UINT16 Port,
                              IN UINT16 PortMultiplierPort, IN OUT EFI_ATA_PASS_THRU_COMMAND_PACKET* Packet) {
    (VOID) PortMultiplierPort;
    if (This == nullptr || Port >= MOX_AHCI_PORT_COUNT || !(RecordOf(This)->PortBitmap & (1u << Port)) ||
        Packet == nullptr)
        return EFI_INVALID_PARAMETER;
    // The command is read from its block and the outcome written to its status block.
    if (Packet->Acb == nullptr || Packet->Asb == nullptr)
        return EFI_INVALID_PARAMETER;
    AhciCommand Command;
    SetMemBytes(&Command, 0, sizeof(Command));
    EFI_STATUS Status = AtaPacketToCommand(Packet, &Command);
    if (EFI_ERROR(Status))
        return Status;
    Command.Port = (UINT8)Port;
    UINT8 Result = AhciIssueCommand(RecordOf(This)->Ahci, &Command, TimeoutToMicroseconds(Packet->Timeout));
    EFI_ATA_STATUS_BLOCK* Asb = Packet->Asb;
    Asb->AtaStatus = Command.Fis[2];
    Asb->AtaError = Command.Fis[3];
    Asb->AtaSectorNumber = Command.Fis[4];
    Asb->AtaCylinderLow = Command.Fis[5];
    Asb->AtaCylinderHigh = Command.Fis[6];
    Asb->AtaDeviceHead = Command.Fis[7];
    Asb->AtaSectorNumberExp = Command.Fis[8];
    Asb->AtaCylinderLowExp = Command.Fis[9];
    Asb->AtaCylinderHighExp = Command.Fis[10];
    Asb->AtaSectorCount = Command.Fis[12];
    Asb->AtaSectorCountExp = Command.Fis[13];
    if (Command.Direction == AHCI_DATA_IN)
        Packet->InTransferLength = Command.Length;
    else if (Command.Direction == AHCI_DATA_OUT)
        Packet->OutTransferLength = Command.Length;
    return Result == AHCI_SUCCESS ? EFI_SUCCESS : EFI_DEVICE_ERROR;
}

EFI_STATUS InstallAtaPassThru(VOID) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    if (Services == nullptr)
        return EFI_NOT_FOUND;
    EFI_ATA_PASS_THRU_MODE* Mode = (EFI_ATA_PASS_THRU_MODE*)AllocateBootPages(sizeof(EFI_ATA_PASS_THRU_MODE));
    if (Mode == nullptr)
        return EFI_OUT_OF_RESOURCES;
    Mode->Attributes = EFI_ATA_PASS_THRU_ATTRIBUTES_PHYSICAL;
    Mode->IoAlign = 0;
    SataControllerRecord* Record = gMoxSecPeim.SataController;
    Record->AtaPassThru.Revision = EDKII_PEI_ATA_PASS_THRU_PPI_REVISION;
    Record->AtaPassThru.Mode = Mode;
    Record->AtaPassThru.PassThru = AtaPassThru;
    Record->AtaPassThru.GetNextPort = AtaGetNextPort;
    Record->AtaPassThru.GetNextDevice = AtaGetNextDevice;
    Record->AtaPassThru.GetDevicePath = AtaGetDevicePath;
    Record->Descriptor.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
    Record->Descriptor.Guid = &gEdkiiPeiAtaPassThruPpiGuid;
    Record->Descriptor.Ppi = &Record->AtaPassThru;
    return (*Services)->InstallPpi(Services, &Record->Descriptor);
}

EFI_STATUS EFIAPI AtaGetNextPort(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN OUT UINT16* Port) {
    if (This == nullptr || Port == nullptr)
        return EFI_INVALID_PARAMETER;
    UINT32 First = 0;
    if (*Port != 0xFFFF) {
        // Port 0xFF is the last one there can be; starting over from 0 would never end a caller's walk.
        if ((*Port & 0xFF) == 0xFF)
            return EFI_NOT_FOUND;
        First = (*Port & 0xFF) + 1;
    }
    UINT8 Bitmap = RecordOf(This)->PortBitmap;
    for (UINT32 Candidate = First; Candidate < MOX_AHCI_PORT_COUNT; ++Candidate) {
        if (Bitmap & (1u << Candidate)) {
            *Port = (UINT16)Candidate;
            return EFI_SUCCESS;
        }
    }
    return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI AtaGetNextDevice(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN UINT16 Port,
                                   IN OUT UINT16* PortMultiplierPort) {
    (VOID) This;
    (VOID) Port;
    if (PortMultiplierPort == nullptr)
        return EFI_INVALID_PARAMETER;
    UINT16 Previous = *PortMultiplierPort;
    *PortMultiplierPort = 0;
    if (Previous == 0xFFFF)
        return EFI_SUCCESS;
    if (Previous == 0)
        return EFI_NOT_FOUND;
    return EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI AtaGetDevicePath(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, OUT UINTN* DevicePathLength,
                                   OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath) {
    if (This == nullptr)
        return EFI_NOT_FOUND;
    if (DevicePathLength == nullptr || DevicePath == nullptr)
        return EFI_INVALID_PARAMETER;
    SataControllerRecord* Record = RecordOf(This);
    *DevicePathLength = Record->DevicePathLength;
    *DevicePath = Record->DevicePath;
    return EFI_SUCCESS;
}

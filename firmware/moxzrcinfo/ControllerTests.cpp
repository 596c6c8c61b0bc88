// Groups 5 and 6: the controller and the processor, and the controller's registers.
#include "firmware/common/FirmwarePrint.h"
#include "firmware/moxzrcinfo/Console.h"
#include "firmware/moxzrcinfo/Groups.h"
#include "firmware/moxzrcinfo/Report.h"
#include "firmware/moxzrcinfo/ZrcController.h"

namespace {

const CHAR8 kNotFound[] = "Orvex ZRC controller not found, exiting...\n";

// The fixed location the platform gives the remapping controller.
#define ZRC_BUS 0
#define ZRC_DEVICE 14
#define ZRC_FUNCTION 0

UINT16 Word(const UINT8* Bytes, UINTN Offset) {
    return (UINT16)(Bytes[Offset] | (Bytes[Offset + 1] << 8));
}

void PrintAddress64(UINTN Row, UINT64 Value) {
    PrintTestLineF(Row, "0x%X_%08X", (UINTN)(UINT32)(Value >> 32), (UINTN)(UINT32)Value);
}

} // namespace

BOOLEAN RunZrcControllerInfoTests(EFI_PCI_IO_PROTOCOL*) {
    PrintGroupHeader(5);
    CHAR8 brand[CPU_BRAND_STRING_SIZE + 1];
    ReadCpuBrandString(brand);
    const UINT32 signature = ReadCpuSignature();

    EFI_PCI_IO_PROTOCOL* atLocation = FindPciIoByLocation(ZRC_BUS, ZRC_DEVICE, ZRC_FUNCTION);
    if (!atLocation) {
        ReportTestResult(TestZrcControllerDetected, FALSE);
        ConsolePrint(kNotFound);
        return FALSE;
    }
    ReportTestResult(TestZrcControllerDetected, TRUE);
    const UINT16 vendor = ReadPciConfig16(atLocation, 0);
    const UINT16 device = ReadPciConfig16(atLocation, 2);
    ReportTestResult(TestZrcControllerSupported, IsSupportedZrcController(gZrcControllerIds, vendor, device));

    PrintTestLine(TestCpuBrandString, brand);
    CHAR8 text[10];
    FormatString(text, sizeof(text), "0x%x", (UINTN)signature);
    PrintTestLine(TestCpuId, text);
    return TRUE;
}

BOOLEAN RunZrcRegisterDumpTests(EFI_PCI_IO_PROTOCOL* ZrcPciIo) {
    PrintGroupHeader(6);
    if (!ZrcPciIo) {
        ConsolePrint(kNotFound);
        return FALSE;
    }
    UINT8 header[256];
    if (EFI_ERROR(ZrcPciIo->Pci.Read(ZrcPciIo, EfiPciIoWidthUint8, 0, sizeof(header), header)))
        return FALSE;
    ReportTestResult(TestPciConfigRaw, TRUE);
    PrintLabelValue("Device ID", "0x%04X", (UINTN)Word(header, 2));
    PrintLabelValue("Vendor ID", "0x%04X", (UINTN)Word(header, 0));
    PrintLabelValue("ClassCode", "0x%04X", (UINTN)Word(header, 10));
    PrintLabelValue("ProgIntf", "0x%02X", (UINTN)header[9]);
    PrintLabelValue("RevisionId", "0x%02X", (UINTN)header[8]);
    PrintLabelValue("Command", "0x%04X", (UINTN)Word(header, 4));
    PrintLabelValue("Status", "0x%04X", (UINTN)Word(header, 6));
    PrintLabelValue("Subsystem ID", "0x%04X", (UINTN)Word(header, 46));

    PrintAddress64(TestZrcConfigBase, ReadPciConfig64(ZrcPciIo, ZRC_CONFIG_BASE_REGISTER));
    PrintTestLineF(TestZrcConfigBaseSize, "0x%02X",
                   (UINTN)ReadPciConfig8(ZrcPciIo, ZRC_CONFIG_SIZE_REGISTER));
    PrintAddress64(TestZrcMemoryBase1, ReadPciConfig64(ZrcPciIo, ZRC_MEMORY_BASE1_REGISTER));
    PrintAddress64(TestZrcMemoryBase2, ReadPciConfig64(ZrcPciIo, ZRC_MEMORY_BASE2_REGISTER));
    PrintTestLineF(TestZrcMemoryBar1Size, "0x%02X",
                   (UINTN)ReadPciConfig8(ZrcPciIo, ZRC_MEMORY_BAR1_SIZE_REGISTER));
    PrintTestLineF(TestZrcMemoryBar2Size, "0x%02X",
                   (UINTN)ReadPciConfig8(ZrcPciIo, ZRC_MEMORY_BAR2_SIZE_REGISTER));
    PrintTestLineF(TestVmConfiguration, "0x%08X",
                   (UINTN)ReadPciConfig32(ZrcPciIo, ZRC_VM_CONFIGURATION_REGISTER));
    PrintTestLineF(TestVmDeviceAssignment, "0x%08X",
                   (UINTN)ReadPciConfig32(ZrcPciIo, ZRC_VM_DEVICE_ASSIGNMENT_REGISTER));
    for (UINT32 n = 0; n < 8; ++n)
        PrintTestLineF(TestVmFunction0Assignment + n, "0x%08X",
                       (UINTN)ReadPciConfig32(ZrcPciIo, ZRC_VM_FUNCTION_ASSIGNMENT_REGISTER + 4 * n));
    return TRUE;
}

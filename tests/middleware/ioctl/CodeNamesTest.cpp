#include <gtest/gtest.h>
#include <string>

#include "middleware/ioctl/IoctlCodeNames.h"
#include "middleware/ioctl/PackedScsiAddress.h"

namespace {

TEST(PackScsiAddress, PacksEightBitsEachAndDropsWhatIsAbove) {
    struct Case {
        uint32_t port, path, target, lun;
        PackedScsiAddress packed;
    };
    for (const Case& c :
         {Case{2, 0, 1, 0, 0x02000100}, Case{0x1FF, 0x1FF, 0, 0, 0xFFFF0000}, Case{0, 0, 0, 0, 0},
          Case{1, 2, 3, 0x104, 0x01020304}, Case{255, 255, 255, 255, kNoScsiAddress}})
        EXPECT_EQ(PackScsiAddress(c.port, c.path, c.target, c.lun), c.packed) << std::hex << c.packed;
}

TEST(IoctlCodeNames, KnownCodesAndTheDefaults) {
    struct Case {
        const char* (*lookup)(uint32_t);
        uint32_t value;
        const char* name;
    };
    const Case cases[] = {
        {GetWindowsIoctlName, 0x4D008, "IOCTL_SCSI_MINIPORT"},
        {GetWindowsIoctlName, 0x2D5140, "IOCTL_STORAGE_READ_CAPACITY"},
        {GetWindowsIoctlName, 0xC3512018, "IOCTL_RAID_GET_VERSION"},
        {GetWindowsIoctlName, 0x4D014, "unknown"},
        {GetMiniportIoctlName, 4, "CC_CSMI_SAS_FIRMWARE_DOWNLOAD or NVME_MMIO_MIN_TRANSFER"},
        {GetMiniportIoctlName, 0x7EF50410, "IOCTL_INTERFACE_VERSION"},
        {GetMiniportIoctlName, 0x80000D01,
         "IOCTL_REMAPPORT_GET_CONNECTION_INFO or IOCTL_VOLPORT_CONCATENATE"},
        {GetMiniportIoctlName, 0x8007C088, "TRI_IOCTL_SMART_RECV"},
        {GetMiniportIoctlName, 0xF0003C00, "IOCTL_NVME_SET_TEMPERATURE"},
        {GetMiniportIoctlName, 0x80000D17, "Unknown"},
        {GetRaidGroupName, 0, "RIXO_VERSION_GROUP_NO"},
        {GetRaidGroupName, 22, "RDEV_REFRESH_PARTITION_INFO_NO"},
        {GetRaidGroupName, 21, "Unknown"},
        {GetRaidGroupName, 26, "Unknown"},
        {GetCapabilitiesStatusName, 5, "BUFFER TOO BIG"},
        {GetCapabilitiesStatusName, 6, "Unknown"},
        {GetDirectionName, 1, "SET_DIRECTION"},
        {GetDirectionName, 0xFFFF, "Not provided"},
        {GetCapabilitiesSubFunctionName, 100, "IOCTL_MP_GSC_SF_AHCI_INFO"},
        {GetCapabilitiesSubFunctionName, 199, ""},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.lookup(c.value), c.name) << std::hex << c.value;
}

} // namespace

// The walk over the NVMe devices the platform's storage PPI announces.
#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include "platform/uefi/pi/PlatformStoragePpis.h"

namespace {

using Device = sim::pei::PlatformPpis::PchnDevice;

class PchnStorageTest : public PeiModuleTest {
protected:
    PchnStorageTest() {
        env_.SetBootMode(BOOT_ON_S3_RESUME);
        UseServices();
    }
    size_t BaseCalls(int index) {
        return Calls("PchnStorageGetDeviceBase", R"({"index": )" + std::to_string(index) + "}");
    }
    size_t InfoCalls(int index) {
        return Calls("PchnStorageGetDeviceInfo", R"({"index": )" + std::to_string(index) + "}");
    }
    size_t VendorReads(int bus, int device) {
        return Calls("PeiPciCfgRead", R"({"bus": )" + std::to_string(bus) + R"(, "device": )" +
                                          std::to_string(device) + R"(, "register": 0, "width": 2})");
    }
};

TEST_F(PchnStorageTest, AtMostTwoDevicesAreHandledAndTheThirdEndsTheWalkWithItsSecondFunctionsStatus) {
    env_.platform().pchnDevices = {Device{EFI_SUCCESS, 0xFD000000, EFI_SUCCESS, 2, 0, 0},
                                   Device{EFI_SUCCESS, 0xFD004000, EFI_SUCCESS, 1, 0, 0},
                                   Device{EFI_SUCCESS, 0xFD008000, EFI_WARN_BUFFER_TOO_SMALL, 0, 0x1D, 0}};
    env_.platform().InstallPchnStorage();
    EXPECT_EQ(ProcessPchnDevices(), EFI_WARN_BUFFER_TOO_SMALL);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(BaseCalls(i), 1u) << i;
        EXPECT_EQ(InfoCalls(i), 1u) << i;
    }
    EXPECT_EQ(BaseCalls(3), 0u);
    // Each entry's location comes from its own bytes of the record (bus at 43, device at 45).
    EXPECT_EQ(VendorReads(2, 0) + VendorReads(1, 0) + VendorReads(0, 0x1D), 3u);
    EXPECT_TRUE(env_.Assertions().empty());
}

TEST_F(PchnStorageTest, TheWalkEndsWithTheFirstFunctionsFailure) {
    env_.platform().pchnDevices = {Device{EFI_SUCCESS, 0xFD000000, EFI_SUCCESS, 2, 0, 0}};
    env_.platform().pchnEndStatus = EFI_NOT_FOUND;
    env_.platform().InstallPchnStorage();
    EXPECT_EQ(ProcessPchnDevices(), EFI_NOT_FOUND);
    EXPECT_EQ(BaseCalls(1), 1u);
    EXPECT_EQ(InfoCalls(1), 0u);
    // As the notify answers it: the normal end of the walk is success.
    EXPECT_EQ(OnPchnStoragePpi(nullptr, nullptr, nullptr), EFI_SUCCESS);
}

TEST_F(PchnStorageTest, AnEntryWhoseDeviceIsAbsentStopsTheWalk) {
    env_.platform().pchnDevices = {Device{EFI_SUCCESS, 0xFD000000, EFI_SUCCESS, 2, 0, 0},
                                   Device{EFI_SUCCESS, 0xFD004000, EFI_SUCCESS, 5, 0, 0},
                                   Device{EFI_SUCCESS, 0xFD008000, EFI_SUCCESS, 1, 0, 0}};
    env_.platform().InstallPchnStorage();
    EXPECT_EQ(ProcessPchnDevices(), EFI_NOT_FOUND);
    EXPECT_EQ(VendorReads(5, 0), 1u);
    EXPECT_EQ(BaseCalls(2), 0u);
}

TEST_F(PchnStorageTest, TheSecondFunctionsFailureEndsTheWalk) {
    env_.platform().pchnDevices = {Device{EFI_SUCCESS, 0xFD000000, EFI_DEVICE_ERROR, 2, 0, 0}};
    env_.platform().InstallPchnStorage();
    EXPECT_EQ(ProcessPchnDevices(), EFI_DEVICE_ERROR);
    EXPECT_EQ(VendorReads(2, 0), 0u);
}

TEST_F(PchnStorageTest, ARecordWithABadSignatureIsReportedAndReadAllTheSame) {
    env_.platform().pchnSignature = 0x5043484F;
    env_.platform().pchnDevices = {Device{EFI_SUCCESS, 0xFD000000, EFI_SUCCESS, 2, 0, 0}};
    env_.platform().InstallPchnStorage();
    EXPECT_EQ(ProcessPchnDevices(), EFI_NOT_FOUND);
    EXPECT_EQ(env_.Assertions(), std::vector<std::string>{"CR has Bad Signature"});
    EXPECT_EQ(VendorReads(2, 0), 1u);
}

TEST_F(PchnStorageTest, TheDevicesOfAPpiInstalledAfterTheModuleAreWalkedInItsNotify) {
    env_.platform().pchnDevices = {Device{EFI_SUCCESS, 0xFD000000, EFI_SUCCESS, 2, 0, 0}};
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(BaseCalls(0), 0u);
    env_.platform().InstallPchnStorage();
    EXPECT_EQ(BaseCalls(0), 1u);
    EXPECT_EQ(BaseCalls(1), 1u);
}

TEST_F(PchnStorageTest, WithoutThePpiTheWalkAnswersTheLookUpsFailure) {
    EXPECT_EQ(ProcessPchnDevices(), EFI_NOT_FOUND);
}

} // namespace

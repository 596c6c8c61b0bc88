// The S3-resume exchange with the SMM handler: buffer sizes in, IOMMU-mapped buffers out.
#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include "firmware/moxsecpeim/DmaBuffers.h"
#include "firmware/moxsecpeim/SmmHandoff.h"
#include "platform/uefi/pi/PlatformStoragePpis.h"

namespace {

class SmmHandoffTest : public PeiModuleTest {
protected:
    SmmHandoffTest() {
        env_.SetBootMode(BOOT_ON_S3_RESUME);
        env_.iommu().Install();
        env_.smm().Install();
        UseServices();
        LocateIommu(env_.Services());
    }
    EFI_STATUS Signal() {
        return OnSmmHandoffSignal(const_cast<EFI_PEI_SERVICES**>(env_.Services()), nullptr, nullptr);
    }
};

TEST_F(SmmHandoffTest, EachReturnedEntryHoldsTheDeviceAddressOfItsMappedBuffer) {
    // Device addresses above 4 GB: all eight bytes of an entry count.
    env_.iommu().SetDeviceOffset(0x100000000ull);
    ASSERT_EQ(Signal(), EFI_SUCCESS);
    EXPECT_EQ(env_.smm().Functions(), (std::vector<uint64_t>{4, 5}));
    ASSERT_EQ(env_.smm().Received().size(), 1u);
    const auto& returned = env_.smm().Received()[0];
    const auto mappings = env_.iommu().Mappings();
    ASSERT_EQ(mappings.size(), 9u);
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(returned.addresses[i], mappings[i].host + 0x100000000ull) << i;
        EXPECT_EQ(mappings[i].bytes, env_.smm().sizes[i]) << i;
        EXPECT_TRUE(returned.usable[i]) << i;
    }
    EXPECT_EQ(env_.iommu().LiveBuffers(), 9u);
}

TEST_F(SmmHandoffTest, AHandlerThatLeavesThePresetStatusEndsTheExchangeAfterFunction4) {
    env_.smm().fetchStatus.reset();
    EXPECT_EQ(Signal(), EFI_NOT_FOUND);
    EXPECT_EQ(env_.smm().Functions(), std::vector<uint64_t>{4});
    EXPECT_TRUE(env_.iommu().Mappings().empty());
    EXPECT_EQ(env_.iommu().LiveBuffers(), 0u);
}

TEST_F(SmmHandoffTest, TheHandlersStatusIsTakenFromItsLowerHalf) {
    env_.smm().fetchStatus = 0x1234567880000007ull;
    EXPECT_EQ(Signal(), EFI_DEVICE_ERROR);
    env_.smm().fetchStatus = 0xFFFFFFFF00000000ull;
    env_.smm().returnStatus = 0x80000009;
    EXPECT_EQ(Signal(), EFI_OUT_OF_RESOURCES);
}

TEST_F(SmmHandoffTest, TheFifthAllocationFailingUndoesTheFourBefore) {
    machine_->faults().Add(R"({"kind": "IoMmuAllocateBuffer", "skip": 4, "outcome": {"error": 9}})");
    EXPECT_EQ(Signal(), EFI_OUT_OF_RESOURCES);
    EXPECT_EQ(env_.smm().Functions(), std::vector<uint64_t>{4});
    EXPECT_EQ(Calls("IoMmuAllocateBuffer"), 5u);
    EXPECT_EQ(Calls("IoMmuUnmap"), 4u);
    EXPECT_TRUE(env_.iommu().Mappings().empty());
    EXPECT_EQ(env_.iommu().LiveBuffers(), 0u);
    // Each buffer went back with the page count it was allocated with, not its device address.
    for (int i = 0; i < 4; ++i) {
        const auto pages = (env_.smm().sizes[i] + 4095) / 4096;
        EXPECT_GE(Calls("IoMmuFreeBuffer", R"({"pages": )" + std::to_string(pages) + "}"), 1u) << i;
    }
    EXPECT_TRUE(env_.DmaRefusals().empty());
}

TEST_F(SmmHandoffTest, AFailedMappingUndoesTheBuffersMadeSoFar) {
    machine_->faults().Add(R"({"kind": "IoMmuMap", "skip": 2, "outcome": {"error": 9}})");
    EXPECT_EQ(Signal(), EFI_OUT_OF_RESOURCES);
    EXPECT_TRUE(env_.iommu().Mappings().empty());
    EXPECT_EQ(env_.iommu().LiveBuffers(), 0u);
}

TEST_F(SmmHandoffTest, AnEmptyBufferIsRefusedAndTheExchangeUndone) {
    env_.smm().sizes[3] = 0;
    EXPECT_EQ(Signal(), EFI_OUT_OF_RESOURCES);
    EXPECT_EQ(env_.iommu().LiveBuffers(), 0u);
}

TEST_F(SmmHandoffTest, ACommunicationFailureEndsTheExchange) {
    machine_->faults().Add(
        R"({"kind": "SmmCommunicate", "match": {"function": 5}, "outcome": {"error": 7}})");
    EXPECT_EQ(Signal(), EFI_DEVICE_ERROR);
    // The buffers stay mapped: the module keeps no record of them.
    EXPECT_EQ(env_.iommu().Mappings().size(), 9u);
}

TEST_F(SmmHandoffTest, WithoutTheCommunicationPpiNothingIsSent) {
    env_.ppis().Remove(gEfiPeiSmmCommunicationPpiGuid);
    EXPECT_EQ(Signal(), EFI_NOT_FOUND);
    EXPECT_TRUE(env_.iommu().Mappings().empty());
}

TEST_F(SmmHandoffTest, AnotherFunctionIsReportedAndSentAllTheSame) {
    SmmBufferEntry entries[9] = {};
    EXPECT_EQ(SmmCommunicateIommu(3, entries), EFI_UNSUPPORTED);
    EXPECT_EQ(env_.Assertions(), std::vector<std::string>{"(Function == 4) || (Function == 5)"});
    EXPECT_EQ(env_.smm().Functions(), std::vector<uint64_t>{3});
}

TEST_F(SmmHandoffTest, NoSmmCallOutsideAnS3Resume) {
    env_.SetBootMode(BOOT_WITH_FULL_CONFIGURATION);
    EXPECT_EQ(Signal(), EFI_SUCCESS);
    EXPECT_EQ(Calls("SmmCommunicate"), 0u);
}

TEST_F(SmmHandoffTest, TheModuleWaitsForTheSignalOnlyWithAnIommu) {
    gMoxSecPeim = MoxSecPeimGlobals{};
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(env_.ppis().Notifies(gSmmHandoffSignalPpiGuid).size(), 1u);
    EXPECT_EQ(Calls("SmmCommunicate"), 0u);
    env_.platform().InstallSmmHandoffSignal();
    EXPECT_EQ(env_.smm().Functions(), (std::vector<uint64_t>{4, 5}));
}

TEST_F(SmmHandoffTest, ASignalInstalledBeforeTheModuleRunsStartsTheExchangeAtRegistration) {
    gMoxSecPeim = MoxSecPeimGlobals{};
    env_.platform().InstallSmmHandoffSignal();
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(env_.smm().Functions(), (std::vector<uint64_t>{4, 5}));
}

TEST(SmmWithoutIommuTest, TheModuleNeitherWaitsNorCalls) {
    sim::ScopedMachine machine;
    sim::pei::Environment env;
    gMoxSecPeim = MoxSecPeimGlobals{};
    env.SetBootMode(BOOT_ON_S3_RESUME);
    env.smm().Install();
    env.platform().InstallSmmHandoffSignal();
    EXPECT_EQ(MoxSecPeimEntry(nullptr, env.Services()), EFI_SUCCESS);
    EXPECT_TRUE(env.ppis().Notifies(gSmmHandoffSignalPpiGuid).empty());
    EXPECT_TRUE(env.smm().Functions().empty());
}

TEST_F(SmmHandoffTest, ANormalBootNeverSendsAnything) {
    gMoxSecPeim = MoxSecPeimGlobals{};
    env_.SetBootMode(BOOT_ON_S4_RESUME);
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    env_.platform().InstallSmmHandoffSignal();
    EXPECT_EQ(Calls("SmmCommunicate"), 0u);
}

} // namespace

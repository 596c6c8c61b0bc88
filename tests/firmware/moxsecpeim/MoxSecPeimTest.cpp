// The module's entry and S3 resume flow on the default machine and on machines with other
// controllers.
#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include "firmware/moxsecpeim/Ahci.h"
#include "firmware/moxsecpeim/RemapBarPpi.h"
#include "firmware/moxsecpeim/SmmHandoff.h"
#include "platform/uefi/pi/PeiAtaPassThru.h"
#include "platform/uefi/pi/PlatformStoragePpis.h"

namespace {

using FlowTest = PeiModuleTest;

TEST_F(FlowTest, ServicesWithoutTheirSignatureAreRefusedBeforeAnythingIsDone) {
    env_.Table().Hdr.Signature = 0x5652455320494551ULL; // "QEI SERV"
    env_.SetBootMode(BOOT_ON_S3_RESUME);
    EXPECT_EQ(RunModule(), EFI_UNSUPPORTED);
    EXPECT_EQ(gMoxSecPeim.PeiServices, nullptr);
    EXPECT_EQ(Installed(gMoxRemapBarPpiGuid), 0u);
    EXPECT_EQ(Calls("PeiLocatePpi") + Calls("PeiPciCfgRead") + Calls("PeiStall"), 0u);
}

TEST_F(FlowTest, ANormalBootInstallsOnlyTheBarWindowPpi) {
    env_.SetBootMode(BOOT_WITH_FULL_CONFIGURATION);
    env_.platform().InstallControllerPath();
    env_.iommu().Install();
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(Installed(gMoxRemapBarPpiGuid), 1u);
    EXPECT_EQ(Installed(gEdkiiPeiAtaPassThruPpiGuid), 0u);
    for (const EFI_GUID* waited : {&gControllerPathPpiGuid, &gPchnStoragePpiGuid, &gSmmHandoffSignalPpiGuid})
        EXPECT_TRUE(env_.ppis().Notifies(*waited).empty());
    EXPECT_EQ(gMoxSecPeim.SataController, nullptr);
    EXPECT_EQ(SataCommand() & 0x6, 0);
    // The counter was calibrated on the way: 3 ms against the Stall PPI.
    EXPECT_EQ(gMoxSecPeim.TscTicksPerMicrosecond, 2400u);
}

struct Controller {
    const char* name;
    uint16_t vendor, device;
    uint32_t classCode;
};

class UnsupportedControllerTest : public PeiModuleTest, public ::testing::WithParamInterface<Controller> {
protected:
    UnsupportedControllerTest()
        : PeiModuleTest(SataMachine(GetParam().vendor, GetParam().device, GetParam().classCode)) {}
};

TEST_P(UnsupportedControllerTest, InstallsNothingAndWaitsForNothing) {
    env_.SetBootMode(BOOT_ON_S3_RESUME);
    env_.iommu().Install();
    EXPECT_EQ(RunModule(), EFI_UNSUPPORTED);
    EXPECT_EQ(Installed(gMoxRemapBarPpiGuid) + Installed(gEdkiiPeiAtaPassThruPpiGuid), 0u);
    for (const EFI_GUID* waited : {&gControllerPathPpiGuid, &gPchnStoragePpiGuid, &gSmmHandoffSignalPpiGuid})
        EXPECT_TRUE(env_.ppis().Notifies(*waited).empty());
    EXPECT_EQ(Calls("PeiGetBootMode"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Controllers, UnsupportedControllerTest,
                         ::testing::Values(Controller{"OtherVendor", 0x8086, 0x2826, 0x010400},
                                           Controller{"UnlistedDevice", 0x1F4A, 0x2830, 0x010400},
                                           Controller{"PastTheLastIdOfABase", 0x1F4A, 0x43E0, 0x010400},
                                           Controller{"AhciMode", 0x1F4A, 0x2826, 0x010601},
                                           Controller{"Absent", 0xFFFF, 0xFFFF, 0x010400}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SupportedControllerTest, ListedIdsAndEveryIdOfABaseInRaidModeAreSupported) {
    for (uint16_t device : {0x2822, 0x2826, 0x282F, 0x43D0, 0x43DF, 0xA35A}) {
        sim::ScopedMachine machine(SataMachine(0x1F4A, device));
        sim::pei::Environment env;
        gMoxSecPeim = MoxSecPeimGlobals{};
        gMoxSecPeim.PeiServices = env.Services();
        EXPECT_TRUE(IsSupportedSataController(0x170000)) << std::hex << device;
    }
}

// What an S3 resume leaves behind, compared between the two orders the platform may install its PPIs
// in.
struct ResumeState {
    EFI_STATUS entry;
    size_t ataPassThru, remapBar, pathNotifies, pages;
    uint16_t command;
    std::vector<uint8_t> path;
    uint8_t ports;
    uint32_t attributes;
    bool operator==(const ResumeState&) const = default;
};

// One S3 resume of the default machine; ControllerPathPpi arrives before the module runs or after.
ResumeState Resume(bool pathAtEntry) {
    sim::ScopedMachine machine;
    sim::pei::Environment env;
    gMoxSecPeim = MoxSecPeimGlobals{};
    env.SetBootMode(BOOT_ON_S3_RESUME);
    if (pathAtEntry)
        env.platform().InstallControllerPath();
    const EFI_STATUS entry = MoxSecPeimEntry(nullptr, env.Services());
    if (!pathAtEntry) {
        EXPECT_EQ(env.ppis().Installed(gEdkiiPeiAtaPassThruPpiGuid).size(), 0u);
        EXPECT_EQ(gMoxSecPeim.SataController, nullptr);
        env.platform().InstallControllerPath();
    }
    ResumeState s{entry,
                  env.ppis().Installed(gEdkiiPeiAtaPassThruPpiGuid).size(),
                  env.ppis().Installed(gMoxRemapBarPpiGuid).size(),
                  env.ppis().Notifies(gControllerPathPpiGuid).size(),
                  env.pages().Live(sim::pei::PageArena::Owner::PeiServices),
                  static_cast<uint16_t>(env.pci().Find(0, 0x17, 0)->Get(0x04, 2)),
                  {},
                  0,
                  0};
    if (const SataControllerRecord* r = gMoxSecPeim.SataController) {
        auto* bytes = reinterpret_cast<const uint8_t*>(r->DevicePath);
        s.path.assign(bytes, bytes + r->DevicePathLength);
        s.ports = r->PortBitmap;
        s.attributes = r->AtaPassThru.Mode->Attributes;
    }
    return s;
}

TEST(ResumeTest, TheControllerComesUpTheSameWhetherItsPathIsThereAtEntryOrInstalledLater) {
    ResumeState atEntry = Resume(true);
    EXPECT_EQ(atEntry.entry, EFI_SUCCESS);
    EXPECT_EQ(atEntry.ataPassThru, 1u);
    EXPECT_EQ(atEntry.remapBar, 1u);
    EXPECT_EQ(atEntry.pathNotifies, 0u);
    EXPECT_EQ(atEntry.command & 0x6, 0x6);
    EXPECT_EQ(atEntry.path,
              (std::vector<uint8_t>{0x02, 0x01, 0x0C, 0x00, 0xD0, 0x41, 0x03, 0x0A, 0x00, 0x00, 0x00,
                                    0x00, 0x01, 0x01, 0x06, 0x00, 0x00, 0x17, 0x7F, 0xFF, 0x04, 0x00}));
    EXPECT_EQ(atEntry.attributes, uint32_t{EFI_ATA_PASS_THRU_ATTRIBUTES_PHYSICAL});

    const ResumeState later = Resume(false);
    EXPECT_EQ(later.pathNotifies, 1u);
    atEntry.pathNotifies = 1;
    EXPECT_EQ(later, atEntry);
}

struct FailingStep {
    const char* name;
    const char* rule;
    bool pathAtEntry, pchnAtEntry;
    EFI_STATUS expected;
};

class FailingStepTest : public PeiModuleTest, public ::testing::WithParamInterface<FailingStep> {};

// Each step's failure ends the module with that failure, except the platform storage walk's, which the
// module passes over.
TEST_P(FailingStepTest, EndsTheModuleWithTheStepsStatus) {
    env_.SetBootMode(BOOT_ON_S3_RESUME);
    env_.iommu().Install();
    if (GetParam().pathAtEntry)
        env_.platform().InstallControllerPath();
    if (GetParam().pchnAtEntry) {
        env_.platform().pchnEndStatus = EFI_DEVICE_ERROR;
        env_.platform().InstallPchnStorage();
    }
    machine_->faults().Add(GetParam().rule);
    EXPECT_EQ(RunModule(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FailingStepTest,
    ::testing::Values(
        FailingStep{
            "BarWindowInstall",
            R"({"kind": "PeiInstallPpi", "match": {"guid": "35e19da5-f946-4ec5-b8cc-97f57fd8c93c"}, "outcome": {"error": 9}})",
            false, false, EFI_OUT_OF_RESOURCES},
        FailingStep{"BootMode", R"({"kind": "PeiGetBootMode", "outcome": {"error": 7}})", false, false,
                    EFI_DEVICE_ERROR},
        FailingStep{
            "SmmHandoffNotify",
            R"({"kind": "PeiNotifyPpi", "match": {"guid": "8f9d4825-797d-48fc-8471-845025792ef6"}, "outcome": {"error": 9}})",
            false, false, EFI_OUT_OF_RESOURCES},
        FailingStep{
            "ControllerPathNotify",
            R"({"kind": "PeiNotifyPpi", "match": {"guid": "62f52aed-f299-4167-8e94-ea619f0512ad"}, "outcome": {"error": 3}})",
            false, false, EFI_UNSUPPORTED},
        FailingStep{"RecordPages", R"({"kind": "PeiAllocatePages", "outcome": {"error": 9}})", true, false,
                    EFI_OUT_OF_RESOURCES},
        FailingStep{"AhciBuffers", R"({"kind": "IoMmuAllocateBuffer", "skip": 2, "outcome": {"error": 9}})",
                    true, false, EFI_OUT_OF_RESOURCES},
        FailingStep{"ControllerPath", R"({"kind": "ControllerPathGetPath", "outcome": {"error": 14}})", true,
                    false, EFI_NOT_FOUND},
        FailingStep{
            "AtaPassThruInstall",
            R"({"kind": "PeiInstallPpi", "match": {"guid": "a16473fd-d474-4c89-aec7-90b83c738609"}, "outcome": {"error": 9}})",
            true, false, EFI_OUT_OF_RESOURCES},
        FailingStep{
            "PchnNotify",
            R"({"kind": "PeiNotifyPpi", "match": {"guid": "5da70373-d684-4b95-9aae-726da3fd47cb"}, "outcome": {"error": 9}})",
            false, false, EFI_OUT_OF_RESOURCES},
        FailingStep{"PchnWalkIsPassedOver",
                    R"({"kind": "PchnStorageGetDeviceBase", "outcome": {"error": 7}})", false, true,
                    EFI_SUCCESS}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FlowTest, TheRemappedDevicesNeedTheControllerFirst) {
    UseServices();
    EXPECT_EQ(SetupRemappedDevices(), EFI_DEVICE_ERROR);
    EXPECT_EQ(Calls("PeiPciCfgWrite"), 0u);
}

} // namespace

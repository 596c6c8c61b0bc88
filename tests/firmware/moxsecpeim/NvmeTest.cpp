// NVMe devices and the NVM Express pass-through PPI, over the simulated NVMe controller.
#include <cstring>

#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include "firmware/moxsecpeim/DmaBuffers.h"
#include "firmware/moxsecpeim/Nvme.h"
#include "firmware/moxsecpeim/StorageSecurity.h"
#include "firmware/moxsecpeim/Timer.h"

namespace {

constexpr uint32_t kBase = 0xFD000000;

// An NVMe controller at 2:0.0 whose registers lie at kBase, with its disk on adapter port 1; the
// SATA controller `sataDevice` at 0:23.0.
sim::MachineBuilder NvmeMachine(uint16_t sataDevice = 0x2826) {
    return PciMachine({PciNode(0x1F4A, sataDevice, 0, 0x17, 0, 0x010400, kSataBars),
                       PciNode(0x1C8F, 0x5012, 2, 0, 0, 0x010802, R"(["0xFD000000"])")})
        .Set("/adapters", R"([{"port": 1, "instance_id": "PCI\\VEN_1C8F&DEV_5012\\2&0&0"}])")
        .Set("/disks", R"([{"port": 1, "protocol": "nvme", "model": "Virel NV2 1TB", "serial": "NV2-0042",
                            "firmware": "3B2QGXA7", "pci_vendor": "0x1C8F", "sectors": 1953525168}])");
}

class NvmeTest : public PeiModuleTest {
protected:
    explicit NvmeTest(const sim::MachineBuilder& machine = NvmeMachine()) : PeiModuleTest(machine) {
        UseServices();
        StartTimer();
        env_.pci().Find(2, 0, 0)->Set(0x04, 2, 0x6);
    }
    sim::pei::NvmeController& Model() { return *env_.Nvme(2, 0, 0); }
    NvmeDevice* Create(uint32_t base = kBase) { return NvmeCreateDevice(0x02000000, base); }
    template <class T> T* Pages(size_t bytes) {
        return reinterpret_cast<T*>(*env_.pages().Allocate((bytes + 4095) / 4096, EfiBootServicesData,
                                                           sim::pei::PageArena::Owner::PeiServices));
    }
    EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* PassThruOf(NvmeDevice* device) {
        EXPECT_EQ(InstallNvmePassThru(device), EFI_SUCCESS);
        return &gMoxSecPeim.NvmePassThruList->Ppi;
    }
    std::vector<int> Opcodes() {
        std::vector<int> all;
        for (const auto& c : Model().commands)
            all.push_back(c.Opcode());
        return all;
    }
};

TEST_F(NvmeTest, ADeviceComesUpWithItsQueuesAndItsBootMarkerCounted) {
    Model().bootMarker = 254;
    NvmeDevice* device = Create();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->PageSize, 4096u);
    EXPECT_EQ(device->NamespaceCount, 1u);
    EXPECT_EQ(Opcodes(), (std::vector<int>{0x06, 0x0A, 0x09, 0x05, 0x01}));
    EXPECT_EQ(Model().bootMarker, 255);
    EXPECT_EQ(Model().ioCompletionBase, device->Io.CompletionBase);
    EXPECT_EQ(Model().ioSubmissionBase, device->Io.SubmissionBase);
    // Entries 0, 1, 0, 1 in turn; the third command waited for the phase tag to turn 0.
    std::vector<int> slots;
    for (const auto& c : Model().commands)
        slots.push_back(c.slot);
    EXPECT_EQ(slots, (std::vector<int>{0, 1, 0, 1, 0}));
    EXPECT_EQ(device->Admin.CompletionHead, 1);
    EXPECT_EQ(device->Admin.Phase, 0);
}

TEST_F(NvmeTest, AMarkerAt255IsNotWrittenBack) {
    Model().bootMarker = 255;
    ASSERT_NE(Create(), nullptr);
    EXPECT_EQ(Opcodes(), (std::vector<int>{0x06, 0x0A, 0x05, 0x01}));
}

TEST_F(NvmeTest, ABaseOffTheWindowGridIsRefusedUnread) {
    EXPECT_EQ(Create(kBase + 0x2000), nullptr);
    EXPECT_EQ(Create(0), nullptr);
    EXPECT_EQ(Calls("PeiMemRead"), 0u);
    EXPECT_NE(Create(kBase), nullptr);
}

TEST_F(NvmeTest, ACapabilityTimeoutOf0WaitsFiveSeconds) {
    Model().timeout = 0;
    Model().readyDelayUs = 4900000;
    EXPECT_NE(Create(), nullptr);
    Model().readyDelayUs = 5200000;
    EXPECT_EQ(Create(), nullptr);
}

TEST_F(NvmeTest, ADeviceWithoutNamespacesComesUpOnlyAsThePlatformsOwnDevice) {
    Model().namespaces = 0;
    EXPECT_EQ(Create(), nullptr);
}

class NoNamespaceTest : public NvmeTest {
protected:
    NoNamespaceTest() : NvmeTest(NvmeMachine(MOX_NVME_NO_NAMESPACE_DEVICE_ID)) {}
};

TEST_F(NoNamespaceTest, ThePlatformsDeviceComesUpWithoutIoQueues) {
    Model().namespaces = 0;
    // Its configuration space is read at the address given: here the SATA controller's.
    NvmeDevice* device = NvmeCreateDevice(0x170000, kBase);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->NoNamespace, 1);
    EXPECT_EQ(Opcodes(), (std::vector<int>{0x06}));
    DevicePathRecord record{};
    EXPECT_EQ(NvmeEnumerateNamespaces(device, &record, 0), 1);
    EXPECT_EQ(gMoxSecPeim.StorageSecurityList, nullptr);
}

struct PrpCase {
    uint32_t offset, length;
    bool fits;
    bool secondPage;
};

TEST_F(NvmeTest, PrpsNameAtMostTwoPages) {
    NvmeDevice device{};
    device.PageSize = 4096;
    for (const PrpCase& c : {PrpCase{512, 4096, true, true}, PrpCase{512, 512, true, false},
                             PrpCase{0, 8192, true, true}, PrpCase{0, 8193, false, false},
                             PrpCase{512, 8192, false, false}, PrpCase{3584, 4608, true, true}}) {
        UINT64 prp1 = 1, prp2 = 1;
        EXPECT_EQ(NvmeBuildPrp(&device, &prp1, &prp2, 0x10000 + c.offset, c.length) == TRUE, c.fits)
            << c.length;
        EXPECT_EQ(prp1, 0x10000u + c.offset);
        EXPECT_EQ(prp2, c.secondPage ? 0x11000u : 0u) << c.offset << " " << c.length;
    }
}

TEST_F(NvmeTest, TheSecurityCommandsPassThroughAndOtherCommandsDoNot) {
    NvmeDevice* device = Create();
    ASSERT_NE(device, nullptr);
    EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* ppi = PassThruOf(device);
    uint8_t* buffer = Pages<uint8_t>(3 * 4096);
    std::memset(buffer, 0x3C, 3 * 4096);
    EFI_NVM_EXPRESS_COMMAND command{};
    EFI_NVM_EXPRESS_COMPLETION completion{};
    EFI_NVM_EXPRESS_PASS_THRU_COMMAND_PACKET packet{};
    packet.NvmeCmd = &command;
    packet.NvmeCompletion = &completion;
    packet.TransferBuffer = buffer + 512;
    packet.TransferLength = 4096;
    command.Cdw0 = 0x81;
    command.Cdw10 = 0xEF000100;
    command.Cdw11 = 4096;
    const size_t before = Model().commands.size();
    EXPECT_EQ(ppi->PassThru(ppi, 0, &packet), EFI_SUCCESS);
    ASSERT_EQ(Model().commands.size(), before + 1);
    EXPECT_EQ(Model().commands.back().Prp2(), reinterpret_cast<uintptr_t>(buffer) + 4096);
    EXPECT_EQ(Model().securityData, std::vector<uint8_t>(4096, 0x3C));

    // Three pages: refused before the controller sees it.
    packet.TransferLength = 8192;
    command.Cdw11 = 8192;
    EXPECT_EQ(ppi->PassThru(ppi, 0, &packet), EFI_DEVICE_ERROR);
    EXPECT_EQ(Model().commands.size(), before + 1);
    EXPECT_TRUE(env_.DmaRefusals().empty());

    const size_t writes = Calls("PeiMemWrite");
    command.Cdw0 = 0x02; // Get Log Page
    EXPECT_EQ(ppi->PassThru(ppi, 0, &packet), EFI_UNSUPPORTED);
    command.Cdw0 = 0x82;
    packet.QueueType = NVME_IO_QUEUE;
    EXPECT_EQ(ppi->PassThru(ppi, 0, &packet), EFI_UNSUPPORTED);
    packet.QueueType = NVME_ADMIN_QUEUE;
    EXPECT_EQ(ppi->PassThru(ppi, 2, &packet), EFI_INVALID_PARAMETER);
    command.Cdw0 = 0x06;
    packet.TransferBuffer = nullptr;
    EXPECT_EQ(ppi->PassThru(ppi, 0, &packet), EFI_INVALID_PARAMETER);
    EXPECT_EQ(Calls("PeiMemWrite"), writes);

    UINT32 nsid = 0xFFFFFFFF;
    EXPECT_EQ(ppi->GetNextNameSpace(ppi, &nsid), EFI_SUCCESS);
    EXPECT_EQ(nsid, 1u);
    EXPECT_EQ(ppi->GetNextNameSpace(ppi, &nsid), EFI_NOT_FOUND);
    EXPECT_EQ(ppi->GetDevicePath(ppi, nullptr, nullptr), EFI_UNSUPPORTED);
}

TEST_F(NvmeTest, ACompletionWithAnErrorStatusIsCopiedAndFails) {
    NvmeDevice* device = Create();
    ASSERT_NE(device, nullptr);
    machine_->faults().Add(R"({"kind": "NvmeCommand", "match": {"opcode": 130}, "outcome": {"status": 2}})");
    uint8_t* buffer = Pages<uint8_t>(512);
    EXPECT_EQ(NvmeSecurityCommand(device, TRUE, 1, 1, buffer, 512, 1000000), 0);
}

TEST_F(NvmeTest, ATimeoutResetsTheControllerAndUnmapsTheBuffer) {
    env_.iommu().Install();
    LocateIommu(env_.Services());
    NvmeDevice* device = Create();
    ASSERT_NE(device, nullptr);
    const size_t mappings = env_.iommu().Mappings().size();
    machine_->faults().Add(
        R"({"kind": "NvmeCommand", "match": {"opcode": 130}, "times": 1, "outcome": {"no_completion": true}})");
    uint8_t* buffer = Pages<uint8_t>(512);
    const UINT32 adminBefore = device->Admin.SubmissionBase;
    EXPECT_EQ(NvmeSecurityCommand(device, TRUE, 1, 1, buffer, 512, 100000), 0);
    EXPECT_NE(device->Admin.SubmissionBase, adminBefore);
    EXPECT_EQ(gMoxSecPeim.NvmeConsecutiveResets, 0);
    // The new queues are mapped; the data buffer is not any more.
    EXPECT_EQ(env_.iommu().Mappings().size(), mappings + 4);
    for (const auto& m : env_.iommu().Mappings())
        EXPECT_NE(m.host, reinterpret_cast<uintptr_t>(buffer));
    EXPECT_EQ(NvmeSecurityCommand(device, TRUE, 1, 1, buffer, 512, 100000), 1);
}

TEST_F(NvmeTest, TheSixthResetInARowIsRefusedUntried) {
    NvmeDevice* device = Create();
    ASSERT_NE(device, nullptr);
    gMoxSecPeim.NvmeConsecutiveResets = 5;
    const size_t reads = Calls("PeiMemRead");
    EXPECT_FALSE(NvmeResetController(device));
    EXPECT_EQ(gMoxSecPeim.NvmeConsecutiveResets, 0);
    EXPECT_EQ(Calls("PeiMemRead"), reads);
    gMoxSecPeim.NvmeConsecutiveResets = 4;
    EXPECT_TRUE(NvmeResetController(device));
    EXPECT_EQ(gMoxSecPeim.NvmeConsecutiveResets, 0);
}

TEST_F(NvmeTest, ThePlatformsDevicesComeUpWithTheFixedPathOfTheirPlace) {
    using Device = sim::pei::PlatformPpis::PchnDevice;
    env_.platform().pchnDevices = {Device{EFI_SUCCESS, kBase, EFI_SUCCESS, 2, 0, 0}};
    env_.platform().InstallPchnStorage();
    EXPECT_EQ(ProcessPchnDevices(), EFI_NOT_FOUND);
    EXPECT_EQ(Installed(gEdkiiPeiNvmExpressPassThruPpiGuid), 1u);
    ASSERT_NE(gMoxSecPeim.StorageSecurityList, nullptr);
    const StorageSecurityRecord& record = *gMoxSecPeim.StorageSecurityList;
    EXPECT_EQ(record.Kind, uint32_t{MOX_STORAGE_KIND_NVME});
    EXPECT_EQ(record.Port, 0xFF);
    ASSERT_EQ(record.DevicePathLength, 32u);
    const auto* path = reinterpret_cast<const uint8_t*>(record.DevicePath);
    EXPECT_EQ(path[22] | (path[23] << 8), 0x8001);
}

} // namespace

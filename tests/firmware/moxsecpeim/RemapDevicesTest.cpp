// Discovery of the NVMe devices remapped behind the SATA controller, over its remap register block.
#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include "firmware/moxsecpeim/Nvme.h"
#include "firmware/moxsecpeim/PciAccess.h"
#include "firmware/moxsecpeim/RemapBarPpi.h"
#include "firmware/moxsecpeim/RemapDevices.h"
#include "firmware/moxsecpeim/StorageSecurity.h"
#include "platform/uefi/pi/PeiNvmExpressPassThru.h"

namespace {

const std::string kVirel = R"(PCI\\VEN_1C8F&DEV_5012\\2&0&0)";
const std::string kCorvan = R"(PCI\\VEN_1D79&DEV_2263\\1&0&0)";
const std::string kAhci = R"(PCI\\VEN_1F4A&DEV_43B0\\3&0&0)";

// The SATA controller with BAR5 at `bar5` and its remap block; two NVMe functions and an AHCI one that
// its slots may name.
sim::MachineBuilder RemapMachine(const std::string& remap, const std::string& bar5 = "0xFE000000") {
    return PciMachine({PciNode(0x1F4A, 0x2826, 0, 0x17, 0, 0x010400,
                               R"(["0", "0", "0", "0", "0", ")" + bar5 + R"("])"),
                       PciNode(0x1C8F, 0x5012, 2, 0, 0, 0x010802), PciNode(0x1D79, 0x2263, 1, 0, 0, 0x010802),
                       PciNode(0x1F4A, 0x43B0, 3, 0, 0, 0x010601)})
        .Set("/devices/nodes/0/pci/remap", remap)
        .Set("/adapters", R"([{"port": 1, "instance_id": ")" + kVirel + R"("},
                              {"port": 2, "instance_id": ")" +
                              kCorvan + R"("}])")
        .Set("/disks", R"([{"port": 1, "protocol": "nvme", "model": "Virel NV2 1TB", "serial": "NV2-0042",
                            "firmware": "3B2QGXA7", "pci_vendor": "0x1C8F", "sectors": 1953525168},
                           {"port": 2, "protocol": "nvme", "model": "Corvan P5 512G", "serial": "CP5-51200",
                            "firmware": "1.02", "pci_vendor": "0x1D79", "sectors": 1000215216}])");
}

std::string Slots(const std::vector<std::pair<int, std::string>>& slots, bool enabled = true) {
    std::string list;
    for (const auto& [slot, node] : slots)
        list += (list.empty() ? "" : ", ") + std::string(R"({"slot": )") + std::to_string(slot) +
                R"(, "node": ")" + node + R"("})";
    return R"({"id": "0xA0D3", "enabled": )" + std::string(enabled ? "true" : "false") + R"(, "slots": [)" +
           list + "]}";
}

class RemapTest : public PeiModuleTest {
protected:
    explicit RemapTest(const sim::MachineBuilder& machine) : PeiModuleTest(machine) {
        env_.SetBootMode(BOOT_ON_S3_RESUME);
        env_.platform().InstallControllerPath();
    }
    sim::pei::SataController& Sata() { return *env_.Sata(0, 0x17, 0); }
    // The HBA port values of the storage security PPIs' device paths, in installation order.
    std::vector<uint16_t> SecurityPorts() {
        std::vector<uint16_t> ports;
        for (StorageSecurityRecord* r = gMoxSecPeim.StorageSecurityList; r; r = r->Next) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(r->DevicePath);
            const uint32_t node = r->DevicePathLength - 14;
            EXPECT_EQ(bytes[node], 0x03);
            ports.push_back(static_cast<uint16_t>(bytes[node + 4] | (bytes[node + 5] << 8)));
        }
        return ports;
    }
    std::vector<uint32_t> Registers() {
        std::vector<uint32_t> read = Sata().remapReads;
        return read;
    }
};

class SlotMap101Test : public RemapTest {
protected:
    SlotMap101Test() : RemapTest(RemapMachine(Slots({{0, kVirel}, {2, kCorvan}}))) {}
};

TEST_F(SlotMap101Test, SlotsZeroAndTwoComeUpAndSlotOneIsNotRead) {
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(Installed(gEdkiiPeiNvmExpressPassThruPpiGuid), 2u);
    EXPECT_EQ(gMoxSecPeim.Remap.Count, 2);
    EXPECT_EQ(SecurityPorts(), (std::vector<uint16_t>{0x100, 0x400}));
    EXPECT_EQ(gMoxSecPeim.NvmePassThruList->Device->RegisterBase, 0xFE004000u);
    EXPECT_EQ(gMoxSecPeim.NvmePassThruList->Next->Device->RegisterBase, 0xFE00C000u);
    // The id, the control register, the slot map and the class registers of slots 0 and 2 (each with
    // the register after it).
    EXPECT_EQ(Registers(), (std::vector<uint32_t>{0xC0, 0xA4, 0xA4, 0x1800, 0x1880, 0x1884, 0x1980, 0x1984}));
    EXPECT_TRUE(env_.DmaRefusals().empty());
}

struct Case {
    const char* name;
    std::string remap;
    std::vector<uint32_t> registers;
    uint8_t records;
};

class RemapCaseTest : public RemapTest, public ::testing::WithParamInterface<Case> {
protected:
    RemapCaseTest() : RemapTest(RemapMachine(GetParam().remap)) {}
};

TEST_P(RemapCaseTest, BringsUpNothing) {
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(Installed(gEdkiiPeiNvmExpressPassThruPpiGuid), 0u);
    EXPECT_EQ(Registers(), GetParam().registers);
    EXPECT_EQ(gMoxSecPeim.Remap.Count, GetParam().records);
    // The ATA side comes up all the same.
    EXPECT_EQ(Installed(gEdkiiPeiAtaPassThruPpiGuid), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Remaps, RemapCaseTest,
    ::testing::Values(
        Case{"NoSlotInUse", Slots({}), {0xC0, 0xA4, 0xA4, 0x1800}, 0},
        Case{"RemappingDisabled", Slots({{0, kVirel}}, false), {0xC0, 0xA4}, 0},
        Case{"UnsupportedId",
             R"({"id": "0x1234", "slots": [{"slot": 0, "node": ")" + kVirel + R"("}]})",
             {0xC0},
             0},
        Case{"AnAhciFunctionInTheSlot", Slots({{1, kAhci}}), {0xC0, 0xA4, 0xA4, 0x1800, 0x1900, 0x1904}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SlotMap101Test, DisabledOrUnsupportedResetsTheState) {
    UseServices();
    Sata().remapEnabled = false;
    gMoxSecPeim.Remap.Count = 7;
    DiscoverRemappedDevices(0x170000);
    EXPECT_EQ(gMoxSecPeim.Remap.PciAddress, MOX_PCI_ADDRESS_NONE);
    EXPECT_EQ(gMoxSecPeim.Remap.Base, 0u);
    EXPECT_EQ(gMoxSecPeim.Remap.Count, 0);
    EXPECT_FALSE(IsRemapCapableId(0x2826));
    EXPECT_TRUE(IsRemapCapableId(0xA0D3));
}

// A BAR5 aligned to 16 KB but not to 64 KB: the module forms a slot's window by setting its bit in
// BAR5, the BAR-window PPI by adding its offset. Only the latter names the windows the controller
// decodes: slot 0's bit is set in BAR5 already (the module reads the AHCI registers there) and
// slot 2's window comes out as slot 1's.
class UnalignedBar5Test : public RemapTest {
protected:
    UnalignedBar5Test() : RemapTest(RemapMachine(Slots({{0, kVirel}, {2, kCorvan}}), "0xFE004000")) {}
};

TEST_F(UnalignedBar5Test, TheModuleMissesTheWindowsThePpiNames) {
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(Installed(gEdkiiPeiNvmExpressPassThruPpiGuid), 0u);
    EXPECT_TRUE(Sata().slots[0].nvme->commands.empty());
    EXPECT_TRUE(Sata().slots[2].nvme->commands.empty());
    VOID* ppi = nullptr;
    ASSERT_EQ(env_.Table().LocatePpi(env_.Services(), &gMoxRemapBarPpiGuid, 0, nullptr, &ppi), EFI_SUCCESS);
    UINT32 address = 0, high = 0;
    const RemapBarRequest request{0, 0x17, 0, 0, 0x100};
    EXPECT_EQ(
        static_cast<MoxRemapBarPpi*>(ppi)->GetRemappedDeviceBar(env_.Services(), &request, &address, &high),
        EFI_SUCCESS);
    EXPECT_EQ(address, 0xFE008000u);
    // Slot 0's controller answers there.
    EXPECT_EQ(env_.pci().MemRead(address + 0x08, 4), 0x00010400u);
}

} // namespace

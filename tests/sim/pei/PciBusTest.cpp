// The PCI functions of a machine as the PEI phase sees them, and the strict description of theirs.
#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/uefi/pi/PeiPciCfg2.h"
#include "sim/Machine.h"
#include "sim/pei/PeiEnvironment.h"

namespace {

uint32_t Read(sim::pei::Environment& env, uint8_t bus, uint8_t device, uint8_t function, uint32_t reg,
              EFI_PEI_PCI_CFG_PPI_WIDTH width = EfiPeiPciCfgWidthUint32, EFI_STATUS* status = nullptr) {
    const EFI_PEI_SERVICES* s = *env.Services();
    uint32_t value = 0;
    const EFI_STATUS st = s->PciCfg->Read(env.Services(), s->PciCfg, width,
                                          EFI_PEI_PCI_CFG_ADDRESS(bus, device, function, reg), &value);
    if (status)
        *status = st;
    return value;
}

TEST(PciBusTest, TheDefaultMachinesSataControllerIsAtItsLocationWithItsIdentityAndBar5) {
    sim::ScopedMachine machine;
    sim::pei::Environment env;
    EXPECT_EQ(Read(env, 0, 0x17, 0, 0x00), 0x28261F4Au);
    EXPECT_EQ(Read(env, 0, 0x17, 0, 0x08), 0x01040011u);
    EXPECT_EQ(Read(env, 0, 0x17, 0, 0x2C), 0x7A211F4Au);
    EXPECT_EQ(Read(env, 0, 0x17, 0, 0x24), 0xFE000000u);
    EXPECT_EQ(Read(env, 0, 0x17, 0, 0x10), 0x0000F091u);
    // The NVMe device below the root port at 0:29.0.
    EXPECT_EQ(Read(env, 2, 0, 0, 0x00), 0x50121C8Fu);
    EXPECT_EQ(Read(env, 2, 0, 0, 0x08) >> 8, 0x010802u);
    EXPECT_EQ(Read(env, 0, 0x17, 1, 0x00), 0xFFFFFFFFu);
    EXPECT_EQ(Read(env, 9, 0, 0, 0x00, EfiPeiPciCfgWidthUint16), 0xFFFFu);
}

TEST(PciBusTest, WritesKeepTheDevicesIdentityAndMisalignedAccessesAreRefused) {
    sim::ScopedMachine machine;
    sim::pei::Environment env;
    const EFI_PEI_SERVICES* s = *env.Services();
    uint32_t value = 0xFFFFFFFF;
    for (uint32_t reg : {0x00u, 0x08u, 0x2Cu, 0x04u})
        EXPECT_EQ(s->PciCfg->Write(env.Services(), s->PciCfg, EfiPeiPciCfgWidthUint32,
                                   EFI_PEI_PCI_CFG_ADDRESS(0, 0x17, 0, reg), &value),
                  EFI_SUCCESS);
    EXPECT_EQ(Read(env, 0, 0x17, 0, 0x00), 0x28261F4Au);
    EXPECT_EQ(Read(env, 0, 0x17, 0, 0x2C), 0x7A211F4Au);
    // The command register takes the write; the status register beside it does not.
    EXPECT_EQ(Read(env, 0, 0x17, 0, 0x04), 0x0000FFFFu);
    EFI_STATUS status = EFI_SUCCESS;
    Read(env, 0, 0x17, 0, 0x02, EfiPeiPciCfgWidthUint32, &status);
    EXPECT_EQ(status, EFI_INVALID_PARAMETER);
    Read(env, 0, 0x17, 0, 0x00, EfiPeiPciCfgWidthUint64, &status);
    EXPECT_EQ(status, EFI_INVALID_PARAMETER);
}

struct Block : sim::pei::MmioDevice {
    uint64_t Read(uint64_t offset, unsigned) override { return 0x1000 + offset; }
    void Write(uint64_t, unsigned, uint64_t) override {}
};

TEST(PciBusTest, RegistersBehindABarAnswerOnlyWhileTheFunctionDecodesMemory) {
    sim::ScopedMachine machine;
    sim::pei::Environment env;
    Block block;
    // Beside the SATA controller's own registers at its BAR5, gated by the same function.
    env.pci().MapMmio(0xFD000000, 0x10000, &block, env.pci().Find(0, 0x17, 0));
    const EFI_PEI_SERVICES* s = *env.Services();
    EXPECT_EQ(s->CpuIo->MemRead32(env.Services(), s->CpuIo, 0xFD000010), 0xFFFFFFFFu);
    env.pci().Find(0, 0x17, 0)->Set(0x04, 2, 0x0002);
    EXPECT_EQ(s->CpuIo->MemRead32(env.Services(), s->CpuIo, 0xFD000010), 0x1010u);
    uint16_t values[2] = {};
    EXPECT_EQ(s->CpuIo->Mem.Read(env.Services(), s->CpuIo, EfiPeiCpuIoWidthUint16, 0xFD000020, 2, values),
              EFI_SUCCESS);
    EXPECT_EQ(values[0], 0x1020);
    EXPECT_EQ(values[1], 0x1022);
    // An access that runs past the block's end belongs to no model.
    EXPECT_EQ(s->CpuIo->MemRead64(env.Services(), s->CpuIo, 0xFD00FFFC), ~uint64_t{0});
}

TEST(PciDescriptionTest, FirmwareFactsOfANodeAreCheckedStrictly) {
    const auto node = [](const std::string& pci) {
        return sim::MachineBuilder("pei").Set(
            "/devices",
            R"({"nodes": [{"id": "PCI\\VEN_1F4A&DEV_2826\\0", "properties": {"BusNumber": 0, "Address": "0x170000"}, "pci": )" +
                pci + "}]}");
    };
    EXPECT_THROW(sim::ScopedMachine m(node(R"({"bars": [0, 0, 0, 0, 0, 0, 0]})")), std::runtime_error);
    EXPECT_THROW(sim::ScopedMachine m(node(R"({"bars": ["0x1FFFFFFFF"]})")), std::runtime_error);
    EXPECT_THROW(sim::ScopedMachine m(node(R"({"bar5": 1})")), std::runtime_error);
    sim::ScopedMachine fine(node(R"({"bars": [-1, "0xFE000000"]})"));
    sim::pei::Environment env;
    EXPECT_EQ(Read(env, 0, 0x17, 0, 0x10), 0xFFFFFFFFu);
    EXPECT_EQ(Read(env, 0, 0x17, 0, 0x14), 0xFE000000u);
}

TEST(PciDescriptionTest, FirmwareFactsNeedAPciFunctionToBelongTo) {
    sim::ScopedMachine machine(sim::MachineBuilder("pei").Set(
        "/devices",
        R"({"nodes": [{"id": "PCI\\VEN_1F4A&DEV_2826\\0", "properties": {"BusNumber": 0}, "pci": {"bars": []}}]})"));
    EXPECT_THROW(sim::pei::Environment env, std::runtime_error);
}

TEST(PciDescriptionTest, TwoFunctionsAtOneLocationAreRefused) {
    sim::ScopedMachine machine(sim::MachineBuilder("pei").Set(
        "/devices",
        R"({"nodes": [{"id": "PCI\\VEN_1F4A&DEV_2826\\0", "properties": {"BusNumber": 0, "Address": 0}},
                                  {"id": "PCI\\VEN_1F4A&DEV_2827\\0", "properties": {"BusNumber": 0, "Address": 0}}]})"));
    EXPECT_THROW(sim::pei::Environment env, std::runtime_error);
}

} // namespace

TEST(PciDescriptionTest, ARemapBlockIsCheckedAndItsSlotsMustNameANode) {
    const auto sata = [](const std::string& remap) {
        return sim::MachineBuilder("pei").Set(
            "/devices",
            R"({"nodes": [{"id": "PCI\\VEN_1F4A&DEV_2826\\0", "properties": {"BusNumber": 0, "Address": "0x170000",
                "PciBaseClass": 1, "PciSubClass": 4}, "pci": {"bars": [0, 0, 0, 0, 0, "0xFE000000"], "remap": )" +
                remap + "}}]}");
    };
    EXPECT_THROW(sim::ScopedMachine m(sata(R"({"slots": [{"slot": 3, "node": "x"}]})")), std::runtime_error);
    EXPECT_THROW(sim::ScopedMachine m(sata(R"({"slots": [{"slot": 0}]})")), std::runtime_error);
    EXPECT_THROW(sim::ScopedMachine m(sata(R"({"window": 1})")), std::runtime_error);
    sim::ScopedMachine dangling(
        sata(R"({"id": "0xA0D3", "slots": [{"slot": 0, "node": "PCI\\VEN_1C8F\\9"}]})"));
    EXPECT_THROW(sim::pei::Environment env, std::runtime_error);
}

TEST(PciDescriptionTest, TheDefaultMachinesSataControllerShowsItsDrivesAndRemappedDevices) {
    sim::ScopedMachine machine;
    sim::pei::Environment env;
    sim::pei::SataController* sata = env.Sata(0, 0x17, 0);
    ASSERT_NE(sata, nullptr);
    EXPECT_EQ(sata->ahci.pi, 0x0Fu);
    for (unsigned port = 0; port < 4; ++port)
        EXPECT_TRUE(sata->ahci.ports[port].drive.has_value()) << port;
    EXPECT_TRUE(sata->remapEnabled);
    ASSERT_NE(sata->slots[0].nvme, nullptr);
    ASSERT_NE(sata->slots[1].nvme, nullptr);
    EXPECT_EQ(sata->slots[2].present, false);
    // Slot 0 holds the Virel NV2 1TB: its Identify Controller model number at byte 24.
    EXPECT_EQ(
        std::string(sata->slots[0].nvme->identify.begin() + 24, sata->slots[0].nvme->identify.begin() + 37),
        "Virel NV2 1TB");
}

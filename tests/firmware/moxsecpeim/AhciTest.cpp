// The AHCI ports and the ATA pass-through PPI, over the simulated host bus adapter and its drives.
#include <cstring>

#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include "firmware/moxsecpeim/Ahci.h"
#include "platform/uefi/pi/PeiAtaPassThru.h"

namespace {

const char* kSataId = R"("PCI\\VEN_1F4A&DEV_2826\\0&23&0")";

// The SATA controller with these "disks" entries on its adapter (port 0), path 0, target = AHCI port.
sim::MachineBuilder DriveMachine(const std::string& disks, const std::string& adapter = "") {
    return PciMachine({PciNode(0x1F4A, 0x2826, 0, 0x17, 0, 0x010400, kSataBars)})
        .Set("/adapters", std::string(R"([{"port": 0, "instance_id": )") + kSataId + adapter + "}]")
        .Set("/disks", disks);
}

std::string Drive(int port, const std::string& extra = "") {
    return R"({"port": 0, "path": 0, "target": )" + std::to_string(port) +
           R"(, "model": "Tamsin TS512S3", "serial": "TS-00)" + std::to_string(port) +
           R"(", "firmware": "2B7Q", "sectors": 1000215216)" + extra + "}";
}

class AhciTest : public PeiModuleTest {
protected:
    explicit AhciTest(const sim::MachineBuilder& machine) : PeiModuleTest(machine) {
        env_.SetBootMode(BOOT_ON_S3_RESUME);
        env_.platform().InstallControllerPath();
    }
    sim::pei::AhciHba& Hba() { return env_.Sata(0, 0x17, 0)->ahci; }
    EDKII_PEI_ATA_PASS_THRU_PPI* Ppi() {
        VOID* ppi = nullptr;
        EXPECT_EQ(env_.Table().LocatePpi(env_.Services(), &gEdkiiPeiAtaPassThruPpiGuid, 0, nullptr, &ppi),
                  EFI_SUCCESS);
        return static_cast<EDKII_PEI_ATA_PASS_THRU_PPI*>(ppi);
    }
    // Memory the controller can reach, as the platform's callers have it.
    template <class T> T* Pages(size_t bytes) {
        return reinterpret_cast<T*>(*env_.pages().Allocate((bytes + 4095) / 4096, EfiBootServicesData,
                                                           sim::pei::PageArena::Owner::PeiServices));
    }
    EFI_STATUS Identify(UINT16 port, uint8_t* data, EFI_ATA_STATUS_BLOCK* asb, UINT64 timeout = 0) {
        EFI_ATA_COMMAND_BLOCK acb{};
        acb.AtaCommand = 0xEC;
        EFI_ATA_PASS_THRU_COMMAND_PACKET packet{};
        packet.Asb = asb;
        packet.Acb = &acb;
        packet.Timeout = timeout;
        packet.InDataBuffer = data;
        packet.InTransferLength = 512;
        packet.Protocol = EFI_ATA_PASS_THRU_PROTOCOL_PIO_DATA_IN;
        return Ppi()->PassThru(Ppi(), port, 0, &packet);
    }
};

class FourDrivesTest : public AhciTest {
protected:
    FourDrivesTest()
        : AhciTest(DriveMachine("[" + Drive(0) + ", " + Drive(1, R"(, "protocol": "atapi")") + ", " +
                                    Drive(3) + ", " + Drive(5) + "]",
                                R"(, "ports": [{"path": 0, "target": 5, "cmd": "0x00082000"}], )"
                                R"("ahci": {"cap": "0x50000007"})")) {}
};

TEST_F(FourDrivesTest, AtaDrivesComeUpAndAtapiDrivesAndOpenTraysAreSkipped) {
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(gMoxSecPeim.SataController->PortBitmap, 0b1001);
    // The ATAPI signature: ATAPI bit set, ST clear.
    EXPECT_EQ(Hba().ports[1].cmd & ((1u << 24) | 1u), 1u << 24);
    // The open tray: DET forced to 4.
    EXPECT_EQ(Hba().ports[5].sctl & 0xF, 4u);
    // Each ATA drive got IDENTIFY and the highest UDMA mode of word 88.
    EXPECT_EQ(Hba().ports[0].drive->transferMode, 0x46);
    EXPECT_EQ(Hba().ports[3].drive->transferMode, 0x46);

    uint8_t* data = Pages<uint8_t>(512);
    EFI_ATA_STATUS_BLOCK asb{};
    EXPECT_EQ(Identify(3, data, &asb), EFI_SUCCESS);
    EXPECT_EQ(asb.AtaStatus, 0x50);
    // Model number, ATA byte order, from word 27.
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data) + 54, 4), "aTsm");
    EXPECT_EQ(Identify(1, data, &asb), EFI_INVALID_PARAMETER);
    EXPECT_TRUE(env_.DmaRefusals().empty());
}

TEST_F(FourDrivesTest, AProtocolTheModuleDoesNotCarryIsRefusedWithoutTouchingTheHardware) {
    ASSERT_EQ(RunModule(), EFI_SUCCESS);
    EFI_ATA_COMMAND_BLOCK acb{};
    EFI_ATA_STATUS_BLOCK asb{};
    EFI_ATA_PASS_THRU_COMMAND_PACKET packet{};
    packet.Asb = &asb;
    packet.Acb = &acb;
    packet.Protocol = EFI_ATA_PASS_THRU_PROTOCOL_DMA;
    const size_t writes = Calls("PeiMemWrite");
    EXPECT_EQ(Ppi()->PassThru(Ppi(), 0, 0, &packet), EFI_UNSUPPORTED);
    // A packet without its blocks is refused before they are read.
    packet.Protocol = EFI_ATA_PASS_THRU_PROTOCOL_ATA_NON_DATA;
    packet.Asb = nullptr;
    EXPECT_EQ(Ppi()->PassThru(Ppi(), 0, 0, &packet), EFI_INVALID_PARAMETER);
    EXPECT_EQ(Calls("PeiMemWrite"), writes);
}

TEST_F(FourDrivesTest, GetNextPortWalksTheBitmapOnceAndGetNextDeviceHasOnlyTheDirectDevice) {
    ASSERT_EQ(RunModule(), EFI_SUCCESS);
    gMoxSecPeim.SataController->PortBitmap = 0b00100100;
    std::vector<UINT16> walk;
    UINT16 port = 0xFFFF;
    while (Ppi()->GetNextPort(Ppi(), &port) == EFI_SUCCESS)
        walk.push_back(port);
    EXPECT_EQ(walk, (std::vector<UINT16>{2, 5}));
    port = 0xFF;
    EXPECT_EQ(Ppi()->GetNextPort(Ppi(), &port), EFI_NOT_FOUND);
    UINT16 multiplier = 0xFFFF;
    EXPECT_EQ(Ppi()->GetNextDevice(Ppi(), 2, &multiplier), EFI_SUCCESS);
    EXPECT_EQ(multiplier, 0);
    EXPECT_EQ(Ppi()->GetNextDevice(Ppi(), 2, &multiplier), EFI_NOT_FOUND);
}

TEST_F(FourDrivesTest, TrustedCommandsCarryTheirLengthAndDirection) {
    ASSERT_EQ(RunModule(), EFI_SUCCESS);
    AhciContext* ahci = gMoxSecPeim.SataController->Ahci;
    uint8_t* buffer = Pages<uint8_t>(4096);
    EXPECT_EQ(AhciTrustedCommandChecked(ahci, 0, TRUE, 1, 0x0001, buffer, 1000, 1000000), AHCI_DEVICE_ERROR);
    EXPECT_TRUE(Hba().security.empty());
    EXPECT_EQ(AhciTrustedCommandChecked(ahci, 0, TRUE, 1, 0x0100, nullptr, 0, 1000000), AHCI_SUCCESS);
    ASSERT_EQ(Hba().commands.size() > 0, true);
    const auto& fis = Hba().commands.back().fis;
    EXPECT_EQ(fis[2], 0x5B);
    EXPECT_EQ(fis[7], 0x41);
    std::memset(buffer, 0x5A, 1024);
    EXPECT_EQ(AhciTrustedCommandChecked(ahci, 0, FALSE, 2, 0x0004, buffer, 1024, 1000000), AHCI_SUCCESS);
    std::memset(buffer, 0, 1024);
    EXPECT_EQ(AhciTrustedCommandChecked(ahci, 0, TRUE, 2, 0x0004, buffer, 512, 1000000), AHCI_SUCCESS);
    EXPECT_EQ(buffer[511], 0x5A);
    ASSERT_EQ(Hba().security.size(), 3u);
    EXPECT_EQ(Hba().security[1].command, 0x5E);
    EXPECT_EQ(Hba().security[1].bytes, 1024u);
    EXPECT_EQ(Hba().security[1].specific, 0x0004);
    EXPECT_EQ(Hba().security[2].protocol, 2);
}

TEST_F(FourDrivesTest, ATaskFileErrorStopsClearsAndRestartsThePort) {
    ASSERT_EQ(RunModule(), EFI_SUCCESS);
    machine_->faults().Add(R"({"kind": "AhciCommand", "match": {"port": 0, "command": 236}, "times": 1,
                                "outcome": {"task_file_error": true, "error": 4}})");
    uint8_t* data = Pages<uint8_t>(512);
    EFI_ATA_STATUS_BLOCK asb{};
    EXPECT_EQ(Identify(0, data, &asb), EFI_DEVICE_ERROR);
    EXPECT_EQ(Hba().ports[0].is, 0u);
    EXPECT_EQ(Hba().ports[0].serr, 0u);
    EXPECT_EQ(Hba().ports[0].cmd & 1u, 1u);
    // The port serves the next command.
    EXPECT_EQ(Identify(0, data, &asb), EFI_SUCCESS);
}

TEST_F(FourDrivesTest, ATimedOutCommandIsStoppedBeforeItsBufferIsUnmapped) {
    env_.iommu().Install();
    ASSERT_EQ(RunModule(), EFI_SUCCESS);
    machine_->faults().Add(R"({"kind": "AhciCommand", "match": {"port": 0}, "times": 1,
                                "outcome": {"no_completion": true, "late": true}})");
    uint8_t* data = Pages<uint8_t>(512);
    EFI_ATA_STATUS_BLOCK asb{};
    // 100 ms in 100 ns units.
    EXPECT_EQ(Identify(0, data, &asb, 1000000), EFI_DEVICE_ERROR);
    EXPECT_EQ(Hba().ports[0].cmd & 1u, 0u);
    EXPECT_EQ(Identify(0, data, &asb), EFI_SUCCESS);
    // The late command never moved its data into memory the IOMMU no longer maps.
    EXPECT_TRUE(env_.DmaRefusals().empty());
    EXPECT_TRUE(env_.iommu().Mappings().size() == 3u);
}

class BringUpTest : public AhciTest {
protected:
    BringUpTest() : AhciTest(DriveMachine("[" + Drive(0, R"(, "tcg": {"locking_enabled": true})") + "]")) {}
};

TEST_F(BringUpTest, AHostResetThatNeverCompletesLeavesAnEmptyBitmapAndStillInstallsThePpi) {
    machine_->faults().Add(R"({"kind": "AhciHostReset", "outcome": {"stuck": true}})");
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(gMoxSecPeim.SataController->PortBitmap, 0);
    EXPECT_EQ(Installed(gEdkiiPeiAtaPassThruPpiGuid), 1u);
    EXPECT_TRUE(Hba().commands.empty());
}

TEST_F(BringUpTest, ADriveThatDoesNotSpinUpBySetFeaturesIsSpunUpByAReadDma) {
    Hba().ports[0].drive->needsSpinUp = true;
    Hba().ports[0].drive->spinUpBySetFeatures = false;
    EXPECT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(gMoxSecPeim.SataController->PortBitmap, 1);
    std::vector<int> issued;
    for (const auto& c : Hba().commands)
        issued.push_back(c.fis[2]);
    EXPECT_EQ(issued, (std::vector<int>{0xEC, 0xEF, 0xC8, 0xEC, 0xEF}));
    EXPECT_EQ(Hba().commands[2].fis[7], 0x40);
    EXPECT_EQ(Hba().commands[2].fis[12], 1);
}

TEST_F(BringUpTest, APacketTimeoutOfZeroWaitsWithoutLimit) {
    ASSERT_EQ(RunModule(), EFI_SUCCESS);
    uint8_t* data = Pages<uint8_t>(512);
    EFI_ATA_STATUS_BLOCK asb{};
    env_.tsc().Set(~uint64_t{0} / 2);
    EXPECT_EQ(Identify(0, data, &asb, 0), EFI_SUCCESS);
}

} // namespace

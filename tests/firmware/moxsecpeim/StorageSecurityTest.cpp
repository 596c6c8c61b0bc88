// The storage security command PPIs as the platform's resume-time drive unlock code uses them: one per
// drive, found by its device path, sending and receiving security protocol data.
#include <cstring>
#include <map>

#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include "firmware/moxsecpeim/Ahci.h"
#include "firmware/moxsecpeim/Nvme.h"
#include "firmware/moxsecpeim/StorageSecurity.h"
#include "platform/uefi/pi/PeiNvmExpressPassThru.h"
#include "platform/uefi/pi/PeiStorageSecurityCommand.h"

namespace {

// The default machine, its four SATA drives with the trusted computing feature set.
sim::MachineBuilder TrustedDefault() {
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    for (int disk : {1, 4, 5, 6})
        machine.Set("/disks/" + std::to_string(disk) + "/trusted_computing", "true");
    return machine;
}

// What the drive unlock code finds of one drive.
struct Found {
    EDKII_PEI_STORAGE_SECURITY_CMD_PPI* ppi;
    std::vector<uint8_t> path;
    // The SATA node's HBA port number.
    uint16_t hbaPort;
};

class DriveUnlockTest : public PeiModuleTest {
protected:
    explicit DriveUnlockTest(const sim::MachineBuilder& machine = TrustedDefault()) : PeiModuleTest(machine) {
        env_.SetBootMode(BOOT_ON_S3_RESUME);
        env_.iommu().Install();
        env_.platform().InstallControllerPath();
    }
    std::vector<Found> Drives() {
        std::vector<Found> found;
        for (UINTN instance = 0;; ++instance) {
            VOID* ppi = nullptr;
            if (env_.Table().LocatePpi(env_.Services(), &gEdkiiPeiStorageSecurityCommandPpiGuid, instance,
                                       nullptr, &ppi) != EFI_SUCCESS)
                return found;
            auto* p = static_cast<EDKII_PEI_STORAGE_SECURITY_CMD_PPI*>(ppi);
            UINTN count = 0;
            EXPECT_EQ(p->GetNumberofDevices(p, &count), EFI_SUCCESS);
            EXPECT_EQ(count, 1u);
            UINTN length = 0;
            EFI_DEVICE_PATH_PROTOCOL* path = nullptr;
            EXPECT_EQ(p->GetDevicePath(p, 1, &length, &path), EFI_SUCCESS);
            const auto* bytes = reinterpret_cast<const uint8_t*>(path);
            Found f{p, std::vector<uint8_t>(bytes, bytes + length), 0};
            f.hbaPort = static_cast<uint16_t>(f.path[length - 10] | (f.path[length - 9] << 8));
            found.push_back(f);
        }
    }
    template <class T> T* Pages(size_t bytes) {
        return reinterpret_cast<T*>(*env_.pages().Allocate((bytes + 4095) / 4096, EfiBootServicesData,
                                                           sim::pei::PageArena::Owner::PeiServices));
    }
    sim::pei::SataController& Sata() { return *env_.Sata(0, 0x17, 0); }
};

// The controller path of the platform with a SATA node (port multiplier none, LUN 5) and the end node.
std::vector<uint8_t> PortPath(uint16_t hbaPort) {
    return {0x02,
            0x01,
            0x0C,
            0x00,
            0xD0,
            0x41,
            0x03,
            0x0A,
            0x00,
            0x00,
            0x00,
            0x00,
            0x01,
            0x01,
            0x06,
            0x00,
            0x00,
            0x17,
            0x03,
            0x12,
            0x0A,
            0x00,
            static_cast<uint8_t>(hbaPort),
            static_cast<uint8_t>(hbaPort >> 8),
            0x00,
            0x80,
            0x05,
            0x00,
            0x7F,
            0xFF,
            0x04,
            0x00};
}

TEST_F(DriveUnlockTest, AnS3ResumeOfTheDefaultMachineReachesEachDriveByItsPath) {
    ASSERT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(gMoxSecPeim.SataController->PortBitmap, 0x0F);
    EXPECT_EQ(Installed(gEdkiiPeiNvmExpressPassThruPpiGuid), 2u);
    const std::vector<Found> drives = Drives();
    std::vector<uint16_t> ports;
    for (const Found& d : drives) {
        ports.push_back(d.hbaPort);
        EXPECT_EQ(d.path, PortPath(d.hbaPort));
    }
    // The SATA ports first, then the remapped NVMe devices of slots 0 and 1.
    EXPECT_EQ(ports, (std::vector<uint16_t>{0x1, 0x2, 0x4, 0x8, 0x100, 0x200}));

    // The unlock: a send of the password block, then a receive of the drive's answer, on each drive.
    uint8_t* block = Pages<uint8_t>(512);
    for (size_t i = 0; i < drives.size(); ++i) {
        std::memset(block, static_cast<int>(0x10 + i), 512);
        EDKII_PEI_STORAGE_SECURITY_CMD_PPI* p = drives[i].ppi;
        EXPECT_EQ(p->SendData(p, 1, 30000000, 0x01, 0x0001, 512, block), EFI_SUCCESS) << i;
        std::memset(block, 0, 512);
        UINTN transferred = 0;
        EXPECT_EQ(p->ReceiveData(p, 1, 30000000, 0x01, 0x0001, 512, block, &transferred), EFI_SUCCESS) << i;
        EXPECT_EQ(transferred, 512u);
        EXPECT_EQ(block[0], 0x10 + i) << i;
        EXPECT_EQ(block[511], 0x10 + i) << i;
    }
    // Each drive saw its own two commands, the protocol-specific value in the order its commands carry
    // it: LBA 15:8 = 0x00 and LBA 23:16 = 0x01 on ATA, CDW10 bits 23:8 = 0x0100 on NVMe.
    ASSERT_EQ(Sata().ahci.security.size(), 8u);
    for (unsigned port = 0; port < 4; ++port) {
        const auto& send = Sata().ahci.security[2 * port];
        EXPECT_EQ(send.port, port);
        EXPECT_EQ(send.command, 0x5E);
        EXPECT_EQ(send.specific, 0x0100);
        EXPECT_EQ(Sata().ahci.security[2 * port + 1].command, 0x5C);
    }
    for (int slot : {0, 1}) {
        const auto& nvme = *Sata().slots[slot].nvme;
        ASSERT_EQ(nvme.security.size(), 2u) << slot;
        EXPECT_FALSE(nvme.security[0].receive);
        EXPECT_EQ(nvme.security[0].specific, 0x0100);
        EXPECT_EQ(nvme.security[0].protocol, 0x01);
        EXPECT_TRUE(nvme.security[1].receive);
        EXPECT_EQ(nvme.security[1].bytes, 512u);
    }
    EXPECT_TRUE(env_.DmaRefusals().empty());
}

TEST_F(DriveUnlockTest, RequestsTheCommandsCannotCarryFail) {
    ASSERT_EQ(RunModule(), EFI_SUCCESS);
    const std::vector<Found> drives = Drives();
    ASSERT_EQ(drives.size(), 6u);
    EDKII_PEI_STORAGE_SECURITY_CMD_PPI* ata = drives[0].ppi;
    uint8_t* block = Pages<uint8_t>(1024);
    UINTN transferred = 0;
    EXPECT_EQ(ata->ReceiveData(ata, 1, 0, 1, 1, 513, block, &transferred), EFI_DEVICE_ERROR);
    EXPECT_EQ(transferred, 513u);
    EXPECT_TRUE(Sata().ahci.security.empty());
    UINTN length = 0;
    EFI_DEVICE_PATH_PROTOCOL* path = nullptr;
    EXPECT_EQ(ata->GetDevicePath(ata, 0, &length, &path), EFI_INVALID_PARAMETER);
    EXPECT_EQ(ata->ReceiveData(ata, 2, 0, 1, 1, 512, block, &transferred), EFI_INVALID_PARAMETER);
    EXPECT_EQ(ata->GetNumberofDevices(ata, nullptr), EFI_INVALID_PARAMETER);
    EDKII_PEI_STORAGE_SECURITY_CMD_PPI stranger{};
    EXPECT_EQ(ata->GetDevicePath(&stranger, 1, &length, &path), EFI_NOT_FOUND);
    // A drive that fails the command: the transfer size is still the buffer's.
    machine_->faults().Add(R"({"kind": "NvmeCommand", "match": {"opcode": 130}, "outcome": {"status": 2}})");
    EDKII_PEI_STORAGE_SECURITY_CMD_PPI* nvme = drives[4].ppi;
    EXPECT_EQ(nvme->ReceiveData(nvme, 1, 0, 1, 1, 512, block, &transferred), EFI_DEVICE_ERROR);
    EXPECT_EQ(transferred, 512u);
}

TEST_F(DriveUnlockTest, AFailedInstallTakesItsRecordOutOfTheList) {
    machine_->faults().Add(
        R"({"kind": "PeiInstallPpi", "match": {"guid": "35de0b4e-30fb-46c3-bd84-1fdba158bb56"}, "skip": 1,
            "times": 1, "outcome": {"error": 9}})");
    ASSERT_EQ(RunModule(), EFI_SUCCESS);
    std::vector<uint16_t> ports;
    for (StorageSecurityRecord* r = gMoxSecPeim.StorageSecurityList; r; r = r->Next)
        ports.push_back(r->Port);
    EXPECT_EQ(ports, (std::vector<uint16_t>{0, 2, 3, 0xFF, 0xFF}));
    EXPECT_EQ(Drives().size(), 5u);
}

class UntrustedDefaultTest : public DriveUnlockTest {
protected:
    UntrustedDefaultTest() : DriveUnlockTest(sim::MachineBuilder::Default()) {}
};

TEST_F(UntrustedDefaultTest, OnlyDrivesWithTheSecurityCommandsGetThePpi) {
    ASSERT_EQ(RunModule(), EFI_SUCCESS);
    EXPECT_EQ(gMoxSecPeim.SataController->PortBitmap, 0x0F);
    std::vector<uint16_t> ports;
    for (const Found& d : Drives())
        ports.push_back(d.hbaPort);
    EXPECT_EQ(ports, (std::vector<uint16_t>{0x100, 0x200}));
}

TEST(DevicePathTest, ThePlatformsDevicesGetTheFixedPathWithTheirIndex) {
    DevicePathRecord record{};
    BuildSataDevicePath(0, &record);
    EXPECT_EQ(record.HasPath, 0);
    sim::ScopedMachine machine(PeiMachine());
    sim::pei::Environment env;
    gMoxSecPeim = MoxSecPeimGlobals{};
    gMoxSecPeim.PeiServices = env.Services();
    BuildSataDevicePath(2, &record);
    ASSERT_EQ(record.HasPath, 1);
    ASSERT_EQ(record.Length, 32u);
    const auto* bytes = reinterpret_cast<const uint8_t*>(record.Path);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 32), PortPath(0x8002));

    // A controller path shorter than an end node gives no port path.
    SataControllerRecord controller{};
    const uint8_t end[4] = {0x7F, 0xFF, 0x04, 0x00};
    controller.DevicePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(const_cast<uint8_t*>(end));
    controller.DevicePathLength = 2;
    gMoxSecPeim.SataController = &controller;
    UINT32 length = 99;
    EFI_DEVICE_PATH_PROTOCOL* path = nullptr;
    BuildPortDevicePath(0x8, &length, &path);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(path, nullptr);
    controller.DevicePathLength = 4;
    BuildPortDevicePath(0x8, &length, &path);
    ASSERT_EQ(length, 14u);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(path)[4], 0x8);
}

} // namespace

// The default simulated PC read back through the driver request layer: its controller table, the
// interface versions of its controllers, and dictionaries that agree with the disks' identify data,
// their Windows views and the device tree.
#include <cstring>
#include <cwctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/core/CfgMgrPathsGetters.h"
#include "middleware/core/TextConversions.h"
#include "middleware/ioctl/AtaRequests.h"
#include "middleware/ioctl/CIoctlStorage.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/DictionaryBuffer.h"
#include "middleware/ioctl/DictionaryController.h"
#include "middleware/ioctl/DictionaryEndDevice.h"
#include "middleware/ioctl/IoctlHooks.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinCfgMgr.h"
#include "sim/Machine.h"

namespace {

// Text of a fixed field, without the blanks and zeros that pad it.
std::string Trimmed(const uint8_t* data, size_t size) {
    std::string s(reinterpret_cast<const char*>(data), size);
    s = s.substr(0, s.find('\0'));
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

// An ATA identify string: pairs of characters swapped.
std::string AtaString(const uint8_t* identify, size_t offset, size_t size) {
    std::vector<uint8_t> bytes(identify + offset, identify + offset + size);
    for (size_t i = 0; i + 1 < size; i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    return Trimmed(bytes.data(), size);
}

class DefaultMachine : public ::testing::Test {
protected:
    sim::ScopedMachine machine_; // the embedded default machine
    DeviceLocator table_;
};

TEST_F(DefaultMachine, HoldsTheVendorsTwoControllersAndAnotherVendorsNvmeAdapter) {
    struct Row {
        int32_t port;
        uint32_t flags;
        uint16_t vendor, device, subsystem;
        uint32_t rootKind;
        uint8_t rootNumber, pciDevice;
        const char* name;
        const char* service;
        uint32_t version[4];
    };
    const Row rows[] = {
        {0,
         kControllerSataRaid,
         0x1F4A,
         0x2826,
         0x7A21,
         kRootPortSat,
         0,
         23,
         "Orvex SATA RAID Controller",
         "moxraid",
         {20, 1, 0, 1007}},
        {1,
         kControllerNvme,
         0x1C8F,
         0x5012,
         0x5012,
         kRootPortRp,
         9,
         29,
         "Orvex NVMe Controller",
         "moxraid",
         {20, 1, 0, 1007}},
        {2,
         kControllerOtherNvme,
         0x1D79,
         0x2263,
         0x2263,
         kRootPortPeg,
         0,
         1,
         "Standard NVM Express Controller",
         "stornvme",
         {10, 0, 22621, 2506}},
    };
    ASSERT_EQ(DeviceLocator::GetCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const Row& r = rows[i];
        SCOPED_TRACE(r.name);
        const ControllerLocator* c = DeviceLocator::GetByIndex(i);
        EXPECT_EQ(c->portNumber, r.port);
        EXPECT_EQ(c->flags, r.flags);
        EXPECT_EQ(c->pciVendorId, r.vendor);
        EXPECT_EQ(c->pciDeviceId, r.device);
        EXPECT_EQ(c->pciSubsystemId, r.subsystem);
        EXPECT_EQ(c->rootPortKind, r.rootKind);
        EXPECT_EQ(c->rootPortNumber, r.rootNumber);
        EXPECT_EQ(c->pciDevice, r.pciDevice);
        EXPECT_EQ(c->pciFunction, 0);
        EXPECT_STREQ(c->controllerName, r.name);
        EXPECT_STREQ(c->serviceName, r.service);
        EXPECT_EQ(std::vector<uint32_t>(c->driverVersion, c->driverVersion + 4),
                  std::vector<uint32_t>(r.version, r.version + 4));
    }

    // The vendor's controllers speak every interface they need; the other vendor's adapter none.
    ControllerLocator* sata = DeviceLocator::FindByPort(0);
    ControllerLocator* nvme = DeviceLocator::FindByPort(1);
    ControllerLocator* other = DeviceLocator::FindByPort(2);
    ASSERT_NE(sata, nullptr);
    ASSERT_NE(nvme, nullptr);
    ASSERT_NE(other, nullptr);
    for (const char* signature :
         {"OrvexATA", "OrvexRmp", "OrvexCST", "OrvexFw ", "OrvexRdp", "OrvexVlp", "CSMIALL", "CSMISAS"})
        EXPECT_TRUE(IoctlInterfaceVersionStore::CheckInterfaceSupport(sata, signature)) << signature;
    EXPECT_FALSE(IoctlInterfaceVersionStore::CheckInterfaceSupport(sata, "OrvexNvm"));
    EXPECT_TRUE(IoctlInterfaceVersionStore::CheckInterfaceSupport(nvme, "OrvexNvm"));
    EXPECT_FALSE(IoctlInterfaceVersionStore::CheckInterfaceSupport(nvme, "OrvexRdp"));
    EXPECT_EQ(IoctlInterfaceVersionStore::GetVersion(*nvme, "OrvexNvm").reportedMinor, 2u);
    EXPECT_TRUE(IoctlInterfaceVersionStore::AllRequiredSupported(*sata));
    EXPECT_TRUE(IoctlInterfaceVersionStore::AllRequiredSupported(*nvme));
    EXPECT_FALSE(IoctlInterfaceVersionStore::AllRequiredSupported(*other));
    for (int feature : {kFeatureRemapDeviceInfo, kFeatureFileCacheSupport, kFeatureAhciPortLocation})
        EXPECT_TRUE(IoctlInterfaceVersionStore::CheckFeatureSupport(sata, feature)) << feature;
}

TEST_F(DefaultMachine, ControllerDictionariesDescribeTheControllers) {
    for (int32_t port : {0, 1}) {
        SCOPED_TRACE(port);
        ControllerLocator* record = DeviceLocator::FindByPort(port);
        ASSERT_NE(record, nullptr);
        CDictionaryBuffer buffer(record, kDictionaryController);
        ASSERT_TRUE(buffer.Invoke().IsSuccessful());
        CDictionaryController dictionary;
        ASSERT_TRUE(dictionary.PointToInstance(buffer).IsSuccessful());
        // The table keeps what classified the controller.
        EXPECT_EQ(
            std::memcmp(&dictionary.GetValues(), &record->dictionary, sizeof(ControllerDictionaryValues)), 0);
        const ControllerDictionaryValues& v = record->dictionary;
        EXPECT_EQ(v.controllerType, port == 0 ? 1 : 3);
        uint16_t ids[2];
        std::memcpy(ids, v.pciCommonConfig, sizeof(ids));
        EXPECT_EQ(ids[0], record->pciVendorId);
        EXPECT_EQ(ids[1], record->pciDeviceId);
        uint16_t driver[4], orom[4];
        std::memcpy(driver, v.driverVersion + 6, sizeof(driver));
        std::memcpy(orom, v.oromVersion + 6, sizeof(orom));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(driver[i], record->driverVersion[i]);
        EXPECT_EQ(std::vector<uint16_t>(orom, orom + 4), (std::vector<uint16_t>{20, 1, 0, 5}));
    }
}

// Each disk of the vendor's controllers as the end-device dictionary, the drive's own identify data
// and, for the disks Windows sees, the Windows view describe it.
TEST_F(DefaultMachine, DisksAgreeAcrossDictionariesIdentifyDataAndWindowsViews) {
    struct DiskRow {
        int32_t port;
        int target;
        const char* serial;
        const char* model;
        const char* firmware;
        uint64_t sectors;
    };
    const DiskRow rows[] = {
        {0, 0, "ZA1B2C3D", "Kelvar KV2000DM", "CC43", 3907029168}, // pass-through
        {0, 1, "ZA1B2C4E", "Kelvar KV2000DM", "CC43", 3907029168}, // spare
        {0, 2, "TS-0077", "Tamsin TS512S3", "2B7Q", 1000215216},   // RAID 1 member
        {0, 3, "TS-0078", "Tamsin TS512S3", "2B7Q", 1000215216},   // RAID 1 member
        {1, 0, "NV2-0042", "Virel NV2 1TB", "3B2Q", 1953525168},
    };
    std::map<int32_t, std::unique_ptr<CDictionaryBuffer>> buffers;
    for (int32_t port : {0, 1}) {
        buffers[port] =
            std::make_unique<CDictionaryBuffer>(DeviceLocator::FindByPort(port), kDictionaryEndDevice);
        ASSERT_TRUE(buffers[port]->Invoke().IsSuccessful());
    }
    EXPECT_EQ(buffers[0]->GetInstanceCount(), 4u);
    EXPECT_EQ(buffers[1]->GetInstanceCount(), 1u);

    for (const DiskRow& r : rows) {
        SCOPED_TRACE(r.serial);
        ControllerLocator* record = DeviceLocator::FindByPort(r.port);
        ASSERT_NE(record, nullptr);
        const uint32_t index = r.port == 0 ? static_cast<uint32_t>(r.target) : 0;
        CDictionaryEndDevice disk(index);
        ASSERT_TRUE(disk.PointToInstance(*buffers[r.port]).IsSuccessful());
        const EndDeviceDictionaryValues& v = disk.GetValues();
        EXPECT_STREQ(v.serialNumber, r.serial);
        EXPECT_STREQ(v.modelNumber, r.model);
        EXPECT_STREQ(v.firmwareVersion, r.firmware);
        EXPECT_EQ(v.lbaCount, r.sectors);
        EXPECT_EQ(v.raidportTargetId, r.target);

        if (r.port == 0) {
            CIoctlMpIdentify identify(record, PackScsiAddress(0, 0, r.target, 0));
            ASSERT_TRUE(identify.Invoke().IsSuccessful());
            const uint8_t* data = identify.GetVerifiedPayload();
            EXPECT_EQ(AtaString(data, 20, 20), r.serial);
            EXPECT_EQ(AtaString(data, 54, 40), r.model);
            EXPECT_EQ(AtaString(data, 46, 8).substr(0, 4), r.firmware);
        } else {
            CIoctlStorageGetNvmeIdentifyController identify(record->deviceHandle);
            ASSERT_TRUE(identify.Invoke().IsSuccessful());
            const uint8_t* data = identify.GetIdentifyData();
            EXPECT_EQ(Trimmed(data + 4, 20), r.serial);
            EXPECT_EQ(Trimmed(data + 24, 40), r.model);
            EXPECT_EQ(Trimmed(data + 64, 8).substr(0, 4), r.firmware);
        }
    }

    // Windows sees the RAID volume, the pass-through disk and the two NVMe disks; the spare and the
    // volume's members belong to the driver.
    struct WindowsRow {
        const wchar_t* instanceId;
        DWORD deviceNumber;
        PackedScsiAddress address;
        const char* serial;
        uint64_t bytes;
    };
    const WindowsRow windows[] = {
        {L"SCSI\\Disk&Ven_Kelvar&Prod_KV2000DM\\4&3a7b2c10&0&000000", 1, PackScsiAddress(0, 0, 0, 0),
         "ZA1B2C3D", 3907029168ull * 512},
        {L"SCSI\\Disk&Ven_Orvex&Prod_Volume0\\4&3a7b2c10&0&070000", 0, PackScsiAddress(0, 7, 0, 0), "Volume0",
         488000ull << 20},
        {L"SCSI\\Disk&Ven_NVMe&Prod_Virel_NV2_1TB\\5&1a2b3c4d&0&000000", 2, PackScsiAddress(1, 0, 0, 0),
         "NV2-0042", 1953525168ull * 512},
        {L"SCSI\\Disk&Ven_NVMe&Prod_Corvan_P5_512G\\5&3c4d5e6f&0&000000", 3, PackScsiAddress(2, 0, 0, 0),
         "CP5-51200", 1000215216ull * 512},
    };
    const std::vector<std::wstring> paths =
        MultiSzToStrings(MoxCfgMgr::DevInterfacePathsGetter(GUID_DEVINTERFACE_DISK).getPaths().list);
    ASSERT_EQ(paths.size(), std::size(windows));
    for (size_t i = 0; i < paths.size(); ++i) {
        const WindowsRow& w = windows[i];
        SCOPED_TRACE(w.serial);
        std::wstring id = w.instanceId;
        for (wchar_t& c : id)
            c = c == L'\\' ? L'#' : static_cast<wchar_t>(std::towlower(c));
        EXPECT_NE(paths[i].find(id), std::wstring::npos) << "present disk interfaces in tree order";
        HANDLE h = CreateFileWHook(paths[i].c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CIoctlDiskGetDiskAddress address(h);
        CIoctlStrorageGetDeviceNumber number(h);
        CIoctlDiskGetDriveGeometryEx geometry(h);
        CIoctlStorageGetProperty descriptor(h, 512, StorageDeviceProperty);
        ASSERT_TRUE(address.Invoke().IsSuccessful());
        ASSERT_TRUE(number.Invoke().IsSuccessful());
        ASSERT_TRUE(geometry.Invoke().IsSuccessful());
        ASSERT_TRUE(descriptor.Invoke().IsSuccessful());
        EXPECT_EQ(address.GetScsiAddress(), w.address);
        EXPECT_EQ(number.GetDeviceNumber().DeviceNumber, w.deviceNumber);
        EXPECT_EQ(static_cast<uint64_t>(geometry.GetGeometry().DiskSize.QuadPart), w.bytes);
        STORAGE_DEVICE_DESCRIPTOR d{};
        std::memcpy(&d, descriptor.GetOutBuffer(), sizeof(d));
        ASSERT_GT(d.SerialNumberOffset, 0u);
        ASSERT_LT(d.SerialNumberOffset, descriptor.GetBytesReturned());
        EXPECT_EQ(Trimmed(descriptor.GetOutBuffer() + d.SerialNumberOffset,
                          descriptor.GetBytesReturned() - d.SerialNumberOffset),
                  w.serial);
        CloseHandle(h);
    }
}

} // namespace

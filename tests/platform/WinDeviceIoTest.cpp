#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinStorage.h"
#include "sim/DeviceTree.h"
#include "sim/Machine.h"
#include "sim/devio/Miniport.h"

namespace {

using json = sim::Value;

const char* const kStoragePort = "{2accfe60-c130-11d2-b082-00a0c91efb8b}";
const char* const kDiskClass = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const char* const kRaidId = "PCI\\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11\\3&11583659&0&B8";
const char* const kNvmeId = "PCI\\VEN_1D79&DEV_2263&SUBSYS_22631D79&REV_03\\4&1f2e3d4c&0&0008";
const char* const kSataDiskId = "SCSI\\Disk&Ven_Kelvar&Prod_KV2000DM\\4&3a7b2c10&0&010000";

// A RAID controller (port 0) with a GPT SATA hard disk and an MBR SSD, and another vendor's NVMe
// adapter (port 1) with its disk; drive C: on the first disk.
json Machine() {
    return json::parse(R"({
      "name": "devio",
      "devices": { "nodes": [
        { "id": "PCI\\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11\\3&11583659&0&B8",
          "interfaces": [ { "class": "{2accfe60-c130-11d2-b082-00a0c91efb8b}" } ] },
        { "id": "PCI\\VEN_1D79&DEV_2263&SUBSYS_22631D79&REV_03\\4&1f2e3d4c&0&0008",
          "interfaces": [ { "class": "{2accfe60-c130-11d2-b082-00a0c91efb8b}" } ] },
        { "id": "SCSI\\Disk&Ven_Kelvar&Prod_KV2000DM\\4&3a7b2c10&0&010000",
          "parent": "PCI\\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11\\3&11583659&0&B8",
          "interfaces": [ { "class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}" } ] }
      ] },
      "adapters": [
        { "port": 0, "instance_id": "PCI\\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11\\3&11583659&0&B8",
          "driver": "moxraid", "bus_type": 8, "vendor": "Orvex", "model": "SATA RAID", "firmware": "20.1",
          "location": "PCI 0:23.0" },
        { "port": 1, "instance_id": "PCI\\VEN_1D79&DEV_2263&SUBSYS_22631D79&REV_03\\4&1f2e3d4c&0&0008",
          "driver": "stornvme", "bus_type": 17, "answers_scsi_address": false }
      ],
      "disks": [
        { "device_number": 0, "instance_id": "SCSI\\Disk&Ven_Kelvar&Prod_KV2000DM\\4&3a7b2c10&0&010000",
          "port": 0, "path": 0, "target": 1, "lun": 0,
          "model": "KV2000DM", "serial": "ZA1B2C3D", "firmware": "CC43",
          "sectors": 3907029168, "logical_sector_size": 512, "physical_sector_size": 4096,
          "rotation_rate": 7200,
          "cache": { "read": true, "write": false, "power_protected": false },
          "layout": { "style": "gpt", "disk_id": "{11111111-2222-3333-4444-555555555555}",
            "partitions": [
              { "type": "efi", "offset": 1048576, "length": 104857600, "name": "EFI system partition" },
              { "type": "basic", "offset": 105906176, "length": 2000000000000 } ] } },
        { "device_number": 1, "port": 0, "path": 0, "target": 2, "lun": 0,
          "model": "TS512S3", "firmware": "S3F1",
          "sectors": 1000215216,
          "layout": { "style": "mbr", "signature": "0xA1B2C3D4",
            "partitions": [ { "type": 7, "offset": 1048576, "length": 524288000, "active": true },
                            { "type": 7, "offset": 525336576, "length": 1048576000 } ] } },
        { "device_number": 2, "port": 1, "path": 0, "target": 0, "lun": 0, "protocol": "nvme",
          "model": "Virel NV2 1TB", "serial": "NV2-0042", "firmware": "5B2QGXA7", "pci_vendor": "0x1D79",
          "sectors": 1953525168 }
      ],
      "volumes": [ { "letter": "C", "disk": 0, "partition": 2 } ]
    })");
}

struct Reply {
    BOOL ok;
    DWORD error;
    DWORD bytes;
    std::vector<uint8_t> out;
};

template <class T> T As(const std::vector<uint8_t>& bytes, size_t offset = 0) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

template <class T> std::vector<uint8_t> BytesOf(const T& value) {
    std::vector<uint8_t> out(sizeof(T));
    std::memcpy(out.data(), &value, sizeof(T));
    return out;
}

class DeviceIo : public ::testing::Test {
protected:
    HANDLE Open(const std::string& path) {
        return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    HANDLE OpenOk(const std::string& path) {
        HANDLE h = Open(path);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
        handles_.push_back(h);
        return h;
    }

    Reply Control(HANDLE h, DWORD code, std::vector<uint8_t> in, size_t outSize) {
        Reply r{};
        r.out.assign(outSize, 0xCC);
        SetLastError(0);
        r.ok = DeviceIoControl(h, code, in.empty() ? nullptr : in.data(), static_cast<DWORD>(in.size()),
                               r.out.empty() ? nullptr : r.out.data(), static_cast<DWORD>(outSize), &r.bytes,
                               nullptr);
        r.error = GetLastError();
        return r;
    }

    Reply Query(HANDLE h, STORAGE_PROPERTY_ID id, size_t outSize) {
        STORAGE_PROPERTY_QUERY q{};
        q.PropertyId = id;
        q.QueryType = PropertyStandardQuery;
        return Control(h, IOCTL_STORAGE_QUERY_PROPERTY, BytesOf(q), outSize);
    }

    void TearDown() override {
        for (HANDLE h : handles_)
            CloseHandle(h);
    }

    sim::ScopedMachine machine{Machine()};
    std::vector<HANDLE> handles_;
};

TEST_F(DeviceIo, OpensAdaptersDisksAndVolumesByEveryKindOfPath) {
    struct Case {
        std::string path;
        DWORD error; // 0: opens
    };
    const std::vector<Case> cases = {
        {"\\\\.\\Scsi0:", 0},
        {"\\\\.\\SCSI1:", 0},
        {"\\\\.\\Scsi2:", ERROR_FILE_NOT_FOUND},
        {"\\\\.\\PhysicalDrive1", 0},
        {"\\\\.\\physicaldrive7", ERROR_FILE_NOT_FOUND},
        {"\\\\.\\C:", 0},
        {"\\\\.\\D:", ERROR_FILE_NOT_FOUND},
        {sim::devices::InterfacePath(kRaidId, kStoragePort), 0},
        {sim::devices::InterfacePath(kNvmeId, kStoragePort), 0},
        {sim::devices::InterfacePath(kSataDiskId, kDiskClass), 0},
        {sim::devices::InterfacePath(kSataDiskId, kStoragePort), ERROR_FILE_NOT_FOUND},
        {"C:\\some\\file.txt", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SetLastError(12345);
        HANDLE h = Open(c.path);
        if (c.error == 0) {
            EXPECT_NE(h, INVALID_HANDLE_VALUE) << c.path;
            EXPECT_EQ(GetLastError(), 0u) << c.path;
            EXPECT_TRUE(CloseHandle(h)) << c.path;
        } else {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE) << c.path;
            EXPECT_EQ(GetLastError(), c.error) << c.path;
        }
    }
    // The interface path of a disk and its legacy name reach the same disk.
    HANDLE byInterface = OpenOk(sim::devices::InterfacePath(kSataDiskId, kDiskClass));
    auto number =
        As<STORAGE_DEVICE_NUMBER>(Control(byInterface, IOCTL_STORAGE_GET_DEVICE_NUMBER, {}, 12).out);
    EXPECT_EQ(number.DeviceNumber, 0u);

    machine->faults().Add(
        sim::FaultRule{"CreateFile", {{"path", "\\\\.\\SCSI0:"}}, 0, 1, {{"win32_error", 5}}});
    EXPECT_EQ(Open("\\\\.\\Scsi0:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    auto opens = machine->calls().Of("CreateFile");
    ASSERT_FALSE(opens.empty());
    EXPECT_EQ(opens.back().selectors["access"], GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(opens.back().selectors["disposition"], OPEN_EXISTING);
}

TEST_F(DeviceIo, ControlFollowsWin32ResultAndLastErrorRules) {
    HANDLE disk = OpenOk("\\\\.\\PhysicalDrive0");

    // Invalid and closed handles never reach the machine.
    for (HANDLE h :
         {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr), reinterpret_cast<HANDLE>(0xBADFACE)}) {
        Reply r = Control(h, IOCTL_SCSI_GET_ADDRESS, {}, 8);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, ERROR_INVALID_HANDLE);
    }
    HANDLE closed = Open("\\\\.\\PhysicalDrive0");
    CloseHandle(closed);
    EXPECT_EQ(Control(closed, IOCTL_SCSI_GET_ADDRESS, {}, 8).error, ERROR_INVALID_HANDLE);
    EXPECT_EQ(machine->calls().Count("DeviceIoControl"), 0u);

    // Success leaves the thread's last error alone.
    SetLastError(4242);
    DWORD bytes = 0;
    std::vector<uint8_t> out(8);
    EXPECT_TRUE(DeviceIoControl(disk, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, out.data(), 8, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), 4242u);
    EXPECT_EQ(bytes, 8u);

    struct Case {
        const char* name;
        json outcome;
        BOOL ok;
        DWORD error; // after SetLastError(4242)
        DWORD bytes;
    };
    const std::vector<Case> cases = {
        {"busy", {{"win32_error", 170}}, FALSE, ERROR_BUSY, 0},
        {"pending", {{"win32_error", 997}}, FALSE, ERROR_IO_PENDING, 0},
        {"failure without an error", {{"win32_error", 0}}, FALSE, 4242, 0},
        {"failure with a length", {{"win32_error", 31}, {"bytes_returned", 3}}, FALSE, ERROR_GEN_FAILURE, 3},
        {"short answer", {{"bytes_returned", 4}}, TRUE, 4242, 4},
        {"over-long answer", {{"bytes_returned", 4096}}, TRUE, 4242, 4096},
    };
    for (const auto& c : cases) {
        machine->faults().Add(sim::FaultRule{"DeviceIoControl", {{"code", "0x41018"}}, 0, 1, c.outcome});
        SetLastError(4242);
        bytes = 0xFFFF;
        std::fill(out.begin(), out.end(), 0xCC);
        BOOL ok = DeviceIoControl(disk, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, out.data(), 8, &bytes, nullptr);
        EXPECT_EQ(ok, c.ok) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
        EXPECT_EQ(bytes, c.bytes) << c.name;
        if (ok)
            EXPECT_EQ(out[6], 1) << c.name << ": the answer is still written";
        else
            EXPECT_EQ(out[6], 0xCC) << c.name << ": a failed call writes nothing";
    }
}

TEST_F(DeviceIo, AWholeAnswerFaultStandsForTheRequest) {
    HANDLE disk = OpenOk("\\\\.\\PhysicalDrive0");
    struct Case {
        const char* name;
        json outcome;
        DWORD bytes;
        std::vector<uint8_t> written; // the first bytes of the buffer afterwards
    };
    const std::vector<Case> cases = {
        {"short answer", {{"answer", "0102"}}, 2, {1, 2, 0xCC}},
        {"answer cut to the buffer", {{"answer", "0102030405060708090A"}}, 8, {1, 2, 3}},
        {"answer with a claimed length", {{"answer", "01"}, {"bytes_returned", 4096}}, 4096, {1, 0xCC, 0xCC}},
    };
    for (const auto& c : cases) {
        machine->faults().Add(sim::FaultRule{"DeviceIoControl", {{"code", "0x41018"}}, 0, 1, c.outcome});
        std::vector<uint8_t> out(8, 0xCC);
        DWORD bytes = 0;
        EXPECT_TRUE(DeviceIoControl(disk, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, out.data(), 8, &bytes, nullptr))
            << c.name;
        EXPECT_EQ(bytes, c.bytes) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 3), c.written) << c.name;
    }
}

TEST_F(DeviceIo, CallLogKeepsEveryRequestWithItsInputBytes) {
    HANDLE disk = OpenOk("\\\\.\\PhysicalDrive0");
    machine->faults().Add(
        sim::FaultRule{"DeviceIoControl", {{"property_id", 7}}, 0, 1, {{"win32_error", 87}}});
    EXPECT_FALSE(Query(disk, StorageDeviceSeekPenaltyProperty, 12).ok);
    EXPECT_TRUE(Query(disk, StorageDeviceProperty, 40).ok);
    auto calls = machine->calls().Of("DeviceIoControl");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].input, (std::vector<uint8_t>{7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(calls[0].selectors["code"], IOCTL_STORAGE_QUERY_PROPERTY);
    EXPECT_EQ(calls[0].selectors["object"], "disk");
    EXPECT_EQ(calls[0].selectors["out_size"], 12);
    EXPECT_EQ(calls[1].selectors["property_id"], 0);
}

TEST_F(DeviceIo, DisksAnswerFromTheirDescription) {
    HANDLE disk = OpenOk("\\\\.\\PhysicalDrive0");

    auto address = As<SCSI_ADDRESS>(Control(disk, IOCTL_SCSI_GET_ADDRESS, {}, 8).out);
    EXPECT_EQ(address.Length, 8u);
    EXPECT_EQ(address.PortNumber, 0);
    EXPECT_EQ(address.TargetId, 1);

    Reply geometry = Control(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, {}, 40);
    ASSERT_TRUE(geometry.ok);
    EXPECT_EQ(geometry.bytes, 40u);
    auto g = As<DISK_GEOMETRY_EX>(geometry.out);
    EXPECT_EQ(g.Geometry.BytesPerSector, 512u);
    EXPECT_EQ(g.Geometry.MediaType, FixedMedia);
    EXPECT_EQ(g.DiskSize.QuadPart, 3907029168LL * 512);
    EXPECT_FALSE(Control(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, {}, 24).ok);

    auto capacity = As<STORAGE_READ_CAPACITY>(Control(disk, IOCTL_STORAGE_READ_CAPACITY, {}, 32).out);
    EXPECT_EQ(capacity.BlockLength, 512u);
    EXPECT_EQ(capacity.NumberOfBlocks.QuadPart, 3907029168LL);
    EXPECT_EQ(capacity.DiskLength.QuadPart, 3907029168LL * 512);

    auto alignment =
        As<STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR>(Query(disk, StorageAccessAlignmentProperty, 28).out);
    EXPECT_EQ(alignment.BytesPerLogicalSector, 512u);
    EXPECT_EQ(alignment.BytesPerPhysicalSector, 4096u);
    EXPECT_TRUE(As<DEVICE_SEEK_PENALTY_DESCRIPTOR>(Query(disk, StorageDeviceSeekPenaltyProperty, 12).out)
                    .IncursSeekPenalty);

    // The device descriptor: a 40-byte buffer gets its head and the whole size; the full one the texts.
    Reply head = Query(disk, StorageDeviceProperty, 40);
    ASSERT_TRUE(head.ok);
    EXPECT_EQ(head.bytes, 40u);
    const DWORD size = As<STORAGE_DESCRIPTOR_HEADER>(head.out).Size;
    Reply full = Query(disk, StorageDeviceProperty, size);
    ASSERT_TRUE(full.ok);
    auto d = As<STORAGE_DEVICE_DESCRIPTOR>(full.out);
    EXPECT_EQ(d.BusType, BusTypeSata);
    EXPECT_EQ(d.VendorIdOffset, 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(full.out.data() + d.ProductIdOffset), "KV2000DM");
    EXPECT_STREQ(reinterpret_cast<const char*>(full.out.data() + d.SerialNumberOffset), "ZA1B2C3D");
    HANDLE ssd = OpenOk("\\\\.\\PhysicalDrive1");
    Reply noSerial = Query(ssd, StorageDeviceProperty, 256);
    EXPECT_EQ(As<STORAGE_DEVICE_DESCRIPTOR>(noSerial.out).SerialNumberOffset, 0u);

    EXPECT_EQ(Query(disk, StorageDeviceTrimProperty, 64).error, ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(Control(disk, IOCTL_DISK_UPDATE_PROPERTIES, {}, 0).ok);
}

TEST_F(DeviceIo, VolumeAnswersForItsDiskAndPartition) {
    HANDLE c = OpenOk("\\\\.\\C:");
    auto number = As<STORAGE_DEVICE_NUMBER>(Control(c, IOCTL_STORAGE_GET_DEVICE_NUMBER, {}, 12).out);
    EXPECT_EQ(number.DeviceType, FILE_DEVICE_DISK);
    EXPECT_EQ(number.DeviceNumber, 0u);
    EXPECT_EQ(number.PartitionNumber, 2u);
    auto address = As<SCSI_ADDRESS>(Control(c, IOCTL_SCSI_GET_ADDRESS, {}, 8).out);
    EXPECT_EQ(address.TargetId, 1);
    EXPECT_EQ(Control(c, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, {}, 18480).error, ERROR_INVALID_FUNCTION);
}

TEST_F(DeviceIo, DriveLayoutListsGptAndMbrEntriesAsWindowsDoes) {
    Reply gpt = Control(OpenOk("\\\\.\\PhysicalDrive0"), IOCTL_DISK_GET_DRIVE_LAYOUT_EX, {}, 18480);
    ASSERT_TRUE(gpt.ok);
    EXPECT_EQ(gpt.bytes, 48u + 2 * 144);
    auto layout = As<DRIVE_LAYOUT_INFORMATION_EX>(gpt.out);
    EXPECT_EQ(layout.PartitionStyle, PARTITION_STYLE_GPT);
    EXPECT_EQ(layout.PartitionCount, 2u);
    EXPECT_EQ(layout.Gpt.DiskId.Data1, 0x11111111u);
    EXPECT_EQ(layout.Gpt.MaxPartitionCount, 128u);
    auto efi = As<PARTITION_INFORMATION_EX>(gpt.out, 48);
    EXPECT_EQ(efi.PartitionStyle, PARTITION_STYLE_GPT);
    EXPECT_TRUE(efi.Gpt.PartitionType == PARTITION_SYSTEM_GUID);
    EXPECT_EQ(efi.StartingOffset.QuadPart, 1048576);
    EXPECT_EQ(efi.PartitionNumber, 1u);
    EXPECT_EQ(efi.Gpt.Name[0], u'E');
    auto data = As<PARTITION_INFORMATION_EX>(gpt.out, 48 + 144);
    EXPECT_TRUE(data.Gpt.PartitionType == PARTITION_BASIC_DATA_GUID);
    EXPECT_EQ(data.PartitionLength.QuadPart, 2000000000000LL);

    Reply mbr = Control(OpenOk("\\\\.\\PhysicalDrive1"), IOCTL_DISK_GET_DRIVE_LAYOUT_EX, {}, 18480);
    ASSERT_TRUE(mbr.ok);
    auto m = As<DRIVE_LAYOUT_INFORMATION_EX>(mbr.out);
    EXPECT_EQ(m.PartitionStyle, PARTITION_STYLE_MBR);
    EXPECT_EQ(m.PartitionCount, 4u); // a group of four table entries
    EXPECT_EQ(m.Mbr.Signature, 0xA1B2C3D4u);
    auto first = As<PARTITION_INFORMATION_EX>(mbr.out, 48);
    EXPECT_EQ(first.Mbr.PartitionType, 7);
    EXPECT_TRUE(first.Mbr.BootIndicator);
    EXPECT_EQ(first.Mbr.HiddenSectors, 2048u);
    EXPECT_EQ(As<PARTITION_INFORMATION_EX>(mbr.out, 48 + 3 * 144).Mbr.PartitionType, 0);

    // A buffer without room for every entry is refused.
    EXPECT_EQ(Control(OpenOk("\\\\.\\PhysicalDrive1"), IOCTL_DISK_GET_DRIVE_LAYOUT_EX, {}, 48 + 144).error,
              ERROR_INSUFFICIENT_BUFFER);
}

TEST_F(DeviceIo, AtaIdentifyThroughPassThrough) {
    std::vector<uint8_t> in(560);
    ATA_PASS_THROUGH_EX apt{};
    apt.Length = sizeof(apt);
    apt.AtaFlags = ATA_FLAGS_DRDY_REQUIRED | ATA_FLAGS_DATA_IN;
    apt.DataTransferLength = 512;
    apt.TimeOutValue = 2;
    apt.DataBufferOffset = sizeof(apt);
    apt.CurrentTaskFile[6] = ATA_COMMAND_IDENTIFY_DEVICE;
    std::memcpy(in.data(), &apt, sizeof(apt));

    Reply r = Control(OpenOk("\\\\.\\PhysicalDrive0"), IOCTL_ATA_PASS_THROUGH, in, 560);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 560u);
    const uint8_t* id = r.out.data() + 48;
    EXPECT_EQ(id[434] | id[435] << 8, 7200); // word 217
    // ATA strings keep their byte pairs swapped and are padded with blanks.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id + 54), 10), "VK0200MD  ");
    EXPECT_EQ(As<ATA_PASS_THROUGH_EX>(r.out).CurrentTaskFile[6], 0x50);

    EXPECT_EQ(Control(OpenOk("\\\\.\\PhysicalDrive2"), IOCTL_ATA_PASS_THROUGH, in, 560).error,
              ERROR_INVALID_FUNCTION);
    in[0] = 40; // a header that does not describe itself
    EXPECT_EQ(Control(OpenOk("\\\\.\\PhysicalDrive0"), IOCTL_ATA_PASS_THROUGH, in, 560).error,
              ERROR_INVALID_PARAMETER);
}

TEST_F(DeviceIo, NvmeIdentifyControllerThroughProtocolSpecificProperty) {
    std::vector<uint8_t> in(4147);
    STORAGE_PROPERTY_QUERY q{};
    q.PropertyId = StorageAdapterProtocolSpecificProperty;
    std::memcpy(in.data(), &q, 8);
    STORAGE_PROTOCOL_SPECIFIC_DATA p{};
    p.ProtocolType = ProtocolTypeNvme;
    p.DataType = NVMeDataTypeIdentify;
    p.ProtocolDataRequestValue = NVME_IDENTIFY_CNS_CONTROLLER;
    p.ProtocolDataOffset = sizeof(p);
    p.ProtocolDataLength = 4096;
    std::memcpy(in.data() + 8, &p, sizeof(p));

    for (const char* path : {"\\\\.\\PhysicalDrive2", "\\\\.\\Scsi1:"}) {
        Reply r = Control(OpenOk(path), IOCTL_STORAGE_QUERY_PROPERTY, in, 4147);
        ASSERT_TRUE(r.ok) << path << " error " << r.error;
        EXPECT_EQ(r.bytes, 8u + 40 + 4096) << path;
        auto d = As<STORAGE_PROTOCOL_DATA_DESCRIPTOR>(r.out);
        EXPECT_EQ(d.ProtocolSpecificData.ProtocolDataOffset, 40u) << path;
        const uint8_t* id = r.out.data() + 8 + d.ProtocolSpecificData.ProtocolDataOffset;
        EXPECT_EQ(id[0] | id[1] << 8, 0x1D79) << path;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(id + 4), 20), "NV2-0042            ") << path;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(id + 64), 8), "5B2QGXA7") << path;
    }
    EXPECT_EQ(Control(OpenOk("\\\\.\\PhysicalDrive0"), IOCTL_STORAGE_QUERY_PROPERTY, in, 4147).error,
              ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Control(OpenOk("\\\\.\\PhysicalDrive2"), IOCTL_STORAGE_QUERY_PROPERTY, in, 4000).error,
              ERROR_INSUFFICIENT_BUFFER);
}

TEST_F(DeviceIo, PhysicalTopologyOffsetsCountFromTheNode) {
    Reply disk = Query(OpenOk("\\\\.\\PhysicalDrive0"), StorageDevicePhysicalTopologyProperty, 512);
    ASSERT_TRUE(disk.ok);
    auto t = As<STORAGE_PHYSICAL_TOPOLOGY_DESCRIPTOR>(disk.out);
    EXPECT_EQ(t.NodeCount, 1u);
    EXPECT_EQ(t.Node[0].DeviceCount, 1u);
    const size_t device = offsetof(STORAGE_PHYSICAL_TOPOLOGY_DESCRIPTOR, Node) + t.Node[0].DeviceDataOffset;
    auto data = As<STORAGE_PHYSICAL_DEVICE_DATA>(disk.out, device);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.Model), 40), "KV2000DM" + std::string(32, ' '));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.FirmwareRevision), 4), "CC43");
    EXPECT_EQ(data.CommandProtocol, ProtocolTypeAta);

    HANDLE adapter = OpenOk("\\\\.\\Scsi0:");
    Reply head = Query(adapter, StorageAdapterPhysicalTopologyProperty, 56);
    ASSERT_TRUE(head.ok);
    Reply whole =
        Query(adapter, StorageAdapterPhysicalTopologyProperty, As<STORAGE_DESCRIPTOR_HEADER>(head.out).Size);
    auto at = As<STORAGE_PHYSICAL_TOPOLOGY_DESCRIPTOR>(whole.out);
    EXPECT_EQ(at.Node[0].AdapterCount, 1u);
    auto a = As<STORAGE_PHYSICAL_ADAPTER_DATA>(whole.out, 16 + at.Node[0].AdapterDataOffset);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.Model), 9), "SATA RAID");
}

TEST_F(DeviceIo, AdaptersAnswerTheirAddressAndDescriptor) {
    HANDLE raid = OpenOk("\\\\.\\Scsi0:");
    Reply address = Control(raid, IOCTL_SCSI_GET_ADDRESS, {}, 8);
    ASSERT_TRUE(address.ok);
    EXPECT_EQ(As<SCSI_ADDRESS>(address.out).PortNumber, 0);
    auto d = As<STORAGE_ADAPTER_DESCRIPTOR>(Query(raid, StorageAdapterProperty, 32).out);
    EXPECT_EQ(d.BusType, BusTypeRAID);
    EXPECT_EQ(d.Size, 32u);

    HANDLE nvme = OpenOk(sim::devices::InterfacePath(kNvmeId, kStoragePort));
    EXPECT_EQ(Control(nvme, IOCTL_SCSI_GET_ADDRESS, {}, 8).error, ERROR_INVALID_FUNCTION);
    EXPECT_EQ(As<STORAGE_ADAPTER_DESCRIPTOR>(Query(nvme, StorageAdapterProperty, 32).out).BusType,
              BusTypeNvme);
    // A disk asks its adapter.
    EXPECT_EQ(
        As<STORAGE_ADAPTER_DESCRIPTOR>(Query(OpenOk("\\\\.\\PhysicalDrive2"), StorageAdapterProperty, 32).out)
            .BusType,
        BusTypeNvme);
}

TEST_F(DeviceIo, CacheSettingsAreReadAndWrittenBack) {
    HANDLE disk = OpenOk("\\\\.\\PhysicalDrive0");
    auto info = As<DISK_CACHE_INFORMATION>(Control(disk, IOCTL_DISK_GET_CACHE_INFORMATION, {}, 24).out);
    EXPECT_TRUE(info.ReadCacheEnabled);
    EXPECT_FALSE(info.WriteCacheEnabled);
    info.WriteCacheEnabled = TRUE;
    EXPECT_TRUE(Control(disk, IOCTL_DISK_SET_CACHE_INFORMATION, BytesOf(info), 0).ok);
    EXPECT_TRUE(As<DISK_CACHE_INFORMATION>(Control(disk, IOCTL_DISK_GET_CACHE_INFORMATION, {}, 24).out)
                    .WriteCacheEnabled);

    auto setting = As<DISK_CACHE_SETTING>(Control(disk, IOCTL_DISK_GET_CACHE_SETTING, {}, 12).out);
    EXPECT_EQ(setting.Version, 12u);
    EXPECT_FALSE(setting.IsPowerProtected);
    setting.IsPowerProtected = TRUE;
    EXPECT_TRUE(Control(disk, IOCTL_DISK_SET_CACHE_SETTING, BytesOf(setting), 0).ok);
    EXPECT_TRUE(machine->Snapshot()["disks"][0]["cache"]["power_protected"].get<bool>());

    // A set request that fails changes nothing, unless the device carried it out before failing.
    setting.IsPowerProtected = FALSE;
    machine->faults().Add(
        sim::FaultRule{"DeviceIoControl", {{"code", "0x7C0E4"}}, 0, 1, {{"win32_error", 31}}});
    EXPECT_FALSE(Control(disk, IOCTL_DISK_SET_CACHE_SETTING, BytesOf(setting), 0).ok);
    EXPECT_TRUE(machine->Snapshot()["disks"][0]["cache"]["power_protected"].get<bool>());
    machine->faults().Add(
        sim::FaultRule{"DeviceIoControl", {{"code", "0x7C0E4"}}, 0, 1, {{"win32_error", 31}, {"run", true}}});
    EXPECT_FALSE(Control(disk, IOCTL_DISK_SET_CACHE_SETTING, BytesOf(setting), 0).ok);
    EXPECT_FALSE(machine->Snapshot()["disks"][0]["cache"]["power_protected"].get<bool>());
}

TEST_F(DeviceIo, MiniportRequestsReachTheAdaptersDriverBySignatureAndCode) {
    std::vector<sim::devio::DriverRequest> seen;
    sim::devio::ScopedDriverHandler handler("moxraid", "OrvexTst", 0x80000D01,
                                            [&](sim::devio::DriverRequest& r) {
                                                seen.push_back(r);
                                                r.buffer[28] = 0x5A;
                                                r.SetReturnCode(0);
                                                return sim::devio::DriverAnswer{};
                                            });
    std::vector<uint8_t> in(36);
    SRB_IO_CONTROL srb{28, {'O', 'r', 'v', 'e', 'x', 'T', 's', 't'}, 500, 0x80000D01, 0x00010200, 8};
    std::memcpy(in.data(), &srb, sizeof(srb));

    Reply r = Control(OpenOk("\\\\.\\Scsi0:"), IOCTL_SCSI_MINIPORT, in, 36);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.bytes, 36u);
    EXPECT_EQ(r.out[28], 0x5A);
    EXPECT_EQ(As<SRB_IO_CONTROL>(r.out).ReturnCode, 0u);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].port, 0);
    EXPECT_EQ(seen[0].srb->signature, "OrvexTst");
    EXPECT_EQ(seen[0].srb->returnCode, 0x00010200u);
    EXPECT_EQ(seen[0].srb->timeout, 500u);
    auto call = machine->calls().Of("DeviceIoControl").back();
    EXPECT_EQ(call.selectors["signature"], "OrvexTst");
    EXPECT_EQ(call.selectors["control_code"], 0x80000D01u);
    EXPECT_EQ(call.selectors["target"], 0x00010200u);
    EXPECT_EQ(call.input, in);

    // A disk passes the request down to its adapter.
    EXPECT_TRUE(Control(OpenOk("\\\\.\\PhysicalDrive0"), IOCTL_SCSI_MINIPORT, in, 36).ok);
    EXPECT_EQ(seen.size(), 2u);
    // Another vendor's driver, another code, and a header that does not fit its buffer.
    EXPECT_EQ(Control(OpenOk("\\\\.\\Scsi1:"), IOCTL_SCSI_MINIPORT, in, 36).error, ERROR_INVALID_FUNCTION);
    in[16] = 0x02;
    EXPECT_EQ(Control(OpenOk("\\\\.\\Scsi0:"), IOCTL_SCSI_MINIPORT, in, 36).error, ERROR_INVALID_FUNCTION);
    in[16] = 0x01;
    in[24] = 9;
    EXPECT_EQ(Control(OpenOk("\\\\.\\Scsi0:"), IOCTL_SCSI_MINIPORT, in, 36).error, ERROR_INVALID_PARAMETER);
    in[24] = 8;

    // Injected answer faults rewrite the header the driver wrote.
    machine->faults().Add(sim::FaultRule{"DeviceIoControl",
                                         {{"signature", "OrvexTst"}},
                                         0,
                                         1,
                                         {{"srb_return_code", "0xFFFFFFFF"}, {"srb_header_length", 27}}});
    Reply patched = Control(OpenOk("\\\\.\\Scsi0:"), IOCTL_SCSI_MINIPORT, in, 36);
    EXPECT_EQ(As<SRB_IO_CONTROL>(patched.out).ReturnCode, 0xFFFFFFFFu);
    EXPECT_EQ(As<SRB_IO_CONTROL>(patched.out).HeaderLength, 27u);
}

TEST_F(DeviceIo, DriverControlCodesGoToTheAdaptersDriverOnly) {
    sim::devio::ScopedDriverHandler handler("moxraid", IOCTL_RAID_GET_SET_CONFIG,
                                            [](sim::devio::DriverRequest& r) {
                                                EXPECT_FALSE(r.srb.has_value());
                                                r.buffer[0] = 52;
                                                return sim::devio::DriverAnswer{0, 56};
                                            });
    std::vector<uint8_t> in(80);
    Reply r = Control(OpenOk("\\\\.\\Scsi0:"), IOCTL_RAID_GET_SET_CONFIG, in, 80);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 56u);
    EXPECT_EQ(r.out[0], 52);
    EXPECT_EQ(Control(OpenOk("\\\\.\\PhysicalDrive0"), IOCTL_RAID_GET_SET_CONFIG, in, 80).error,
              ERROR_INVALID_FUNCTION);
}

TEST_F(DeviceIo, ReadFileReadsWholeSectorsFromTheStart) {
    HANDLE disk = OpenOk("\\\\.\\PhysicalDrive1");
    std::vector<uint8_t> sector(512);
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(disk, sector.data(), 512, &read, nullptr));
    EXPECT_EQ(read, 512u);
    EXPECT_EQ(sector[510], 0x55);
    EXPECT_EQ(sector[511], 0xAA);
    EXPECT_EQ(sector[446], 0x80);  // first entry active
    EXPECT_EQ(sector[446 + 4], 7); // its type
    EXPECT_EQ(sector[446 + 16 + 4], 7);
    EXPECT_EQ(sector[446 + 32 + 4], 0); // third entry unused
    uint32_t lba = 0;
    std::memcpy(&lba, &sector[446 + 8], 4);
    EXPECT_EQ(lba, 2048u);
    // The next read continues at sector 1.
    ASSERT_TRUE(ReadFile(disk, sector.data(), 512, &read, nullptr));
    EXPECT_EQ(sector[510], 0);
    EXPECT_EQ(machine->calls().Of("ReadFile").back().selectors["offset"], 512);

    SetLastError(0);
    EXPECT_FALSE(ReadFile(disk, sector.data(), 100, &read, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    machine->faults().Add(sim::FaultRule{"ReadFile", {}, 0, 1, {{"win32_error", 1117}}});
    EXPECT_FALSE(ReadFile(disk, sector.data(), 512, &read, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_IO_DEVICE);
    EXPECT_FALSE(ReadFile(OpenOk("\\\\.\\Scsi0:"), sector.data(), 512, &read, nullptr));
}

} // namespace

// Answers whose layout the public Windows records fix beyond what the product reads today: the
// geometry answer's partition and detection records, and the device topology record's capacity.
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinStorage.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

// One disk of 2 TB in 512-byte sectors with a GPT layout, on a controller on port 0.
constexpr uint64_t kSectors = 3907029168;

sim::MachineBuilder Machine() {
    return sim::MachineBuilder::FromText(R"({
      "name": "layout",
      "adapters": [ { "port": 0, "driver": "storahci", "bus_type": 11 } ],
      "disks": [ { "device_number": 0, "port": 0, "path": 0, "target": 1, "lun": 0,
                   "model": "KV2000DM", "serial": "ZA1B2C3D", "firmware": "CC43", "sectors": 3907029168,
                   "layout": { "style": "gpt", "disk_id": "{11111111-2222-3333-4444-555555555555}" } } ]
    })");
}

template <class T> T At(const std::vector<uint8_t>& bytes, size_t offset) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

class StorageAnswerLayout : public ::testing::Test {
protected:
    void SetUp() override {
        disk_ = CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(disk_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (disk_ != INVALID_HANDLE_VALUE)
            CloseHandle(disk_);
    }

    sim::ScopedMachine machine_{Machine()};
    HANDLE disk_ = INVALID_HANDLE_VALUE;
};

TEST_F(StorageAnswerLayout, GeometryCarriesPartitionAndDetectionRecordsWhole) {
    std::vector<uint8_t> out(256, 0xCC);
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(disk_, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, out.data(),
                                static_cast<DWORD>(out.size()), &returned, nullptr));
    EXPECT_EQ(returned, kDiskGeometryExAnswerSize);

    const size_t partitionAt = offsetof(DISK_GEOMETRY_EX, Data);
    const auto partition = At<DISK_PARTITION_INFO>(out, partitionAt);
    EXPECT_EQ(partition.SizeOfPartitionInfo, sizeof(DISK_PARTITION_INFO));
    EXPECT_EQ(partition.PartitionStyle, 1u);
    EXPECT_EQ(partition.Gpt.DiskId.Data1, 0x11111111u);

    // The detection record follows the partition record by its stated size and fills the answer.
    const size_t detectionAt = partitionAt + partition.SizeOfPartitionInfo;
    const auto detection = At<DISK_DETECTION_INFO>(out, detectionAt);
    EXPECT_EQ(detection.SizeOfDetectInfo, sizeof(DISK_DETECTION_INFO));
    EXPECT_EQ(detectionAt + detection.SizeOfDetectInfo, returned);
    EXPECT_EQ(detection.DetectionType, DetectNone);
}

TEST_F(StorageAnswerLayout, DeviceTopologyCapacityIsInKib) {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDevicePhysicalTopologyProperty;
    query.QueryType = PropertyStandardQuery;
    std::vector<uint8_t> out(512, 0);
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(disk_, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), out.data(),
                                static_cast<DWORD>(out.size()), &returned, nullptr));
    const auto topology = At<STORAGE_PHYSICAL_TOPOLOGY_DESCRIPTOR>(out, 0);
    ASSERT_EQ(topology.Node[0].DeviceCount, 1u);
    const size_t device =
        offsetof(STORAGE_PHYSICAL_TOPOLOGY_DESCRIPTOR, Node) + topology.Node[0].DeviceDataOffset;
    ASSERT_LE(device + sizeof(STORAGE_PHYSICAL_DEVICE_DATA), returned);
    EXPECT_EQ(At<STORAGE_PHYSICAL_DEVICE_DATA>(out, device).Capacity, kSectors * 512 / 1024);
}

} // namespace

// Every view the simulator gives of one disk of the default machine, read through the platform
// layer as a program reads it, tells the same serial number, model, capacity and address: the
// Windows disk (device descriptor, length, SCSI address, device topology), its own ATA or NVMe
// identify answer, the RAID driver's disk or volume record, its end-device dictionary and its remap
// port's identify answer.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t U32(const Bytes& b, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
uint64_t U64(const Bytes& b, size_t at) {
    uint64_t v = 0;
    std::memcpy(&v, b.data() + at, 8);
    return v;
}
void Put32(Bytes& b, size_t at, uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}
void Put64(Bytes& b, size_t at, uint64_t v) {
    std::memcpy(b.data() + at, &v, 8);
}

// A text field: up to its NUL, trailing blanks dropped.
std::string Text(const Bytes& b, size_t at, size_t width) {
    std::string s;
    for (size_t i = at; i < at + width && i < b.size() && b[i] != 0; ++i)
        s += static_cast<char>(b[i]);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}
std::string CText(const Bytes& b, size_t at) {
    return at == 0 ? std::string() : Text(b, at, b.size() - at);
}
// An ATA identify string: each word's two bytes swapped.
std::string AtaText(const Bytes& b, size_t at, size_t width) {
    Bytes swapped(b.begin() + at, b.begin() + at + width);
    for (size_t i = 0; i + 1 < width; i += 2)
        std::swap(swapped[i], swapped[i + 1]);
    return Text(swapped, 0, width);
}

class Handle {
public:
    explicit Handle(const std::string& path)
        : h_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    // The request's answer; empty when it fails.
    Bytes Ask(DWORD code, Bytes in, size_t outSize) const {
        Bytes out(std::max(outSize, in.size()));
        std::copy(in.begin(), in.end(), out.begin());
        DWORD returned = 0;
        if (!DeviceIoControl(h_, code, out.data(), static_cast<DWORD>(in.size()), out.data(),
                             static_cast<DWORD>(out.size()), &returned, nullptr))
            return {};
        return out;
    }

private:
    HANDLE h_;
};

Bytes PropertyQuery(uint32_t id) {
    Bytes q(12);
    Put32(q, 0, id);
    return q;
}

// A request of the vendor's driver: the SRB_IO_CONTROL header with the address word in ReturnCode.
Bytes Srb(const char* signature, uint32_t controlCode, uint32_t address, size_t dataLength) {
    Bytes b(28 + dataLength);
    Put32(b, 0, 28);
    std::memcpy(b.data() + 4, signature, 8);
    Put32(b, 12, 60);
    Put32(b, 16, controlCode);
    Put32(b, 20, address);
    Put32(b, 24, static_cast<uint32_t>(dataLength));
    return b;
}

// One record of the RAID driver's configuration (group, instance), its data after the 80-byte frame.
Bytes RaidGroup(const Handle& adapter, uint32_t group, uint32_t instance, uint32_t length) {
    Bytes b = Srb("OrvexRdp", 0xC3512010, 0, 52 + length);
    Put32(b, 28, 52);
    Put32(b, 32, group);
    Put32(b, 36, instance);
    Put32(b, 60, 0xFFFFFFFF);
    Put32(b, 68, 52);
    Put32(b, 72, length);
    Bytes out = adapter.Ask(IOCTL_SCSI_MINIPORT, b, b.size());
    if (out.empty() || U32(out, 76) != 0)
        return {};
    return Bytes(out.begin() + 80, out.end());
}

// The end-device dictionary's serial number (64 bytes, pairs of characters swapped), path and target
// ids, capacity and model of every instance of the controller.
struct DictionaryEntry {
    std::string serial, model;
    uint32_t path = 0, target = 0;
    uint64_t sectors = 0;
};

std::vector<DictionaryEntry> EndDeviceDictionary(const Handle& adapter) {
    const struct {
        uint32_t id, type, size;
    } fields[] = {{0x45440004, 10, 64},
                  {0x45440006, 2, 4},
                  {0x45440007, 2, 4},
                  {0x45440008, 3, 8},
                  {0x4544000B, 8, 16}};
    constexpr size_t kFields = std::size(fields);
    constexpr size_t kBlock = 5 * 8 + 64 + 4 + 4 + 8 + 16;
    const size_t valuesAt = 48 + 8 * kFields;
    Bytes b = Srb("OrvexRdp", 0x90000A04, 0, valuesAt - 28 + 8 * kBlock);
    Put32(b, 28, 8); // end devices
    Put32(b, 36, kFields);
    for (size_t i = 0; i < kFields; ++i) {
        Put32(b, 48 + 8 * i, fields[i].id);
        Put32(b, 52 + 8 * i, fields[i].type);
    }
    const Bytes out = adapter.Ask(IOCTL_SCSI_MINIPORT, b, b.size());
    std::vector<DictionaryEntry> entries;
    if (out.empty())
        return entries;
    for (size_t i = 0, at = U32(out, 40); i < U32(out, 44); ++i, at += kBlock) {
        DictionaryEntry e;
        e.serial = AtaText(out, at + 8, 64);
        e.path = U32(out, at + 72 + 8);
        e.target = U32(out, at + 84 + 8);
        e.sectors = U64(out, at + 96 + 8);
        e.model = Text(out, at + 112 + 8, 16);
        entries.push_back(e);
    }
    return entries;
}

struct DiskFacts {
    int deviceNumber; // -1: Windows does not see it
    uint8_t port, path, target;
    bool nvme;
    int raidRecord; // index of its record in the driver's disk table, -1 none; -2 the volume's disk
    const char* serial;
    const char* model;
    uint64_t bytes;
};

// The disks of the default machine as sim/README.md describes it.
const DiskFacts kDisks[] = {
    {0, 0, 7, 0, false, -2, "Volume0", "Volume0", 488000ull << 20},
    {1, 0, 0, 0, false, 0, "ZA1B2C3D", "Kelvar KV2000DM", 3907029168ull * 512},
    {-1, 0, 0, 1, false, 1, "ZA1B2C4E", "Kelvar KV2000DM", 3907029168ull * 512},
    {-1, 0, 0, 2, false, 2, "TS-0077", "Tamsin TS512S3", 1000215216ull * 512},
    {-1, 0, 0, 3, false, 3, "TS-0078", "Tamsin TS512S3", 1000215216ull * 512},
    {2, 1, 0, 0, true, 0, "NV2-0042", "Virel NV2 1TB", 1953525168ull * 512},
    {3, 2, 0, 0, true, -1, "CP5-51200", "Corvan P5 512G", 1000215216ull * 512},
};

void CheckWindowsDisk(const DiskFacts& d) {
    Handle disk("\\\\.\\PhysicalDrive" + std::to_string(d.deviceNumber));
    ASSERT_TRUE(disk.ok());
    const Bytes descriptor = disk.Ask(IOCTL_STORAGE_QUERY_PROPERTY, PropertyQuery(0), 1024);
    ASSERT_FALSE(descriptor.empty());
    EXPECT_EQ(CText(descriptor, U32(descriptor, 24)), d.serial) << "device descriptor";
    EXPECT_EQ(CText(descriptor, U32(descriptor, 16)), d.model) << "device descriptor";
    const Bytes length = disk.Ask(IOCTL_DISK_GET_LENGTH_INFO, {}, 8);
    ASSERT_FALSE(length.empty());
    EXPECT_EQ(U64(length, 0), d.bytes) << "length";
    const Bytes address = disk.Ask(IOCTL_SCSI_GET_ADDRESS, {}, 8);
    ASSERT_FALSE(address.empty());
    EXPECT_EQ(address[4], d.port);
    EXPECT_EQ(address[5], d.path);
    EXPECT_EQ(address[6], d.target);
    const Bytes topology = disk.Ask(IOCTL_STORAGE_QUERY_PROPERTY, PropertyQuery(54), 4096);
    ASSERT_FALSE(topology.empty()) << "device physical topology";
    const size_t data = 16 + U32(topology, 16 + 24);
    EXPECT_EQ(Text(topology, data + 32, 40), d.model) << "device physical topology";
    EXPECT_EQ(U64(topology, data + 88), d.bytes / 1024) << "device physical topology";

    if (d.nvme) {
        Bytes query(48);
        Put32(query, 0, 50);
        Put32(query, 8, 3);   // NVMe
        Put32(query, 12, 1);  // identify
        Put32(query, 16, 1);  // controller
        Put32(query, 24, 40); // data after the protocol record
        Put32(query, 28, 4096);
        const Bytes id = disk.Ask(IOCTL_STORAGE_QUERY_PROPERTY, query, 8 + 40 + 4096);
        ASSERT_FALSE(id.empty()) << "NVMe identify property";
        EXPECT_EQ(Text(id, 48 + 4, 20), d.serial) << "NVMe identify property";
        EXPECT_EQ(Text(id, 48 + 24, 40), d.model) << "NVMe identify property";
        EXPECT_EQ(U64(id, 48 + 280), d.bytes) << "NVMe identify property";
    } else {
        Bytes pass(48 + 512);
        pass[0] = 48;
        pass[2] = 0x02; // data in
        Put32(pass, 8, 512);
        Put64(pass, 24, 48);
        pass[46] = 0xEC; // IDENTIFY DEVICE
        const Bytes id = disk.Ask(IOCTL_ATA_PASS_THROUGH, pass, pass.size());
        ASSERT_FALSE(id.empty()) << "ATA pass-through";
        EXPECT_EQ(AtaText(id, 48 + 20, 20), d.serial) << "ATA pass-through";
        EXPECT_EQ(AtaText(id, 48 + 54, 40), d.model) << "ATA pass-through";
        EXPECT_EQ(U64(id, 48 + 200) * 512, d.bytes) << "ATA pass-through";
    }
}

void CheckDriverViews(const DiskFacts& d) {
    Handle adapter("\\\\.\\Scsi" + std::to_string(d.port) + ":");
    ASSERT_TRUE(adapter.ok());
    const uint32_t word = static_cast<uint32_t>(d.path) << 16 | static_cast<uint32_t>(d.target) << 8;
    if (d.raidRecord == -2) {
        const Bytes volume = RaidGroup(adapter, 2, 0, 132);
        ASSERT_FALSE(volume.empty()) << "volume record";
        EXPECT_EQ(Text(volume, 4, 16), d.serial) << "volume record";
        EXPECT_EQ(U32(volume, 20), word) << "volume record";
        EXPECT_EQ(uint64_t{U32(volume, 32)} << 20, d.bytes) << "volume record";
        return;
    }
    if (d.raidRecord >= 0) {
        const Bytes record = RaidGroup(adapter, 3, static_cast<uint32_t>(d.raidRecord), 192);
        ASSERT_FALSE(record.empty()) << "disk record";
        EXPECT_EQ(Text(record, 4, 16), d.serial) << "disk record";
        EXPECT_EQ(Text(record, 88, 16), d.model) << "disk record";
        EXPECT_EQ(U32(record, 52), d.path) << "disk record";
        EXPECT_EQ(U32(record, 56), d.target) << "disk record";
        const uint64_t sectors = uint64_t{U32(record, 184)} << 32 | U32(record, 20);
        EXPECT_EQ(sectors * U32(record, 148), d.bytes) << "disk record";
        bool listed = false;
        for (const DictionaryEntry& e : EndDeviceDictionary(adapter))
            if (e.serial == d.serial) {
                listed = true;
                EXPECT_EQ(e.model, d.model) << "end-device dictionary";
                EXPECT_EQ(e.path, d.path) << "end-device dictionary";
                EXPECT_EQ(e.target, d.target) << "end-device dictionary";
                EXPECT_EQ(e.sectors * 512, d.bytes) << "end-device dictionary";
            }
        EXPECT_TRUE(listed) << "end-device dictionary";
    }
    if (d.raidRecord == -1)
        return; // another vendor's adapter has no remap port
    if (d.nvme) {
        const Bytes id = adapter.Ask(IOCTL_SCSI_MINIPORT, Srb("OrvexNvm", 0xF0002800, word, 4096), 28 + 4096);
        ASSERT_FALSE(id.empty()) << "remap port NVMe identify";
        EXPECT_EQ(Text(id, 28 + 4, 20), d.serial) << "remap port NVMe identify";
        EXPECT_EQ(Text(id, 28 + 24, 40), d.model) << "remap port NVMe identify";
    } else {
        const Bytes id = adapter.Ask(IOCTL_SCSI_MINIPORT, Srb("OrvexATA", 0x80000A01, word, 512), 28 + 512);
        ASSERT_FALSE(id.empty()) << "remap port ATA identify";
        EXPECT_EQ(AtaText(id, 28 + 20, 20), d.serial) << "remap port ATA identify";
        EXPECT_EQ(AtaText(id, 28 + 54, 40), d.model) << "remap port ATA identify";
        EXPECT_EQ(U64(id, 28 + 200) * 512, d.bytes) << "remap port ATA identify";
    }
}

TEST(DiskViews, EveryViewOfADefaultMachineDiskAgrees) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    for (const DiskFacts& d : kDisks) {
        SCOPED_TRACE(d.serial);
        if (d.deviceNumber >= 0)
            CheckWindowsDisk(d);
        CheckDriverViews(d);
    }
}

// The volume's Windows disk is the volume: renamed or grown in the driver's metadata, it shows
// the new name as serial number and model, and the new size, with nothing else described.
TEST(DiskViews, TheVolumeDiskFollowsItsVolumeRecord) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default()
                                   .Set("/adapters/0/raid/volumes/0/name", R"("Renamed")")
                                   .Set("/adapters/0/raid/volumes/0/size_mb", "400000"));
    DiskFacts volume = kDisks[0];
    volume.serial = volume.model = "Renamed";
    volume.bytes = 400000ull << 20;
    CheckWindowsDisk(volume);
    CheckDriverViews(volume);
}

// A disk described twice, or a volume's disk describing an identity of its own, is refused at load
// with the place that says too much.
TEST(DiskViews, OneDescriptionPerDiskIsEnforced) {
    const struct {
        const char* where;
        sim::MachineBuilder machine;
    } cases[] = {
        {"/disks/7",
         sim::MachineBuilder::Default().Append("/disks", R"({ "port": 0, "path": 0, "target": 2 })")},
        {"/disks/0/serial", sim::MachineBuilder::Default().Set("/disks/0/serial", R"("Other")")},
        {"/adapters/0/raid/disks/0/device_number",
         sim::MachineBuilder::Default().Set("/adapters/0/raid/disks/0/device_number", "9")},
        {"/adapters/0/raid/disks/1/serial",
         sim::MachineBuilder::Default().Set("/adapters/0/raid/disks/1/serial", R"("X")")},
        {"/adapters/1/ports/0/connection",
         sim::MachineBuilder::Default().Set("/adapters/1/ports/0/connection", R"("ata")")},
    };
    for (const auto& c : cases) {
        std::string error;
        try {
            sim::ScopedMachine machine(c.machine);
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_NE(error.find(c.where), std::string::npos) << c.where << ": " << error;
    }
}

} // namespace

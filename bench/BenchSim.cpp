// Costs of the simulated machine as the product meets them: a storage request on a disk handle, a
// RAID group read through a controller record, the controller table build, a topology read of
// every controller, a state write, and the resident memory over many requests. Run through
// scripts/bench-sim.sh, which builds it in release and prints each figure beside its target.
//
//   bench_sim <machine> <figure>
//   machine: default | 16x8 | 16x32;  figure: requests | build
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/RaidConfig.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinStorage.h"
#include "sim/MachineBuilder.h"
#include "sim/MachineState.h"

namespace {

using Clock = std::chrono::steady_clock;

double MedianUs(int runs, const std::function<void()>& f) {
    std::vector<double> us;
    us.reserve(static_cast<size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        f();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

std::string Hex(unsigned v, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, v);
    return text;
}

// A PC with `controllers` of the vendor's SATA RAID controllers, each with `disks` disks: the first
// two hold a RAID 1 volume, the others pass through; every disk is a Windows disk.
sim::MachineBuilder Generated(int controllers, int disks) {
    sim::MachineBuilder b("generated");
    b.Append("/devices/nodes",
             R"j({"id": "ACPI\\PNP0A08\\0", "class": "{4d36e97d-e325-11ce-bfc1-08002be10318}",
                                  "properties": {"LocationPaths": ["ACPI(_SB_)#ACPI(PCI0)"], "BusNumber": 0}})j");
    int deviceNumber = 0;
    for (int c = 0; c < controllers; ++c) {
        const std::string slot = Hex(static_cast<unsigned>(0x10 + c), 2);
        const std::string id = "PCI\\\\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11\\\\3&11583659&0&" + slot;
        const std::string port = std::to_string(c);
        b.Append("/devices/nodes",
                 R"j({"id": ")j" + id + R"j(", "parent": "ACPI\\PNP0A08\\0",
                     "class": "{4d36e97b-e325-11ce-bfc1-08002be10318}",
                     "properties": {"Service": "moxraid", "DeviceDesc": "Orvex SATA RAID Controller",
                       "Manufacturer": "Orvex Corporation", "LocationInfo": "PCI bus 0",
                       "HardwareIds": ["PCI\\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11"],
                       "CompatibleIds": ["PCI\\VEN_1F4A&DEV_2826&REV_11", "PCI\\CC_010400"], "Capabilities": 0,
                       "ContainerId": "{00000000-0000-0000-ffff-ffffffffffff}", "Address": "0x)j" +
                     Hex(static_cast<unsigned>(c) << 16, 6) + R"j(",
                       "BusNumber": 0, "LocationPaths": ["PCIROOT(0)#PCI()j" +
                     Hex(static_cast<unsigned>(c), 2) +
                     R"j(00)", "ACPI(_SB_)#ACPI(PCI0)#ACPI(SAT0)"], "DriverVersion": "20.1.0.1007",
                       "PciBaseClass": 1, "PciSubClass": 4, "PciProgIf": 0},
                     "interfaces": [{"class": "{2accfe60-c130-11d2-b082-00a0c91efb8b}"}]})j");
        std::string raidDisks;
        for (int d = 0; d < disks; ++d) {
            const std::string serial = "SN-" + port + "-" + std::to_string(d);
            b.Append("/disks", R"j({"device_number": )j" + std::to_string(deviceNumber) + R"j(, "port": )j" +
                                   port + R"j(, "path": 0, "target": )j" + std::to_string(d) +
                                   R"j(, "model": "Kelvar KV2000DM", "serial": ")j" + serial +
                                   R"j(", "firmware": "CC43", "sectors": 3907029168})j");
            raidDisks +=
                (d ? "," : "") + std::string(R"j({"device_number": )j") + std::to_string(deviceNumber) + "}";
            ++deviceNumber;
        }
        b.Append("/adapters", R"j({"port": )j" + port + R"j(, "instance_id": ")j" + id +
                                  R"j(", "driver": "moxraid", "bus_type": 8,
                                  "csmi": {"driver": {"name": "moxraid", "version": "20.1.0.1007", "csmi_minor": 81}},
                                  "raid": {"controller": {"driver_version": "20.1.0.1007"}, "disks": [)j" +
                                  raidDisks + R"j(], "arrays": [{"disks": [0, 1]}],
                                  "volumes": [{"name": "Volume0", "level": 1, "size_mb": 100000, "strip_kb": 64,
                                               "array": 0}]}})j");
    }
    return b;
}

sim::MachineBuilder MachineNamed(const std::string& name) {
    if (name == "16x8")
        return Generated(16, 8);
    if (name == "16x32")
        return Generated(16, 32);
    return sim::MachineBuilder::Default();
}

double StorageRequestUs() {
    HANDLE disk = CreateFileA("\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (disk == INVALID_HANDLE_VALUE)
        return -1;
    std::vector<uint8_t> out(256);
    DWORD bytes = 0;
    double us = MedianUs(2000, [&] {
        DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, out.data(),
                        static_cast<DWORD>(out.size()), &bytes, nullptr);
    });
    CloseHandle(disk);
    return us;
}

bool ReadGroup(ControllerLocator* record, uint32_t group, uint32_t instance, uint32_t length) {
    CIoctlRaidGetSetConfig request(record, group, instance, 0, 0, 0, kRaidAllFields, GET_DIRECTION,
                                   CIoctlRaidGetSetConfig::kFramedDataOffset + length, length, 0);
    return request.Invoke().IsSuccessful();
}

std::vector<ControllerLocator*> Records() {
    std::vector<ControllerLocator*> out;
    for (int i = DeviceLocator::FindNextByFlags(kControllerSataRaid, -1); i >= 0;
         i = DeviceLocator::FindNextByFlags(kControllerSataRaid, i))
        out.push_back(DeviceLocator::GetByIndex(i));
    return out;
}

int Requests(const std::string& name) {
    sim::ScopedMachine machine(MachineNamed(name));
    machine->calls().Keep(0);
    DeviceLocator::Build();
    const auto records = Records();
    if (records.empty()) {
        std::fprintf(stderr, "no controller record\n");
        return 1;
    }
    const double storage = StorageRequestUs();
    ControllerLocator* last = records.back();
    bool ok = true;
    const double group = MedianUs(2000, [&] { ok = ReadGroup(last, RIXO_CFG_GROUP_NO, 0, 220) && ok; });
    const double topology = MedianUs(5, [&] {
        for (ControllerLocator* r : records) {
            ok = ReadGroup(r, RIXO_CFG_GROUP_NO, 0, 220) && ok;
            for (uint32_t v = 0; v < 1; ++v)
                ok = ReadGroup(r, RIXO_VOLUME_TABLE_GROUP_NO, v, 132) && ok;
            for (uint32_t a = 0; a < 1; ++a)
                ok = ReadGroup(r, RIXO_ARRAY_TABLE_GROUP_NO, a, 48) && ok;
            for (uint32_t d = 0; d < 64; ++d)
                if (!ReadGroup(r, RIXO_DISK_TABLE_GROUP_NO, d, 192))
                    break;
        }
    });
    int n = 0;
    const double write =
        MedianUs(200, [&] { sim::Current().Update([&](nlohmann::json& s) { s["test"]["writes"] = ++n; }); });
    for (int i = 0; i < 1000; ++i)
        ReadGroup(last, RIXO_CFG_GROUP_NO, 0, 220);
    const long before = ResidentKb();
    for (int i = 0; i < 100000; ++i)
        ReadGroup(last, RIXO_CFG_GROUP_NO, 0, 220);
    const long after = ResidentKb();
    std::printf("machine=%s controllers=%zu storage_us=%.2f group_us=%.2f topology_ms=%.3f write_ms=%.3f "
                "rss_before_kb=%ld rss_after_kb=%ld ok=%d\n",
                name.c_str(), records.size(), storage, group, topology / 1000.0, write / 1000.0, before,
                after, ok ? 1 : 0);
    return ok ? 0 : 1;
}

int Build(const std::string& name) {
    sim::ScopedMachine machine(MachineNamed(name));
    machine->calls().Keep(0);
    auto t0 = Clock::now();
    const int count = DeviceLocator::Build();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("machine=%s records=%d build_ms=%.3f\n", name.c_str(), count, ms);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_sim default|16x8|16x32 requests|build\n");
        return 2;
    }
    const std::string figure = argv[2];
    return figure == "build" ? Build(argv[1]) : Requests(argv[1]);
}

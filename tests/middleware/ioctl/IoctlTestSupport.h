#pragma once
// A small machine for the driver request tests and the helpers they share.
#include <condition_variable>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

#include "middleware/ioctl/CIoctl.h"
#include "middleware/ioctl/IoctlHooks.h"
#include "platform/win/WinBase.h"
#include "sim/Clock.h"
#include "sim/Machine.h"

namespace ioctltest {

using json = sim::Value;

// The vendor's RAID controller on port 0 with a GPT hard disk and an MBR SSD, another vendor's NVMe
// adapter on port 1 with its disk.
inline json Machine() {
    return json::parse(R"({
      "name": "ioctl",
      "adapters": [
        { "port": 0, "driver": "moxraid", "bus_type": 8 },
        { "port": 1, "driver": "stornvme", "bus_type": 17 }
      ],
      "disks": [
        { "device_number": 0, "port": 0, "path": 0, "target": 1, "lun": 0,
          "model": "KV2000DM", "serial": "ZA1B2C3D", "firmware": "CC43",
          "sectors": 3907029168, "physical_sector_size": 4096, "rotation_rate": 7200,
          "cache": { "read": true, "write": true, "power_protected": true },
          "layout": { "style": "gpt", "partitions": [
            { "type": "efi", "offset": 1048576, "length": 104857600 },
            { "type": "basic", "offset": 105906176, "length": 2000000000000 } ] } },
        { "device_number": 1, "port": 0, "path": 0, "target": 2, "lun": 0,
          "model": "TS512S3", "serial": "TS-77", "firmware": "S3F1", "sectors": 1000215216,
          "layout": { "style": "mbr", "signature": 305419896, "partitions": [
            { "type": 7, "offset": 1048576, "length": 524288000, "active": true } ] } },
        { "device_number": 2, "port": 1, "protocol": "nvme", "model": "Virel NV2 1TB", "serial": "NV2-0042",
          "firmware": "5B2QGXA7", "pci_vendor": "0x1D79", "sectors": 1953525168 }
      ]
    })");
}

// A test on a simulated machine (this file's, unless a derived fixture gives its own) with the
// driver request helpers every request test uses.
class IoctlTest : public ::testing::Test {
protected:
    IoctlTest() : IoctlTest(Machine()) {}
    explicit IoctlTest(const json& description) : machine_(description) {}

    HANDLE Open(const char* path) {
        HANDLE h = CreateFileAHook(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << path;
        handles_.push_back(h);
        return h;
    }

    std::vector<sim::Call> Sends() { return machine_->calls().Of("DeviceIoControl"); }
    size_t SendCount() { return machine_->calls().Count("DeviceIoControl"); }
    sim::Call LastSend() {
        auto sends = Sends();
        EXPECT_FALSE(sends.empty());
        return sends.empty() ? sim::Call{} : sends.back();
    }

    void Inject(json match, json outcome, int times = 1) {
        machine_->faults().Add(
            sim::FaultRule{"DeviceIoControl", std::move(match), 0, times, std::move(outcome)});
    }

    void TearDown() override {
        for (HANDLE h : handles_)
            CloseHandle(h);
    }

    sim::ScopedMachine machine_;
    std::vector<HANDLE> handles_;
};

// Lets other threads run for a moment without real sleeping: a timed wait on the virtual clock
// grants them a real slice before it times out.
inline void LetOtherThreadsRun() {
    std::mutex m;
    std::condition_variable cv;
    std::unique_lock lock(m);
    sim::Clock::WaitFor(lock, cv, 100, [] { return false; });
}

inline std::vector<uint8_t> Bytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + size);
}

inline uint32_t U32(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

} // namespace ioctltest

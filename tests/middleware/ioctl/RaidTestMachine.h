#pragma once
// A controller of the vendor's RAID driver for the RAID configuration, dictionary and volume port
// request tests: a RAID 1 volume on two disks, two pass-through disks and an SSD.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/ioctl/IoctlHooks.h"
#include "platform/win/WinBase.h"
#include "sim/Machine.h"
#include "sim/devio/Bytes.h"
#include "tests/middleware/ioctl/IoctlTestSupport.h"

namespace raidtest {

using json = sim::Value;

// A disk behind port 0 at target `target`, and the RAID driver's record of it.
inline json Disk(const std::string& serial, int target, uint64_t sectors, bool ssd) {
    return {{"port", 0},          {"serial", serial},   {"model", "Kelvar " + serial},
            {"firmware", "CC43"}, {"path", 0},          {"target", target},
            {"lun", 0},           {"sectors", sectors}, {"rotation_rate", ssd ? 1 : 7200}};
}

inline json Record(int target) {
    return {{"path", 0}, {"target", target}, {"lun", 0}};
}

inline json Machine() {
    json raid = {{"action_ms", 0},
                 {"disks", {Record(0), Record(1), Record(2), Record(3), Record(4)}},
                 {"arrays", {{{"disks", {0, 1}}}}},
                 {"volumes",
                  {{{"name", "Mirror"}, {"level", 1}, {"size_mb", 500000}, {"strip_kb", 64}, {"array", 0}}}}};
    return {{"name", "raid-requests"},
            {"adapters", {{{"port", 0}, {"driver", "moxraid"}, {"bus_type", 8}, {"raid", raid}}}},
            {"disks",
             {Disk("SER-A", 0, 1953525168, false), Disk("SER-B", 1, 1953525168, false),
              Disk("SER-C", 2, 1953525168, false), Disk("SER-D", 3, 1953525168, false),
              Disk("SSD-E", 4, 500118192, true)}}};
}

// Bytes a test expects a request to send: zeros with words and texts put at their offsets.
class Expected {
public:
    explicit Expected(size_t size) : bytes_(size, 0) {}
    Expected& U32(size_t at, uint32_t value) {
        sim::devio::ByteWriter(bytes_).U32(at, value);
        return *this;
    }
    Expected& U64(size_t at, uint64_t value) {
        sim::devio::ByteWriter(bytes_).U64(at, value);
        return *this;
    }
    Expected& U8(size_t at, uint8_t value) {
        bytes_.at(at) = value;
        return *this;
    }
    Expected& Text(size_t at, const std::string& text) {
        std::memcpy(bytes_.data() + at, text.data(), text.size());
        return *this;
    }
    // The SRB_IO_CONTROL header of a request of this buffer's size.
    Expected& Srb(const char* signature, uint32_t controlCode, uint32_t length, uint32_t returnCode = 0) {
        U32(0, 28);
        std::memcpy(bytes_.data() + 4, signature, strnlen(signature, 8));
        U32(12, 500);
        U32(16, controlCode);
        U32(20, returnCode);
        U32(24, length);
        return *this;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

class RaidTest : public ioctltest::IoctlTest {
protected:
    RaidTest() : IoctlTest(Machine()) {}
    void SetUp() override { adapter_ = Open("\\\\.\\Scsi0:"); }

    void InjectRaid(json match, json outcome, int times = 1) {
        machine_->faults().Add(sim::FaultRule{"RaidRequest", std::move(match), 0, times, std::move(outcome)});
    }

    json Raid() { return machine_->Snapshot()["adapters"][0]["raid"]; }

    HANDLE adapter_ = nullptr;
};

inline uint32_t Word(const void* bytes, size_t offset) {
    uint32_t v = 0;
    std::memcpy(&v, static_cast<const uint8_t*>(bytes) + offset, 4);
    return v;
}

} // namespace raidtest

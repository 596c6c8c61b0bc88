#pragma once
// What the query tests share: a started library on a simulated machine, the texts of a failure,
// and a record filled with a marker byte so that what a call leaves alone can be seen.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace querytest {

constexpr uint32_t kSuccess = 0x20000000;

inline std::string Message(const _UVI_Error& error) {
    std::vector<char> text(UviGetErrorMessage(error.errorId, nullptr, 0) + 1, '\0');
    UviGetErrorMessage(error.errorId, text.data(), static_cast<unsigned>(text.size()));
    return text.data();
}

inline std::string Debug(const _UVI_Error& error) {
    std::vector<char> text(UviGetErrorDebugMessage(error.errorId, nullptr, 0) + 1, '\0');
    UviGetErrorDebugMessage(error.errorId, text.data(), static_cast<unsigned>(text.size()));
    return text.data();
}

template <class Record> Record Marked() {
    Record record;
    std::memset(&record, 0xAB, sizeof record);
    return record;
}

template <class Record> bool StillMarked(const Record& record) {
    const Record marked = Marked<Record>();
    return std::memcmp(&record, &marked, sizeof record) == 0;
}

// The library started on a machine; stopped again when the test ends.
class QueryTest : public ::testing::Test {
protected:
    void Start(const sim::MachineBuilder& description = sim::MachineBuilder::Default()) {
        machine_.emplace(description);
        const _UVI_Error started = UviInitialize();
        ASSERT_EQ(started.status, 0u) << Message(started);
    }
    void TearDown() override {
        if (machine_)
            static_cast<void>(UviFinalize()); // a test may have stopped the library itself
    }

    std::vector<uint32_t> ControllerHandles() {
        uint32_t count = 16;
        std::vector<uint32_t> handles(count);
        EXPECT_EQ(UviGetControllerHandles(0, handles.data(), &count).status, 0u);
        handles.resize(count);
        return handles;
    }
    _UVI_ControllerInfo Controller(uint32_t handle) {
        _UVI_ControllerInfo info{};
        const _UVI_Error e = UviGetControllerInfo(0, handle, &info);
        EXPECT_EQ(e.status, 0u) << Message(e);
        return info;
    }
    std::vector<uint32_t> EndDeviceHandles() {
        uint32_t count = 32;
        std::vector<uint32_t> handles(count);
        EXPECT_EQ(UviGetEndDeviceHandles(0, handles.data(), &count).status, 0u);
        handles.resize(count);
        return handles;
    }
    std::vector<_UVI_EndDeviceInfo> EndDevices() {
        std::vector<_UVI_EndDeviceInfo> records;
        for (uint32_t handle : EndDeviceHandles()) {
            _UVI_EndDeviceInfo info{};
            const _UVI_Error e = UviGetEndDeviceInfo(0, handle, &info);
            EXPECT_EQ(e.status, 0u) << Message(e);
            records.push_back(info);
        }
        return records;
    }
    // The end-device record whose RAID serial number (or serial number) is the text.
    std::optional<_UVI_EndDeviceInfo> EndDeviceBySerial(const std::string& serial) {
        for (const auto& record : EndDevices())
            if (serial == record.raidSerialNumber || serial == record.serialNumber)
                return record;
        return std::nullopt;
    }

    std::optional<sim::ScopedMachine> machine_;
};

} // namespace querytest

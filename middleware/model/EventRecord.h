#pragma once
// What the event classes pass around: the status an event device reads when it is signalled, the
// wait codes of devices and clients, and the record a client queues.
#include <cstddef>
#include <cstdint>

namespace UviEvents {

// Device types, the high half of a device key.
enum DeviceType : uint32_t {
    DEVICE_TYPE_CONTROLLER = 1,
    DEVICE_TYPE_NVME_DISK = 2,
    DEVICE_TYPE_CUSTOM = 3,
};

// The answer of a device wait, of a record and of a client wait.
enum WaitCode : uint32_t {
    WAIT_CODE_OTHER = 0,
    WAIT_CODE_FAILURE = 1,
    WAIT_CODE_TIMEOUT = 2,
    WAIT_CODE_EVENT = 3,
    WAIT_CODE_CLIENT_CLOSED = 4,
    WAIT_CODE_STOPPED = 5,
};

struct DeviceStatus {
    uint32_t deviceId;
    uint32_t deviceType;
    uint64_t firstData;
    uint64_t secondData;
};
static_assert(sizeof(DeviceStatus) == 24);
static_assert(offsetof(DeviceStatus, firstData) == 8);
static_assert(offsetof(DeviceStatus, secondData) == 16);

struct EventRecord {
    uint32_t deviceId;
    uint32_t deviceType;
    uint64_t firstData;
    uint64_t secondData;
    uint32_t waitCode;
};
static_assert(sizeof(EventRecord) == 32);
static_assert(offsetof(EventRecord, firstData) == 8);
static_assert(offsetof(EventRecord, secondData) == 16);
static_assert(offsetof(EventRecord, waitCode) == 24);

// The record of a wait code: the status travels with code 3 only.
inline EventRecord MakeEventRecord(uint32_t code, const DeviceStatus& status = {}) {
    if (code != WAIT_CODE_EVENT)
        return EventRecord{0, 0, 0, 0, code};
    return EventRecord{status.deviceId, status.deviceType, status.firstData, status.secondData, code};
}

// The key that identifies a device across factory calls.
constexpr uint64_t DeviceKey(uint32_t type, uint32_t id) {
    return static_cast<uint64_t>(type) << 32 | id;
}

} // namespace UviEvents

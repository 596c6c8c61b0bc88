#pragma once
// Messages to and from the cache service. Each wraps a byte buffer its caller owns; the 32-bit
// header word at byte 20 names the message kind (bits 0-15), the direction (bit 17 set for a request)
// and whether the header is valid (bit 18).
#include <cstddef>
#include <cstdint>

#include "platform/win/WinFiles.h"

class BaseMessage {
public:
    virtual ~BaseMessage() = default;
};

class Message : public BaseMessage {
public:
    explicit Message(uint8_t* buffer) : buffer_(buffer) {}
    virtual uint32_t Size() const = 0;
    uint8_t* Buffer() const { return buffer_; }

protected:
    uint32_t HeaderWord() const;
    // Low byte 1 when the header is valid, of the expected direction and of the migration status
    // kind; high byte the word's top bits (25-31, or 26-31 for a header marked invalid).
    uint16_t Check(bool request) const;

    uint8_t* buffer_;
};

class Request : public Message {
public:
    using Message::Message;
    uint16_t IsValidRequest() const { return Check(true); }
};

class Reply : public Message {
public:
    using Message::Message;
    uint16_t IsValidReply() const { return Check(false); }
};

// The migration status request: 24 bytes, only its header word written.
class MigrationStatusRequest : public Request {
public:
    static constexpr uint32_t kSize = 24;
    explicit MigrationStatusRequest(uint8_t* buffer);
    uint32_t Size() const override { return kSize; }
};

// The service's migration status reply, as the commands read it.
struct MigrationStatusReplyData {
    uint8_t reserved[20];
    uint32_t header;
    uint64_t lastOptimizationStart; // FILETIME
    uint64_t lastOptimizationEnd;   // FILETIME
    uint64_t currentOrNextStart;    // FILETIME: the running optimisation's start, or the next one when idle
    uint64_t state;                 // 0 idle, 1 running, 2 paused, 3 restarting, 4 boot-time migration
    uint8_t schedulerTaskRunning;
    uint8_t highPower;
    uint8_t acPower;
    uint8_t batteryPercent; // 255 unknown
    uint8_t reserved2[4];
    uint64_t totalSizeToMigrate;
    uint64_t sizeLeftToMigrate;
    uint64_t insertionFileId; // all ones: none
    uint64_t insertionSize;
    uint64_t insertionSizeLeft;
    uint64_t evictionFileId; // all ones: none
    uint64_t evictionSize;
    uint64_t evictionSizeLeft;
    uint64_t bootClustersTotal;
    uint64_t bootClustersLeft;
    uint64_t bootRecordsTotal;
    uint64_t bootRecordsLeft;
};
static_assert(sizeof(MigrationStatusReplyData) == 160);
static_assert(offsetof(MigrationStatusReplyData, header) == 20);
static_assert(offsetof(MigrationStatusReplyData, lastOptimizationStart) == 24);
static_assert(offsetof(MigrationStatusReplyData, state) == 48);
static_assert(offsetof(MigrationStatusReplyData, schedulerTaskRunning) == 56);
static_assert(offsetof(MigrationStatusReplyData, batteryPercent) == 59);
static_assert(offsetof(MigrationStatusReplyData, totalSizeToMigrate) == 64);
static_assert(offsetof(MigrationStatusReplyData, insertionFileId) == 80);
static_assert(offsetof(MigrationStatusReplyData, evictionFileId) == 104);
static_assert(offsetof(MigrationStatusReplyData, bootClustersTotal) == 128);
static_assert(offsetof(MigrationStatusReplyData, bootRecordsLeft) == 152);

class MigrationStatusReply : public Reply {
public:
    // The capacity offered to the service.
    static constexpr uint32_t kCapacity = 4096;
    // The buffer the reply is read from (the capacity and more).
    static constexpr size_t kBufferSize = 32768;

    explicit MigrationStatusReply(uint8_t* buffer) : Reply(buffer) {}
    uint32_t Size() const override { return capacity_; }
    MigrationStatusReplyData Data() const;

private:
    uint32_t capacity_ = kCapacity;
};

// A FILETIME of the reply; "not available" when either half is all ones.
FILETIME ToFileTime(uint64_t value);
bool IsTimeAvailable(uint64_t value);

#pragma once
// A RAID configuration change of the driver: the host prepares it (action fields, selections, the
// new-volume group), writes a trigger kind into the configuration group and polls until the driver
// reports no action in progress, then turns the driver's error number into a code.
//
// A transaction lives for one operation and keeps no driver state. The caller holds the
// controller's ControllerLocatorLock for the whole operation and passes its device handle as
// `target`.
#include <cstdint>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/RuntimeClassName.h"
#include "platform/win/WinTypes.h"

// Trigger kinds of the configuration group's trigger field.
enum RaidTriggerKind : uint32_t {
    kTriggerNone = 0,
    kTriggerVolumeActions = 1,
    kTriggerDiskActions = 2,
    kTriggerResetConfiguration = 3,
    kTriggerParseCreation = 4,
    kTriggerCreateVolume = 5,
    kTriggerCreateVolumeFromDisk = 6,
    kTriggerParseExpand = 7,
    kTriggerExpandArray = 8,
    kTriggerParseMigration = 9,
    kTriggerMigrateVolume = 10,
    kTriggerEnclosureActions = 12,
    kTriggerArrayCachePolicy = 13,
    kTriggerBogusAction = 14,
};

// The name failure messages give a trigger kind ("Unknown" for kinds without one).
const char* TriggerKindName(uint32_t kind);

class TransactionManager {
    MOX_RUNTIME_CLASS_ROOT("class TransactionManager")

public:
    // A bare transaction, used only for its trigger: both handles stay unset.
    TransactionManager() = default;
    TransactionManager(uint32_t controllerHandle, uint32_t targetHandle)
        : m_ControllerHandle(controllerHandle), m_TargetHandle(targetHandle) {}
    virtual ~TransactionManager() = default;
    TransactionManager(const TransactionManager&) = delete;
    TransactionManager& operator=(const TransactionManager&) = delete;

    // Refuses (0xA0060023) while the driver still carries out an earlier change, one whose
    // verification ran past its deadline included: a change prepares its fields only after this,
    // so it never rewrites what the earlier change left for the driver.
    static CConsolidatedError refuseWhileBusy(HANDLE target);
    // Refuses while actions are in progress, clears a pending error number, writes the trigger and
    // waits for it (verifyTrigger).
    CConsolidatedError triggerTransaction(HANDLE target, uint32_t kind);
    // Polls the configuration group every 500 ms until no action is in progress, for at most 60 s,
    // and maps the driver's error number. Running past the deadline alone is no failure: the
    // driver may still finish the work, and the caller's next session shows what it did.
    CConsolidatedError verifyTrigger(HANDLE target, uint32_t kind);
    // Sets `error` from a non-zero driver status of a trigger of this kind.
    static void mapTriggerStatus(int32_t status, uint32_t kind, CConsolidatedError& error);

    uint32_t getControllerHandle() const { return m_ControllerHandle; }
    uint32_t getTargetHandle() const { return m_TargetHandle; }

    static constexpr uint64_t kFirstReadTotalMs = 5000;
    static constexpr uint64_t kVerifyTotalMs = 60000;
    static constexpr uint32_t kBusyRetryPeriodMs = 300;
    static constexpr uint32_t kPollPeriodMs = 500;
    static constexpr uint32_t kMaxFailedReads = 5;

protected:
    // Appends "<run-time class name> <operation>" to the result's debug information.
    void addOperationTrace(CConsolidatedError& error, const char* operation) const;

    uint32_t m_ControllerHandle = 0;
    uint32_t m_TargetHandle = 0;
};

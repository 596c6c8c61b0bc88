#pragma once
// A change of one disk: its action code goes into its action field and 0 into every other disk's
// of the controller; the set-up is read back, then the driver's disk actions are triggered.
#include "middleware/model/TransactionManager.h"

class Session;

class DiskTransaction : public TransactionManager {
    MOX_RUNTIME_CLASS("class DiskTransaction")

public:
    DiskTransaction(uint32_t controllerHandle, uint32_t diskHandle)
        : TransactionManager(controllerHandle, diskHandle) {}
    ~DiskTransaction() override = default;

    // Runs first, under the controller's lock and before any write: the driver is idle and every
    // disk the set-up writes to is still the one the session read at its index. A caller that
    // writes a disk's device action before the transaction runs it before that write.
    CConsolidatedError confirmSetup(Session& session, HANDLE target) const;
    CConsolidatedError singleDiskTransaction(Session& session, HANDLE target, uint32_t action);
    // Reads every disk record the driver has (0 to NumDisks - 1) and checks that its serial number
    // is the session's and its action the one written.
    CConsolidatedError validateDiskTransactionSetup(Session& session, HANDLE target, uint32_t action);
};

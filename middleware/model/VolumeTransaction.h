#pragma once
// A change of one volume: its action code goes into its action field and 0 into every other
// volume's of the controller; the set-up is read back, then the driver's volume actions are
// triggered.
#include "middleware/model/TransactionManager.h"

class Session;

class VolumeTransaction : public TransactionManager {
    MOX_RUNTIME_CLASS("class VolumeTransaction")

public:
    VolumeTransaction(uint32_t controllerHandle, uint32_t volumeHandle)
        : TransactionManager(controllerHandle, volumeHandle) {}
    ~VolumeTransaction() override = default;

    // Runs first, under the controller's lock and before any write: the driver is idle and every
    // volume the set-up writes to is still the one the session read at its index. A caller that
    // writes a device action before the transaction runs it before that write.
    CConsolidatedError confirmSetup(Session& session, HANDLE target) const;
    CConsolidatedError singleVolumeTransaction(Session& session, HANDLE target, uint32_t action);
    // Reads every volume record the driver has (0 to NumRaidDevs - 1) and checks that its name is
    // the session's and its action the one written; another program's change in between fails it.
    CConsolidatedError validateVolumeTransactionSetup(Session& session, HANDLE target, uint32_t action);
};

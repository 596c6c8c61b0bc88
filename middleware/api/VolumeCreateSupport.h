#pragma once
// What the volume creation and modification read of a volume and an array, from the volume and
// array queries.
#include <cstdint>
#include <string>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/UviError.h"
#include "platform/win/WinTypes.h"

class Controller;
class Session;

namespace volume_create {

// Failures of the creation and modification steps: a code with its message, a status with its
// texts, and an error carried on with one more debug text.
CConsolidatedError Failure(KEDO2_ERRORS code, const char* message);
CConsolidatedError StatusFailure(_UVI_Status status, const char* message, const char* debug = nullptr);
CConsolidatedError WithDebug(CConsolidatedError error, const char* debug);

// The fields of a volume that the creation and modification decide by.
struct VolumeFacts {
    uint32_t handle = 0;
    uint32_t arrayHandle = 0;
    uint32_t controllerHandle = 0;
    uint32_t raidLevel = 0;
    uint32_t stripSize = 0;
    uint64_t sizeInBytes = 0;
    bool expandable = false;
    // 0 unknown, 1 power protection off, 2 on (the volume's Windows disk).
    uint32_t windowsCacheSetting = 0;
    std::string name;
};
// 0xA0000004 "Invalid Handle passed in to internalUviGetVolumeInfo, Received: %d" for a volume the
// session does not know.
CConsolidatedError ReadVolumeFacts(Session& session, uint32_t volumeHandle, VolumeFacts& facts);

struct ArrayFacts {
    uint32_t memberCount = 0;
    // The smallest member's size in bytes (0 without a present member).
    uint64_t smallestMemberBytes = 0;
};
CConsolidatedError ReadArrayFacts(Session& session, uint32_t arrayHandle, ArrayFacts& facts);

// Under the controller's lock, before the selection and new-volume data are written: the driver is
// idle, every disk of the controller with a RAID record (the selection marks are written to all of
// them) and the array (when one is given) are still where the session read them.
CConsolidatedError ConfirmSelectionTargets(Session& session, const Controller& controller, HANDLE target,
                                           uint32_t arrayHandle);

} // namespace volume_create

// The making of room on a disk of the topology model, through the Virtual Disk Service.
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/VdsHandler.h"
#include "platform/win/Trace.h"

namespace {

VdsDiskIdentity Identity(const GUID& guid, uint32_t signature, uint32_t kind) {
    VdsDiskIdentity identity;
    identity.partitionStyle = kind;
    identity.mbrSignature = signature;
    identity.gptGuid = guid;
    return identity;
}

CConsolidatedError Traced(CConsolidatedError result) {
    if (result.IsError())
        MOX_TRACE(TRACE_LEVEL_ERROR, "DiskShrinkExtension::makeSpaceForMetadata failed: %#X %s %s",
                  static_cast<unsigned>(result.GetErrorCode()), result.GetErrorMessage(),
                  result.GetDebugInformation());
    return result;
}

} // namespace

CConsolidatedError DiskShrinkExtension::makeSpaceForMetadata(uint32_t sectors, uint32_t sectorSize,
                                                             uint32_t kind) const {
    if (!isLinked()) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::GENERAL_INVALID_STATE, nullptr);
        return Traced(error);
    }
    const uint32_t needed = getMetadataSpaceSize(sectors, sectorSize, kind);
    GUID guid{};
    uint32_t signature = 0, style = 0;
    CConsolidatedError result = getDiskIdentifyData(guid, signature, style);
    if (result.IsError())
        return Traced(result);
    if (style == kNoPartitionTable)
        return result;
    result = VdsHandler::refresh();
    if (result.IsError())
        return Traced(result);
    return Traced(VdsHandler::makeFreeSpaceAtEndOfDisk(Identity(guid, signature, style), needed));
}

CConsolidatedError DiskShrinkExtension::makeSpace(uint64_t bytes) const {
    GUID guid{};
    uint32_t signature = 0, style = 0;
    CConsolidatedError result = getDiskIdentifyData(guid, signature, style);
    if (result.IsError())
        return result;
    result = VdsHandler::refresh();
    if (result.IsError())
        return result;
    return VdsHandler::shrinkLastVolume(Identity(guid, signature, style), bytes);
}

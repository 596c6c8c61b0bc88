#include "middleware/api/VdsMakeSpaceExport.h"

#include <exception>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/model/VdsHandler.h"

extern "C" MOX_EXPORT _UVI_Error UviVdsHandlerMakeSpaceForMetadataOnSystemDisk(uint64_t bytes) {
    CConsolidatedError result;
    try {
        VDS_DISK_PROP system{};
        result = VdsHandler::getSystemDiskProperties(system);
        if (result.IsSuccessful()) {
            VdsDiskIdentity identity;
            identity.partitionStyle = system.PartitionStyle;
            if (system.PartitionStyle == VDS_PST_MBR)
                identity.mbrSignature = system.dwSignature;
            else if (system.PartitionStyle == VDS_PST_GPT)
                identity.gptGuid = system.DiskGuid;
            result = VdsHandler::makeFreeSpaceAtEndOfDisk(identity, bytes);
        }
    } catch (const CConsolidatedError& error) {
        result = error;
    } catch (const std::exception& e) {
        result = CConsolidatedError();
        result.SetError(CConsolidatedError::UVI_INTERNALERROR, e.what());
    } catch (...) {
        result = CConsolidatedError();
        result.SetError(CConsolidatedError::UVI_INTERNALERROR, "unexpected exception");
    }
    return result;
}

#pragma once
// Room for RAID metadata at the end of the disk that holds the running system; needs neither an
// initialised library nor a session.
#include <cstdint>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

extern "C" MOX_EXPORT _UVI_Error UviVdsHandlerMakeSpaceForMetadataOnSystemDisk(uint64_t bytes);

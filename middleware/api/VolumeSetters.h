#pragma once
// The volume settings that other operations and the system information apply on their way: the
// export policy of a volume (a driver action) and its Windows buffer flushing (on the Windows disk of
// the volume or of its first member that has one, remembered by volume name in the registry).
#include <cstdint>

#include "middleware/core/ConsolidatedError.h"

class Session;

// Policy 1 is refused (0xA0010002 "Invalid Policy passed in") before anything is looked up. Only a
// volume in state 1, 8, 17, 20 or 35 takes a policy (else 0xA0010012); a boot volume never does
// (0xA0010012 with "Unable to set export policy on Boot Volume").
CConsolidatedError internalUviVolumeSetExportPolicy(Session& session, uint32_t volumeHandle, int policy);

// `enabled` goes to WinDiskInterface::setVolumeBufferFlush as it stands. A volume Windows shows
// itself needs no registry value (it is removed); otherwise the value is stored under the volume's
// name, also when no member disk is shown to Windows. A null session: status 2.
CConsolidatedError internalUviVolumeSetBufferFlush(Session* session, uint32_t volumeHandle, bool enabled);

// The same for the volume of that name, on a table session opened for it (up to 16 attempts, one
// second apart) and closed after.
CConsolidatedError internalUviVolumeSetBufferFlushWithNewSession(const char* volumeName, bool enabled);

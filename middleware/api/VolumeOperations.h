#pragma once
// The operations on one existing RAID volume and the lookups they share.
#include <cstdint>
#include <memory>

#include "middleware/core/ConsolidatedError.h"

class Controller;
class Session;

// The volume's controller: 0xA0000006 "null session" without a session, 0xA0010003 for a volume the
// session does not know, 0xA0000003 "failed to get controller" for a volume without a controller of
// the session.
CConsolidatedError GetVolumeAndController(Session* session, uint32_t volumeHandle,
                                          std::shared_ptr<Controller>& controller);

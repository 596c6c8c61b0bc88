#pragma once
// What the remap mode asks of the library beyond the session's reads and views.
#include <cstdint>
#include <vector>

#include "cli/access/CliSession.h"

namespace MOX {

class ZrcOperations {
public:
    // Works on the session the task opened; the session outlives the operations.
    explicit ZrcOperations(CliSession& session) : session_(session) {}

    // The controllers to be remapped together with this one: those of every hybrid disk set it is in,
    // or itself alone. A set in which it stands alone has lost its other half (return code 5).
    Error CheckRemapCandidate(uint32_t controllerHandle, std::vector<uint32_t>& controllerHandles);
    // Records the controllers in the remap request for the next boot; the library checks the rules.
    Error RemapControllers(const std::vector<uint32_t>& controllerHandles);

private:
    CliSession& session_;
};

} // namespace MOX

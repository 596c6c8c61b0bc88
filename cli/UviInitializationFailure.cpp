#include "cli/UviWrapper.h"

namespace MOX {

std::optional<std::string> UviInitializationFailure(int32_t status) {
    switch (status) {
    case 0:
    case 11:
        return std::nullopt;
    case 15:
        return "Unable to connect.";
    case 22:
        return "User has insufficient privileges.";
    default:
        return "Unknown initialization error: " + std::to_string(status);
    }
}

} // namespace MOX

#include "cli/ScopeFilters.h"

namespace MOX::scope {

Error InvalidScope() {
    Error error;
    error.set(1, "Invalid scope");
    return error;
}

} // namespace MOX::scope

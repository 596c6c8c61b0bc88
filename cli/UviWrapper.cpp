#include "cli/UviWrapper.h"

#include "cli/UviCalls.h"
#include "middleware/api/UviApi.h"

namespace MOX {

UviWrapper::UviWrapper() {
    // The failure's texts are not fetched: the status alone says what went wrong.
    const _UVI_Error result = CallUvi(UviInitialize);
    if (auto failure = UviInitializationFailure(static_cast<int32_t>(result.status)))
        throw UviInitializationException(*failure);
}

UviWrapper::~UviWrapper() {
    CallUvi(UviFinalize);
}

} // namespace MOX

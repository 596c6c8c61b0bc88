#pragma once
// How a binding of the platform layer reaches the simulated machine: through the seam of
// sim/PlatformCall.h, which records the call and asks the fault rules whether it is to fail.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/win/WinBase.h"
#include "sim/PlatformCall.h"

namespace platform {

// Records the call and returns the outcome of the first fault rule that fires for it, if any.
inline std::optional<nlohmann::json> SimCall(const std::string& kind, const nlohmann::json& selectors,
                                             const std::vector<uint8_t>& input = {}) {
    return sim::PlatformCall(kind, selectors, input);
}

// The frame every binding that reaches the machine runs its call in, around the seam above and the
// service's work: a state whose values are not of the form a service reads (written by hand or by
// another tool) makes the JSON library throw, a state file that cannot be read or written makes the
// machine throw; no such exception is part of any call's contract, so the call fails as it
// documents with ERROR_INVALID_DATA instead: `failed(ERROR_INVALID_DATA)` gives its result. The
// machine's own failures name their cause, which the user is told of (sim::ReportFailure).
template <class Work, class Failed> auto Guarded(Work&& work, Failed&& failed) -> decltype(work()) {
    try {
        return work();
    } catch (const nlohmann::json::exception&) {
        return failed(13u /* ERROR_INVALID_DATA */);
    } catch (const std::exception& e) {
        sim::ReportFailure(e.what());
        return failed(13u /* ERROR_INVALID_DATA */);
    }
}

// The failure form of a call that reports its error as the thread's last error and returns
// `failure` (FALSE, a null handle, 0).
template <class Result> auto LastErrorAnd(Result failure) {
    return [failure](uint32_t error) {
        SetLastError(error);
        return failure;
    };
}

// The failure form of a call that returns its error.
template <class Result> auto Returned() {
    return [](uint32_t error) { return static_cast<Result>(error); };
}

// The "hold" outcome some calls take, {"signal": event, "wait": event}: sets the first named event
// and waits for the second before the call goes on, so that a test can keep a call in the middle of
// its work while another thread or process tries something.
void HoldCall(const nlohmann::json& hold);

// A number of an outcome: a JSON number or a "0x..." string; fallback when absent or malformed.
uint32_t OutcomeNumber(const nlohmann::json& outcome, const char* key, uint32_t fallback);

} // namespace platform

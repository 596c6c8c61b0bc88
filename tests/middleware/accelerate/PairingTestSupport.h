#pragma once
// What the pairing tests share: a machine ready for a pairing, and how a failure and the driver's
// changes are told.
#include <cstdio>
#include <string>

#include "middleware/core/ConsolidatedError.h"
#include "sim/CallLog.h"
#include "sim/MachineBuilder.h"
#include "tests/support/MachineParts.h"

namespace pairingtest {

// The default machine with a cache-memory module of this size behind its SATA controller, which
// Windows sees (disk 4, with an old partition); with the pass-through hard disk ZA1B2C3D, which gets an EFI
// system partition in front of its data, it makes the one valid pair.
inline sim::MachineBuilder EnableMachine(uint64_t moduleBytes = uint64_t{32} << 30) {
    return moxtest::PairingEnableMachine(moduleBytes);
}

inline std::string Describe(const _UVI_Error& result) {
    const CConsolidatedError logged = GetLoggedError(result);
    char code[16];
    std::snprintf(code, sizeof code, "%#X", static_cast<unsigned>(result.code));
    return std::string(code) + " " + logged.GetErrorMessage() + " | " + logged.GetDebugInformation();
}

// RAID configuration requests that change something: their parameter block (after the 28-byte SRB
// header) says set (word 36).
inline size_t RaidWrites(const sim::CallLog& calls) {
    constexpr size_t kDirection = 28 + 36;
    size_t writes = 0;
    for (const sim::Call& c : calls.Of("DeviceIoControl"))
        if (c.selectors.value("signature", std::string()) == "OrvexRdp" && c.input.size() > kDirection &&
            c.input[kDirection] == 1)
            ++writes;
    return writes;
}

} // namespace pairingtest

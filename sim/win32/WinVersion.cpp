#include "platform/win/WinVersion.h"

#include "sim/Os.h"
#include "sim/Schema.h"
#include "sim/win32/SimCall.h"

namespace {

constexpr int kBitsPerCondition = 3;

// The field's position in the condition mask.
int Slot(DWORD typeBit) {
    for (int i = 0; i < 8; ++i)
        if (typeBit == (1u << i))
            return i;
    return -1;
}

BYTE ConditionOf(DWORDLONG mask, DWORD typeBit) {
    return static_cast<BYTE>((mask >> (Slot(typeBit) * kBitsPerCondition)) & 7);
}

enum class Verdict { Pass, Fail, Invalid };

Verdict Compare(uint64_t have, uint64_t want, BYTE condition) {
    switch (condition) {
    case VER_EQUAL:
        return have == want ? Verdict::Pass : Verdict::Fail;
    case VER_GREATER:
        return have > want ? Verdict::Pass : Verdict::Fail;
    case VER_GREATER_EQUAL:
        return have >= want ? Verdict::Pass : Verdict::Fail;
    case VER_LESS:
        return have < want ? Verdict::Pass : Verdict::Fail;
    case VER_LESS_EQUAL:
        return have <= want ? Verdict::Pass : Verdict::Fail;
    default:
        return Verdict::Invalid;
    }
}

} // namespace

ULONGLONG VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask, BYTE condition) {
    condition &= 7;
    if (typeMask == 0 || condition == 0)
        return conditionMask;
    for (int i = 7; i >= 0; --i)
        if (typeMask & (1u << i))
            return conditionMask | (static_cast<ULONGLONG>(condition) << (i * kBitsPerCondition));
    return conditionMask;
}

BOOL VerifyVersionInfoA(LPOSVERSIONINFOEXA info, DWORD typeMask, DWORDLONG conditionMask) {
    return platform::Guarded(
        [&]() -> BOOL {
            if (!info || typeMask == 0 || conditionMask == 0 || (typeMask & ~0xFFu)) {
                SetLastError(ERROR_BAD_ARGUMENTS);
                return FALSE;
            }
            if (auto outcome = platform::SimCall("VerifyVersionInfo", {{"type_mask", typeMask}})) {
                SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_OLD_WIN_VERSION));
                return FALSE;
            }
            const sim::os::Version os = sim::os::CurrentVersion();
            bool pass = true;
            auto check = [&](DWORD bit, uint64_t have, uint64_t want) -> bool {
                Verdict v = Compare(have, want, ConditionOf(conditionMask, bit));
                if (v == Verdict::Invalid)
                    return false;
                pass = pass && v == Verdict::Pass;
                return true;
            };
            bool valid = true;
            if (typeMask & VER_PRODUCT_TYPE)
                valid = valid && check(VER_PRODUCT_TYPE, os.productType, info->wProductType);
            if (typeMask & VER_SUITENAME) {
                const BYTE condition = ConditionOf(conditionMask, VER_SUITENAME);
                if (condition == VER_AND)
                    pass = pass && (os.suiteMask & info->wSuiteMask) == info->wSuiteMask;
                else if (condition == VER_OR)
                    pass = pass && (os.suiteMask & info->wSuiteMask) != 0;
                else
                    valid = false;
            }
            if (typeMask & VER_PLATFORMID)
                valid = valid && check(VER_PLATFORMID, os.platformId, info->dwPlatformId);
            if (typeMask & VER_BUILDNUMBER)
                valid = valid && check(VER_BUILDNUMBER, os.build, info->dwBuildNumber);

            // Major, minor and service pack compare as one version from the highest field down: the first
            // field that differs decides; equal fields hand the decision to the next one.
            const struct {
                DWORD bit;
                uint64_t have;
                uint64_t want;
            } levels[] = {
                {VER_MAJORVERSION, os.major, info->dwMajorVersion},
                {VER_MINORVERSION, os.minor, info->dwMinorVersion},
                {VER_SERVICEPACKMAJOR, os.servicePackMajor, info->wServicePackMajor},
                {VER_SERVICEPACKMINOR, os.servicePackMinor, info->wServicePackMinor},
            };
            Verdict decided = Verdict::Pass;
            for (const auto& level : levels) {
                if (!(typeMask & level.bit))
                    continue;
                decided = Compare(level.have, level.want, ConditionOf(conditionMask, level.bit));
                if (decided == Verdict::Invalid) {
                    valid = false;
                    break;
                }
                if (level.have != level.want)
                    break;
            }
            pass = pass && decided == Verdict::Pass;
            if (!valid) {
                SetLastError(ERROR_BAD_ARGUMENTS);
                return FALSE;
            }
            if (!pass) {
                SetLastError(ERROR_OLD_WIN_VERSION);
                return FALSE;
            }
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

namespace {

using namespace sim::schema;

const FaultKind kVersionFaults("VerifyVersionInfo", {"type_mask"}, Object({{"win32_error", Uint32()}}));

} // namespace

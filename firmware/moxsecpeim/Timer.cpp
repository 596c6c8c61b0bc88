#include "firmware/moxsecpeim/Timer.h"

#include "platform/uefi/pi/PeiStall.h"

#include "firmware/moxsecpeim/ModuleState.h"

VOID StartTimer(VOID) {
    CalibrateTsc();
}

VOID CalibrateTsc(VOID) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    EFI_PEI_STALL_PPI* Stall = nullptr;
    if (EFI_ERROR((*Services)->LocatePpi(Services, &gEfiPeiStallPpiGuid, 0, nullptr, (VOID**)&Stall)))
        return;
    UINT64 Before = 0;
    UINT64 After = 0;
    ReadTsc(&Before);
    Stall->Stall(Services, Stall, MOX_CALIBRATION_MICROSECONDS);
    ReadTsc(&After);
    gMoxSecPeim.TscTicksPerMicrosecond = (UINT32)((After - Before) / MOX_CALIBRATION_MICROSECONDS);
}

VOID ReadTsc(UINT64* Value) {
    *Value = AsmReadTsc();
}

UINT64 TscDeadline(UINT64 Microseconds) {
    UINT64 Now = 0;
    ReadTsc(&Now);
    UINT64 Rate = gMoxSecPeim.TscTicksPerMicrosecond;
    if (Rate != 0 && Microseconds > MOX_NO_TIME_LIMIT / Rate)
        return MOX_NO_TIME_LIMIT;
    UINT64 Ticks = Rate * Microseconds;
    if (Ticks > MOX_NO_TIME_LIMIT - Now)
        return MOX_NO_TIME_LIMIT;
    return Now + Ticks;
}

BOOLEAN DeadlineExpired(UINT64 Deadline) {
    UINT64 Now = 0;
    ReadTsc(&Now);
    return Now >= Deadline ? TRUE : FALSE;
}

VOID StallMicroseconds(UINT32 Microseconds) {
    UINT64 Deadline = TscDeadline(Microseconds);
    while (!DeadlineExpired(Deadline)) {
    }
}

VOID StallShort(UINT16 Microseconds) {
    StallMicroseconds(Microseconds);
}

UINT64 TimeoutToMicroseconds(UINT64 Timeout) {
    if (Timeout == 0)
        return MOX_NO_TIME_LIMIT;
    return Timeout / 10;
}

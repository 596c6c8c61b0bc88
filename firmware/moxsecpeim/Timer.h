// Waits of the module: busy polls against deadlines on the processor's time-stamp counter, whose rate
// is measured once at entry against the Stall PPI.
#pragma once

#include "platform/uefi/UefiBaseType.h"

// A duration without limit, and the deadline it gives.
#define MOX_NO_TIME_LIMIT 0xFFFFFFFFFFFFFFFFULL

// The stall that calibration measures the counter against.
#define MOX_CALIBRATION_MICROSECONDS 3000

VOID StartTimer(VOID);
// Without the Stall PPI the rate stays 0: every deadline is now and every stall returns at once.
VOID CalibrateTsc(VOID);
VOID ReadTsc(UINT64* Value);
UINT64 TscDeadline(UINT64 Microseconds);
BOOLEAN DeadlineExpired(UINT64 Deadline);
VOID StallMicroseconds(UINT32 Microseconds);
VOID StallShort(UINT16 Microseconds);
// A time-out of the public PPIs, in 100 ns units with 0 for no limit, in microseconds.
UINT64 TimeoutToMicroseconds(UINT64 Timeout);

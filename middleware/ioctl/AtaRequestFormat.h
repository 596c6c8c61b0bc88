#pragma once
// Formatting texts shared by the remap port, ATA/AHCI, NVMe and SCSI pass-through requests: the
// input-size check against a record and the allocation failure named after the request's class.
#include "middleware/core/ConsolidatedError.h"
#include "platform/win/WinTypes.h"

// Success when the size holds the record; otherwise 0xA0030137 with "InBufferSize is too small,
// must be >= sizeof(<record>) <class>::_realFormatInputBuffer" and "InBufferSize = %d", followed
// by ", sizeof(<record>)= %d" when withRecordSize is set.
CConsolidatedError CheckRequestInBufferSize(DWORD inBufferSize, DWORD recordSize, const char* recordName,
                                            const char* className, bool withRecordSize);

// Turns a failed base allocation (Win32 error 14) into "malloc returned null in <class>::
// _realFormatInputBuffer" with "InBufferSize = %d"; any other failure is returned unchanged.
CConsolidatedError NameAllocationFailure(const CConsolidatedError& failure, const char* className,
                                         DWORD inBufferSize);

#pragma once
// Files and volumes: what the product asks of the file system.
#include "platform/win/WinTypes.h"

// The space of the volume that holds a directory ("C:\", or a volume GUID path
// "\\?\Volume{...}\" / "\\.\Volume{...}\"): bytes free to the caller, total bytes, free bytes. Each
// out pointer may be null. FALSE with the last error when the volume cannot be found or read.
BOOL GetDiskFreeSpaceExA(LPCSTR directoryName, ULARGE_INTEGER* freeBytesAvailableToCaller,
                         ULARGE_INTEGER* totalNumberOfBytes, ULARGE_INTEGER* totalNumberOfFreeBytes);

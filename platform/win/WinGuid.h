#pragma once
// GUID text form of the COM runtime.
#include "platform/win/WinTypes.h"

using OLECHAR = wchar_t;
using LPOLESTR = OLECHAR*;

// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case, 38 characters and a NUL) into buffer.
// Returns the characters written including the NUL, or 0 when cchMax is below 39 (nothing written).
int StringFromGUID2(const GUID& guid, LPOLESTR buffer, int cchMax);

#pragma once
// Plain files of the current directory, opened by CreateFile when the path names no device and no
// other service claims it.
#include <string>

#include "platform/win/WinTypes.h"

namespace platform {

// A bare file name: no drive, no folder separator.
bool IsLocalFileName(const std::string& path);
// Opens the file as CreateFile does; INVALID_HANDLE_VALUE with the last error on failure.
HANDLE OpenLocalFile(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

} // namespace platform

#pragma once
// Files of volume C: as the cache service names them: by NTFS file id, and by FILETIME.
#include <cstdint>
#include <string>

#include "platform/win/WinFiles.h"

// The path ("C:\dir\file") of the file with that id on volume C:. Throws std::runtime_error when the
// volume or the file cannot be opened or its path does not fit 259 characters.
std::wstring FileIdToPath(uint64_t fileId);
// "day.month.year; hh:mm:ss" as the time stands (no conversion to local time); "Not available" for
// a time that is no date.
std::string FormatFileTime(const FILETIME& fileTime);

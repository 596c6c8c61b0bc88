#pragma once
// Cache preloading: every file that matches a path pattern read from the disk without the system's
// file cache, so that the data passes through the RAID driver into the SSD cache.
#include <cstddef>
#include <cstdint>
#include <string>

namespace MOX {

class AccelerateTask;

// The wide forms of the factory's flag texts; a flag is set when it is exactly the wide "TRUE".
extern const std::wstring WIDE_TRUE_TEXT;
extern const std::wstring WIDE_FALSE_TEXT;

// The read buffer: one for the whole walk, aligned for unbuffered reads of sectors up to 4 KiB.
constexpr size_t LOAD_BUFFER_BYTES = 0x1000000;

// Reads the files the pattern matches and, with the recurse flag, everything below the folders it
// matches. Without a buffer, this call makes one and frees it.
void LoadFilesRecursively(AccelerateTask& task, const std::wstring& quiet, const std::wstring& recurse,
                          const std::wstring& pattern, uint8_t* buffer);

} // namespace MOX

#pragma once
// Device I/O of the simulated PC: the storage adapters ("adapters" section), the disks Windows sees
// ("disks") and the volumes with drive letters ("volumes"). The platform layer's CreateFile,
// DeviceIoControl and ReadFile come here for device paths.
//
// Paths that open a device:
//   "\\.\ScsiN:"          the adapter with storage port N
//   "\\.\PhysicalDriveN"  the disk with device number N
//   "\\.\C:"              the volume with drive letter C
//   any device-interface path of the device tree ("devices" section) whose device is named as an
//   adapter's, disk's or volume's "instance_id"
//
// Every call checks the machine's fault rules first and is recorded in the call log with its input
// bytes; sim/README.md lists kinds, selectors and outcomes.
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "platform/win/WinTypes.h"

namespace sim::devio {

enum class ObjectKind { Adapter, Disk, Volume };
const char* KindName(ObjectKind kind);

// One open handle's object. It names the object by its key (port, device number or drive letter),
// so every request sees the machine's current state.
struct OpenDevice {
    ObjectKind kind = ObjectKind::Adapter;
    std::string path;
    int port = -1;         // adapter: its port; disk and volume: the port of the disk's adapter
    int deviceNumber = -1; // disk, volume: the disk's device number
    std::string letter;    // volume
    DWORD access = 0;

    // The read position of ReadFile, in bytes.
    std::mutex positionMutex;
    uint64_t position = 0;
};

struct OpenResult {
    std::shared_ptr<OpenDevice> device; // null on failure
    DWORD error = 0;
};

// Whether a path names a device rather than a file ("\\.\..." or an interface path "\\?\...#{...}").
bool IsDevicePath(const std::string& path);

OpenResult Open(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

struct IoResult {
    bool ok = false;
    // The thread's last error after a failure; 0 means the call failed without setting one.
    DWORD error = 0;
    uint32_t bytes = 0;
    // A failure that leaves the last error as the caller had it (outcome "win32_error": 0).
    bool keepLastError = false;
};

IoResult Control(OpenDevice& device, uint32_t ioControlCode, std::span<const uint8_t> input,
                 std::span<uint8_t> output);
IoResult Read(OpenDevice& device, std::span<uint8_t> buffer);
// Moves the read position (methods FILE_BEGIN 0 and FILE_CURRENT 1; FILE_END is refused with
// ERROR_INVALID_PARAMETER); a position before the start gives ERROR_NEGATIVE_SEEK.
constexpr uint32_t kFileBegin = 0;
constexpr uint32_t kFileCurrent = 1;
IoResult Seek(OpenDevice& device, int64_t distance, uint32_t method, uint64_t& position);

} // namespace sim::devio

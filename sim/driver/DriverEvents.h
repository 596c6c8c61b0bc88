#pragma once
// Changes of a running machine made from outside the programs that use it (a test, a second
// process, a tool), each announced as the driver announces its own: the controller's event counter
// goes up, the flag word of its event value says what changed, and every event registered with it
// is signalled. A program waiting on such an event in another process wakes within the kernel
// objects' poll time.
#include <cstdint>
#include <string>
#include <vector>

namespace sim::driver {

// A device's address behind a port: path, target, lun.
struct DeviceAddress {
    uint8_t path = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    bool operator==(const DeviceAddress&) const = default;
};

// Queues an asynchronous event word for the NVMe device at the address and signals every event
// registered for it, as the driver does when the device completes an Asynchronous Event Request.
// False when the adapter has no NVMe device at that address.
bool RaiseNvmeAsyncEvent(int adapterPort, DeviceAddress address, uint32_t eventWord);

// Bits 20 to 26 of the volume port's event value: what the latest announced change touched.
inline constexpr uint64_t kEventFlagVolumes = 1ull << 20;
inline constexpr uint64_t kEventFlagDisks = 1ull << 21;
inline constexpr uint64_t kEventFlagArrays = 1ull << 22;
inline constexpr uint64_t kEventFlagJobs = 1ull << 23;
inline constexpr uint64_t kEventFlagPairing = 1ull << 24;
inline constexpr uint64_t kEventFlagDevices = 1ull << 25;
inline constexpr uint64_t kEventFlagOther = 1ull << 26;
inline constexpr uint64_t kEventFlagMask = 0x7Full << 20;

// Announces a change with these flags on the controller of the port; false without one.
bool RaiseControllerEvent(int port, uint64_t flags);
// Marks disk `index` of the controller's RAID disk table present or missing (a disk plugged in or
// pulled) and announces it; false without such a disk.
bool SetRaidDiskPresent(int port, size_t index, bool present);
// Brings the controller up to the machine's clock (finishing triggered actions and jobs, which
// announce themselves); false without such a controller.
bool AdvanceController(int port);
// Queues an asynchronous event word for the NVMe device at path/target/lun of the adapter and
// signals its registered events; false without one.
bool RaiseNvmeEvent(int port, uint8_t path, uint8_t target, uint8_t lun, uint32_t eventWord);

// The event names registered with the controller's volume port (without "Global\").
std::vector<std::string> RegisteredEventNames(int port);
// The event names registered for the NVMe device's asynchronous events, and the words still queued
// for a name.
std::vector<std::string> RegisteredNvmeEventNames(int port, uint8_t path, uint8_t target, uint8_t lun);
size_t QueuedNvmeEventWords(int port, uint8_t path, uint8_t target, uint8_t lun, const std::string& name);

} // namespace sim::driver

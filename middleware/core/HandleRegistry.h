#pragma once
// Gives every object the C interface names a stable 32-bit handle: the same key text gets the same
// handle for the life of the process, across every session rebuild.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "middleware/core/Export.h"

enum HandleKind : uint32_t {
    HandleKindOther = 0,
    HandleKindDisk = 1,
    HandleKindController = 2,
    HandleKindPort = 3,
    HandleKindPhy = 4,
    HandleKindArray = 5,
    HandleKindVolume = 6,
    HandleKindRaidInfo = 7,
    HandleKindVezkDiskPair = 8,
    HandleKindHybridDiskSet = 9,
    HandleKindPciSwitch = 10, // PCI root-port controller sets; shares the "Other" prefix
};

class MOX_EXPORT HandleRegistry {
public:
    static HandleRegistry& instance();

    // The handle of prefix(kind) + name; a key not seen before gets the next handle. Handles count
    // from 1, one counter for all kinds, and are never given back.
    uint32_t getHandle(unsigned kind, const char* name);

    // Forgets every handle and counts from 1 again, as a new process does. Tests only.
    void resetForTests();

    HandleRegistry(const HandleRegistry&) = delete;
    HandleRegistry& operator=(const HandleRegistry&) = delete;

private:
    HandleRegistry() = default;

    uint32_t m_nextHandle = 1;
    std::map<std::string, uint32_t> m_handles;
    std::mutex m_lock;
};

#pragma once
// The command line's fixed vocabulary: every option descriptor, the three option sets and the map
// from each mode to its task factory. All are built once, on first use, in one place and in a fixed
// order (descriptors, then sets, then factories, which read the descriptors).
#include <vector>

#include "cli/OptionDescriptor.h"

namespace MOX {

struct OptionTable {
    // Modes.
    OptionDescriptor create, manage, modify, rescan, information, accelerate, halvexMemory, version, zrc;
    // General options.
    OptionDescriptor help, legacyHelp, quiet, disVerCheck, disableVersionCheck;
    // Mode options.
    OptionDescriptor level, name, stripeSize, verbose, array, controller, volume, disk, comma,
        createFromExisting, size, diskList, createCache, setAccelConfig, disassociate, ssd, fastDrive,
        volumeToAccel, diskToAccel, driveToAccel, mode, cacheSize, resetToAvailable, cacheVolume, accelInfo,
        loadCache, recurse, stats, dumpStats, clearStats, wait, disable, enable, start, progress, info,
        clearCache, fileCacheSize, fileCacheOffset, blockCacheSize, migrationSize, migrationStart,
        deleteVolume, notSpare, normal, normalVolume, volumeCachePolicy, rebuild, spare, target, cancelVerify,
        verifyRepair, verify, initialize, writeCache, unlock, deleteMetadata, deleteAllMetadata, noSync, add,
        expand, remap, remapAll;

    // All 77 in the order they are built: modes, general options, mode options.
    std::vector<const OptionDescriptor*> rows() const;
};

const OptionTable& Options();

// The 9 modes.
const OptionDescriptorSet& ModeOptions();
// The 5 general options.
const OptionDescriptorSet& GeneralOptions();
// Every descriptor that is not a mode (68).
const OptionDescriptorSet& AllOptions();
// Each mode to its factory; the factories live until the process ends.
const ModeFactoryMap& ModeFactories();

} // namespace MOX

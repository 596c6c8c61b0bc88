#pragma once
// The command line's fixed vocabulary: every option descriptor and the three option sets. Each
// descriptor's row says what kind of option it is, and the sets follow from the kinds. Built once, on
// first use: the descriptors, then the sets. The modes' factories are the mode table's
// (cli/tasks/ModeTable.h).
#include <vector>

#include "cli/OptionDescriptor.h"

namespace MOX {

enum class OptionKind {
    MODE,        // selects the task of a run; exactly one is given
    GENERAL,     // goes with any mode
    MODE_OPTION, // belongs to the modes whose factories allow it
};

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

// The descriptors of kind MODE (9).
const OptionDescriptorSet& ModeOptions();
// The descriptors of kind GENERAL (5).
const OptionDescriptorSet& GeneralOptions();
// Every descriptor that is not a mode (68).
const OptionDescriptorSet& AllOptions();

} // namespace MOX

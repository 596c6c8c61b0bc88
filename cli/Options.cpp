#include "cli/Options.h"

namespace MOX {

namespace {

// A descriptor's row: where the table keeps it, what kind of option it is, and its fields.
struct OptionRow {
    OptionDescriptor OptionTable::*member;
    OptionKind kind;
    OptionDescriptor descriptor;
};

// The rows in the order they are built: the modes, the general options, the mode options.
const std::vector<OptionRow>& OptionRows() {
    static const std::vector<OptionRow> rows = {
        {&OptionTable::create,
         OptionKind::MODE,
         {"create", "C", "Creates a new volume and array or creates a new volume on an existing array.", true,
          0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::manage,
         OptionKind::MODE,
         {"manage", "M", "Manages arrays, volumes and disks present in the storage system.", true, 1,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::modify,
         OptionKind::MODE,
         {"modify", "m", "Modifies an existing volume or array.", true, 0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::rescan,
         OptionKind::MODE,
         {"rescan", "r", "Forces the system to rescan for hardware changes.", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::information,
         OptionKind::MODE,
         {"information", "I", "Displays disk, volume, array, and controller information.", true, 1,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::accelerate,
         OptionKind::MODE,
         {"accelerate", "", "Accelerates a given drive or volume with the specified fast drive.", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::halvexMemory,
         OptionKind::MODE,
         {"HalvexMemory", "", "Manage Halvex Memory configuration.", true, 1, OptionDescriptor::VALUE_NONE,
          ""}},
        {&OptionTable::version,
         OptionKind::MODE,
         {"version", "V", "Displays version information.", true, 1, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::zrc,
         OptionKind::MODE,
         {"zrc", "", "Volume management device (ZRC) configuration.", true, 1, OptionDescriptor::VALUE_NONE,
          ""}},
        {&OptionTable::help,
         OptionKind::GENERAL,
         {"help", "h",
          "Displays help documentation for command line utility modes, options, usage, examples, and return "
          "codes. When used with a mode switch (create, information, mange, modify, or accelerate), "
          "instructions for that mode display. For example, --create --help displays Create option help.",
          true, 1, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::legacyHelp,
         OptionKind::GENERAL,
         {"legacyHelp", "", "Prints legacy help.", false, 1, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::quiet,
         OptionKind::GENERAL,
         {"quiet", "q", "Suppresses output for create, modify, and manage modes. Not valid on info mode.",
          true, 0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::disVerCheck,
         OptionKind::GENERAL,
         {"disVerCheck", "", "", false, 0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::disableVersionCheck,
         OptionKind::GENERAL,
         {"disableVersionCheck", "", "", false, 0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::level,
         OptionKind::MODE_OPTION,
         {"level", "l",
          "Changes the Raid type of an existing volume. Options are migrations from RAID 1 to RAID 0 or "
          "5, RAID 0 to RAID 5, and RAID 10 to RAID 5.",
          true, 0, OptionDescriptor::VALUE_REQUIRED, "0, 1, 5, 10"}},
        {&OptionTable::name,
         OptionKind::MODE_OPTION,
         {"name", "n", "Specifies a name for the volume created. Renames an existing volume in Modify mode.",
          true, 0, OptionDescriptor::VALUE_REQUIRED, "Volume name"}},
        {&OptionTable::stripeSize,
         OptionKind::MODE_OPTION,
         {"stripe-size", "s",
          "Sets a stripe size in kilobytes (2^10 bytes) for a volume. Valid when creating or changing the "
          "type "
          "of a volume and for RAID 0, RAID 5 and RAID 10. Options are 4, 8, 16, 32, 64 and 128 KB.",
          true, 0, OptionDescriptor::VALUE_REQUIRED, "size in KB"}},
        {&OptionTable::verbose,
         OptionKind::MODE_OPTION,
         {"verbose", "", "Enable verbose mode for some options (please check help for other options)", true,
          0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::array,
         OptionKind::MODE_OPTION,
         {"array", "a", "Lists information about the arrays in the storage system.", true, 0,
          OptionDescriptor::VALUE_OPTIONAL, "Array name"}},
        {&OptionTable::controller,
         OptionKind::MODE_OPTION,
         {"controller", "c", "Lists information about the controllers in the storage system.", true, 0,
          OptionDescriptor::VALUE_OPTIONAL, "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::volume,
         OptionKind::MODE_OPTION,
         {"volume", "v",
          "Lists information about the volumes on the system. Stipulates the volume to act on when "
          "used in Modify or Manage mode.",
          true, 0, OptionDescriptor::VALUE_OPTIONAL, "Volume name"}},
        {&OptionTable::disk,
         OptionKind::MODE_OPTION,
         {"disk", "d", "Lists information about the disks in the storage system.", true, 0,
          OptionDescriptor::VALUE_OPTIONAL, "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::comma,
         OptionKind::MODE_OPTION,
         {"comma", "", "Lists information in a comma delimited format view.", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::createFromExisting,
         OptionKind::MODE_OPTION,
         {"create-from-existing", "E",
          "Identifies the disk if data is to be migrated from one of the disks. Disk "
          "identifier is SCSI address.",
          true, 0, OptionDescriptor::VALUE_REQUIRED, "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::size,
         OptionKind::MODE_OPTION,
         {"size", "z",
          "Sets a size in gigabytes. This is an optional switch. If the size is not specified or "
          "specified to 0, then the maximum size available will be used.",
          true, 0, OptionDescriptor::VALUE_REQUIRED, "size in GB"}},
        {&OptionTable::diskList,
         OptionKind::MODE_OPTION,
         {"diskList", "",
          "Disks are specified by their SCSI address in the format of <host>-<bus>-<target>-<lun>. The list "
          "of "
          "disks to use for creating a volume must be the last argument on the command line.",
          false, 0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::createCache,
         OptionKind::MODE_OPTION,
         {"createCache", "", "Creates the cache.", false, 0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::setAccelConfig,
         OptionKind::MODE_OPTION,
         {"setAccelConfig", "", "Sets the config for accelerating a volume or drive.", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::disassociate,
         OptionKind::MODE_OPTION,
         {"disassociate", "",
          "This action is only available if the accelerated drive or volume that is associated with the "
          "cache "
          "drive is reported missing or inaccessible. As a result, caching activity is no longer occurring. "
          "If "
          "you are unable to reconnect the accelerated disk or volume, the only option is to remove the "
          "association between the cache drive and the disk or volume. Once the association between the "
          "cache "
          "and the accelerated disk or volume is removed, all cache metadata and data is deleted from the "
          "cache drive. You can then reset the solid-state drive to available or accelerate a different disk "
          "or volume, as long as the cache drive is healthy.",
          true, 0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::ssd,
         OptionKind::MODE_OPTION,
         {"SSD", "", "see --fast-drive ", true, 0, OptionDescriptor::VALUE_REQUIRED,
          "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::fastDrive,
         OptionKind::MODE_OPTION,
         {"fast-drive", "",
          "Specifies fast drive that will be used as cache/accelerator. If another fast is being "
          "used as cache, then that volume needs to be deleted to use a new fast drive.",
          true, 1, OptionDescriptor::VALUE_REQUIRED, "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::volumeToAccel,
         OptionKind::MODE_OPTION,
         {"volume-to-accel", "", "Specifies a name of the volume to be accelerated.", true, 0,
          OptionDescriptor::VALUE_REQUIRED, "Volume name"}},
        {&OptionTable::diskToAccel,
         OptionKind::MODE_OPTION,
         {"disk-to-accel", "", "see --drive-to-accel", true, 0, OptionDescriptor::VALUE_REQUIRED,
          "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::driveToAccel,
         OptionKind::MODE_OPTION,
         {"drive-to-accel", "", "Specifies a drive if accelerating a pass-through drive.", true, 1,
          OptionDescriptor::VALUE_REQUIRED, "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::mode,
         OptionKind::MODE_OPTION,
         {"mode", "", "Specifies Accelerate mode as Enhanced or Maximized.", true, 0,
          OptionDescriptor::VALUE_REQUIRED, "Enhanced or Maximized mode"}},
        {&OptionTable::cacheSize,
         OptionKind::MODE_OPTION,
         {"cache-size", "",
          "Sets a size in gigabytes for the cache memory. This is an optional switch. If the size "
          "is not specified, the complete size of the fast drive will be used for acceleration.",
          true, 0, OptionDescriptor::VALUE_REQUIRED, "size in GB"}},
        {&OptionTable::resetToAvailable,
         OptionKind::MODE_OPTION,
         {"reset-to-available", "", "Resets the cache volume to available.", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::cacheVolume,
         OptionKind::MODE_OPTION,
         {"cache-volume", "", "Specifies a name for the volume used as cache.", true, 0,
          OptionDescriptor::VALUE_REQUIRED, "Volume name"}},
        {&OptionTable::accelInfo,
         OptionKind::MODE_OPTION,
         {"accel-info", "", "Lists information about Accelerate settings.", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::loadCache,
         OptionKind::MODE_OPTION,
         {"loadCache", "", "Loads contents into the NV cache.", true, 0, OptionDescriptor::VALUE_REQUIRED,
          "\"Path\\filename(s)\""}},
        {&OptionTable::recurse,
         OptionKind::MODE_OPTION,
         {"recurse", "", "When loading content into the NV cache, recurses into sub directories.", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::stats,
         OptionKind::MODE_OPTION,
         {"stats", "", "Provides statistical information about the NV cache.", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::dumpStats,
         OptionKind::MODE_OPTION,
         {"dumpStats", "", "Provides statistical information about the NV cache for further investigation",
          true, 0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::clearStats,
         OptionKind::MODE_OPTION,
         {"clear-stats", "", "Clear statistic information for NV cache", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::wait,
         OptionKind::MODE_OPTION,
         {"wait", "", "Wait for completion of the cache migration before CLI exit", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::disable,
         OptionKind::MODE_OPTION,
         {"disable", "", "Separate Halvex Memory into Halvex drive and capacity drive.", true, 1,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::enable,
         OptionKind::MODE_OPTION,
         {"enable", "", "Create Halvex Memory", true, 1, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::start,
         OptionKind::MODE_OPTION,
         {"start", "", "Start services for Halvex Memory", true, 0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::progress,
         OptionKind::MODE_OPTION,
         {"progress", "", "Displays the progress of file cache migration.", true, 1,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::info,
         OptionKind::MODE_OPTION,
         {"info", "", "Lists information about Halvex Memory settings.", true, 1,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::clearCache,
         OptionKind::MODE_OPTION,
         {"clear-cache", "", "Clear Halvex block cache.", true, 0, OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::fileCacheSize,
         OptionKind::MODE_OPTION,
         {"file-cache-size", "", "Parameter defining size of File Cache in GB. This is an optional switch",
          false, 0, OptionDescriptor::VALUE_REQUIRED, "size in GB"}},
        {&OptionTable::fileCacheOffset,
         OptionKind::MODE_OPTION,
         {"file-cache-offset", "", "Parameter defining File Cache offset in LBA. This is optional switch",
          true, 0, OptionDescriptor::VALUE_REQUIRED, "size in GB"}},
        {&OptionTable::blockCacheSize,
         OptionKind::MODE_OPTION,
         {"block-cache-size", "", "Parameter defining Block Cache size in GB. This is an optional switch",
          false, 0, OptionDescriptor::VALUE_REQUIRED, "size in GB"}},
        {&OptionTable::migrationSize,
         OptionKind::MODE_OPTION,
         {"migration-size", "", "[Deprecated] See --file-cache-size", false, 0,
          OptionDescriptor::VALUE_REQUIRED, "size in GB"}},
        {&OptionTable::migrationStart,
         OptionKind::MODE_OPTION,
         {"migration-start", "", "[Deprecated] See --file-cache-offset", false, 0,
          OptionDescriptor::VALUE_REQUIRED, "size in GB"}},
        {&OptionTable::deleteVolume,
         OptionKind::MODE_OPTION,
         {"delete", "D", "Deletes the specified volume.", true, 0, OptionDescriptor::VALUE_REQUIRED,
          "Volume name"}},
        {&OptionTable::notSpare,
         OptionKind::MODE_OPTION,
         {"not-spare", "N", "Resets a spare disk to available.", true, 0, OptionDescriptor::VALUE_REQUIRED,
          "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::normal,
         OptionKind::MODE_OPTION,
         {"normal", "F", "Resets failed or SMART event disk to normal.", true, 0,
          OptionDescriptor::VALUE_REQUIRED, "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::normalVolume,
         OptionKind::MODE_OPTION,
         {"normal-volume", "f", "Resets failed RAID 0 volume to normal and recovers data.", true, 0,
          OptionDescriptor::VALUE_REQUIRED, "Volume name"}},
        {&OptionTable::volumeCachePolicy,
         OptionKind::MODE_OPTION,
         {"volume-cache-policy", "P", "Sets volume cache policy to either off or wb.", true, 0,
          OptionDescriptor::VALUE_REQUIRED, "Volume name"}},
        {&OptionTable::rebuild,
         OptionKind::MODE_OPTION,
         {"rebuild", "R", "Rebuilds the degraded volume.", true, 0, OptionDescriptor::VALUE_REQUIRED,
          "Volume name"}},
        {&OptionTable::spare,
         OptionKind::MODE_OPTION,
         {"spare", "S", "Marks a disk as a spare.", true, 0, OptionDescriptor::VALUE_REQUIRED,
          "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::target,
         OptionKind::MODE_OPTION,
         {"target", "t", "Indicates the pass-through disk to be used for rebuilding a degraded volume.", true,
          0, OptionDescriptor::VALUE_REQUIRED, "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::cancelVerify,
         OptionKind::MODE_OPTION,
         {"cancel-verify", "x", "Cancels a verify operation in progress.", true, 0,
          OptionDescriptor::VALUE_REQUIRED, "Volume name"}},
        {&OptionTable::verifyRepair,
         OptionKind::MODE_OPTION,
         {"verify-repair", "p", "Verifies and repairs the volume.", true, 0, OptionDescriptor::VALUE_REQUIRED,
          "Volume name"}},
        {&OptionTable::verify,
         OptionKind::MODE_OPTION,
         {"verify", "U", "Verifies data on the volume.", true, 0, OptionDescriptor::VALUE_REQUIRED,
          "Volume name"}},
        {&OptionTable::initialize,
         OptionKind::MODE_OPTION,
         {"initialize", "i", "Initializes the redundant data on a RAID 1, 5 or 10 volume.", true, 0,
          OptionDescriptor::VALUE_REQUIRED, "Volume name"}},
        {&OptionTable::writeCache,
         OptionKind::MODE_OPTION,
         {"write-cache", "w", "Enables or disables write cache for all disks that are part of an array.",
          true, 0, OptionDescriptor::VALUE_REQUIRED, "true or false"}},
        {&OptionTable::unlock,
         OptionKind::MODE_OPTION,
         {"unlock", "u", "Unlocks a disk.", true, 0, OptionDescriptor::VALUE_REQUIRED, "password"}},
        {&OptionTable::deleteMetadata,
         OptionKind::MODE_OPTION,
         {"delete-metadata", "T", "Deletes the metadata from the specified disk.", true, 0,
          OptionDescriptor::VALUE_REQUIRED, "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::deleteAllMetadata,
         OptionKind::MODE_OPTION,
         {"delete-all-metadata", "Z", "Deletes the metadata from all disks on the system.", true, 1,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::noSync,
         OptionKind::MODE_OPTION,
         {"no-sync", "", "Do not synchronize cache durning metadata deletion. Allowed only in WinPE", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::add,
         OptionKind::MODE_OPTION,
         {"add", "A", "Adds new disks to an existing volume.", true, 0, OptionDescriptor::VALUE_REQUIRED,
          "<host>-<bus>-<target>-<lun>"}},
        {&OptionTable::expand,
         OptionKind::MODE_OPTION,
         {"expand", "X", "Expands a volume to consume all available space in an array.", true, 0,
          OptionDescriptor::VALUE_NONE, ""}},
        {&OptionTable::remap,
         OptionKind::MODE_OPTION,
         {"remap", "", "Pulls specified controller under ZRC on next computer reboot.", true, 1,
          OptionDescriptor::VALUE_REQUIRED, "ScsiX"}},
        {&OptionTable::remapAll,
         OptionKind::MODE_OPTION,
         {"remap-all", "", "Pulls all eligible controllers under ZRC on next computer reboot.", true, 1,
          OptionDescriptor::VALUE_NONE, ""}},
    };
    return rows;
}

OptionTable BuildOptionTable() {
    OptionTable table;
    for (const OptionRow& row : OptionRows())
        table.*row.member = row.descriptor;
    return table;
}

struct Vocabulary {
    OptionDescriptorSet modeOptions;
    OptionDescriptorSet generalOptions;
    OptionDescriptorSet allOptions;

    // Each set takes its descriptors in the rows' order.
    Vocabulary() {
        for (const OptionRow& row : OptionRows()) {
            const OptionDescriptor& descriptor = Options().*row.member;
            if (row.kind == OptionKind::MODE)
                modeOptions.insert(descriptor);
            else
                allOptions.insert(descriptor);
            if (row.kind == OptionKind::GENERAL)
                generalOptions.insert(descriptor);
        }
    }
};

const Vocabulary& TheVocabulary() {
    static const Vocabulary vocabulary;
    return vocabulary;
}

} // namespace

std::vector<const OptionDescriptor*> OptionTable::rows() const {
    std::vector<const OptionDescriptor*> inOrder;
    for (const OptionRow& row : OptionRows())
        inOrder.push_back(&(this->*row.member));
    return inOrder;
}

const OptionTable& Options() {
    static const OptionTable table = BuildOptionTable();
    return table;
}

const OptionDescriptorSet& ModeOptions() {
    return TheVocabulary().modeOptions;
}

const OptionDescriptorSet& GeneralOptions() {
    return TheVocabulary().generalOptions;
}

const OptionDescriptorSet& AllOptions() {
    return TheVocabulary().allOptions;
}

} // namespace MOX

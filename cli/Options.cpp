#include "cli/Options.h"

#include "cli/ITaskFactory.h"
#include "cli/tasks/AccelerateTask.h"
#include "cli/tasks/CreateTask.h"
#include "cli/tasks/HalvexMemoryTask.h"
#include "cli/tasks/InformationTask.h"
#include "cli/tasks/ManageTask.h"
#include "cli/tasks/ModifyTask.h"
#include "cli/tasks/RescanTask.h"
#include "cli/tasks/VersionTask.h"
#include "cli/tasks/ZrcTask.h"

namespace MOX {

namespace {

OptionTable BuildOptionTable() {
    OptionTable t;
    t.create = {"create", "C", "Creates a new volume and array or creates a new volume on an existing array.",
                true,     0,   OptionDescriptor::VALUE_NONE,
                ""};
    t.manage = {"manage", "M", "Manages arrays, volumes and disks present in the storage system.",
                true,     1,   OptionDescriptor::VALUE_NONE,
                ""};
    t.modify = {"modify", "m", "Modifies an existing volume or array.", true, 0, OptionDescriptor::VALUE_NONE,
                ""};
    t.rescan = {"rescan", "r", "Forces the system to rescan for hardware changes.",
                true,     0,   OptionDescriptor::VALUE_NONE,
                ""};
    t.information = {"information",
                     "I",
                     "Displays disk, volume, array, and controller information.",
                     true,
                     1,
                     OptionDescriptor::VALUE_NONE,
                     ""};
    t.accelerate = {"accelerate",
                    "",
                    "Accelerates a given drive or volume with the specified fast drive.",
                    true,
                    0,
                    OptionDescriptor::VALUE_NONE,
                    ""};
    t.halvexMemory = {
        "HalvexMemory", "", "Manage Halvex Memory configuration.", true, 1, OptionDescriptor::VALUE_NONE, ""};
    t.version = {"version", "V", "Displays version information.", true, 1, OptionDescriptor::VALUE_NONE, ""};
    t.zrc = {"zrc", "", "Volume management device (ZRC) configuration.",
             true,  1,  OptionDescriptor::VALUE_NONE,
             ""};
    t.help = {
        "help",
        "h",
        "Displays help documentation for command line utility modes, options, usage, examples, and return "
        "codes. When used with a mode switch (create, information, mange, modify, or accelerate), "
        "instructions for that mode display. For example, --create --help displays Create option help.",
        true,
        1,
        OptionDescriptor::VALUE_NONE,
        ""};
    t.legacyHelp = {"legacyHelp", "", "Prints legacy help.", false, 1, OptionDescriptor::VALUE_NONE, ""};
    t.quiet = {
        "quiet", "q", "Suppresses output for create, modify, and manage modes. Not valid on info mode.",
        true,    0,   OptionDescriptor::VALUE_NONE,
        ""};
    t.disVerCheck = {"disVerCheck", "", "", false, 0, OptionDescriptor::VALUE_NONE, ""};
    t.disableVersionCheck = {"disableVersionCheck", "", "", false, 0, OptionDescriptor::VALUE_NONE, ""};
    t.level = {"level",
               "l",
               "Changes the Raid type of an existing volume. Options are migrations from RAID 1 to RAID 0 or "
               "5, RAID 0 to RAID 5, and RAID 10 to RAID 5.",
               true,
               0,
               OptionDescriptor::VALUE_REQUIRED,
               "0, 1, 5, 10"};
    t.name = {"name",
              "n",
              "Specifies a name for the volume created. Renames an existing volume in Modify mode.",
              true,
              0,
              OptionDescriptor::VALUE_REQUIRED,
              "Volume name"};
    t.stripeSize = {
        "stripe-size",
        "s",
        "Sets a stripe size in kilobytes (2^10 bytes) for a volume. Valid when creating or changing the type "
        "of a volume and for RAID 0, RAID 5 and RAID 10. Options are 4, 8, 16, 32, 64 and 128 KB.",
        true,
        0,
        OptionDescriptor::VALUE_REQUIRED,
        "size in KB"};
    t.verbose = {"verbose", "", "Enable verbose mode for some options (please check help for other options)",
                 true,      0,  OptionDescriptor::VALUE_NONE,
                 ""};
    t.array = {"array",     "a", "Lists information about the arrays in the storage system.",
               true,        0,   OptionDescriptor::VALUE_OPTIONAL,
               "Array name"};
    t.controller = {"controller",
                    "c",
                    "Lists information about the controllers in the storage system.",
                    true,
                    0,
                    OptionDescriptor::VALUE_OPTIONAL,
                    "<host>-<bus>-<target>-<lun>"};
    t.volume = {"volume",
                "v",
                "Lists information about the volumes on the system. Stipulates the volume to act on when "
                "used in Modify or Manage mode.",
                true,
                0,
                OptionDescriptor::VALUE_OPTIONAL,
                "Volume name"};
    t.disk = {"disk",
              "d",
              "Lists information about the disks in the storage system.",
              true,
              0,
              OptionDescriptor::VALUE_OPTIONAL,
              "<host>-<bus>-<target>-<lun>"};
    t.comma = {"comma", "", "Lists information in a comma delimited format view.",
               true,    0,  OptionDescriptor::VALUE_NONE,
               ""};
    t.createFromExisting = {"create-from-existing",
                            "E",
                            "Identifies the disk if data is to be migrated from one of the disks. Disk "
                            "identifier is SCSI address.",
                            true,
                            0,
                            OptionDescriptor::VALUE_REQUIRED,
                            "<host>-<bus>-<target>-<lun>"};
    t.size = {"size",
              "z",
              "Sets a size in gigabytes. This is an optional switch. If the size is not specified or "
              "specified to 0, then the maximum size available will be used.",
              true,
              0,
              OptionDescriptor::VALUE_REQUIRED,
              "size in GB"};
    t.diskList = {
        "diskList",
        "",
        "Disks are specified by their SCSI address in the format of <host>-<bus>-<target>-<lun>. The list of "
        "disks to use for creating a volume must be the last argument on the command line.",
        false,
        0,
        OptionDescriptor::VALUE_NONE,
        ""};
    t.createCache = {"createCache", "", "Creates the cache.", false, 0, OptionDescriptor::VALUE_NONE, ""};
    t.setAccelConfig = {"setAccelConfig",
                        "",
                        "Sets the config for accelerating a volume or drive.",
                        true,
                        0,
                        OptionDescriptor::VALUE_NONE,
                        ""};
    t.disassociate = {
        "disassociate",
        "",
        "This action is only available if the accelerated drive or volume that is associated with the cache "
        "drive is reported missing or inaccessible. As a result, caching activity is no longer occurring. If "
        "you are unable to reconnect the accelerated disk or volume, the only option is to remove the "
        "association between the cache drive and the disk or volume. Once the association between the cache "
        "and the accelerated disk or volume is removed, all cache metadata and data is deleted from the "
        "cache drive. You can then reset the solid-state drive to available or accelerate a different disk "
        "or volume, as long as the cache drive is healthy.",
        true,
        0,
        OptionDescriptor::VALUE_NONE,
        ""};
    t.ssd = {"SSD",
             "",
             "see --fast-drive ",
             true,
             0,
             OptionDescriptor::VALUE_REQUIRED,
             "<host>-<bus>-<target>-<lun>"};
    t.fastDrive = {"fast-drive",
                   "",
                   "Specifies fast drive that will be used as cache/accelerator. If another fast is being "
                   "used as cache, then that volume needs to be deleted to use a new fast drive.",
                   true,
                   1,
                   OptionDescriptor::VALUE_REQUIRED,
                   "<host>-<bus>-<target>-<lun>"};
    t.volumeToAccel = {"volume-to-accel",
                       "",
                       "Specifies a name of the volume to be accelerated.",
                       true,
                       0,
                       OptionDescriptor::VALUE_REQUIRED,
                       "Volume name"};
    t.diskToAccel = {"disk-to-accel",
                     "",
                     "see --drive-to-accel",
                     true,
                     0,
                     OptionDescriptor::VALUE_REQUIRED,
                     "<host>-<bus>-<target>-<lun>"};
    t.driveToAccel = {"drive-to-accel",
                      "",
                      "Specifies a drive if accelerating a pass-through drive.",
                      true,
                      1,
                      OptionDescriptor::VALUE_REQUIRED,
                      "<host>-<bus>-<target>-<lun>"};
    t.mode = {"mode",
              "",
              "Specifies Accelerate mode as Enhanced or Maximized.",
              true,
              0,
              OptionDescriptor::VALUE_REQUIRED,
              "Enhanced or Maximized mode"};
    t.cacheSize = {"cache-size",
                   "",
                   "Sets a size in gigabytes for the cache memory. This is an optional switch. If the size "
                   "is not specified, the complete size of the fast drive will be used for acceleration.",
                   true,
                   0,
                   OptionDescriptor::VALUE_REQUIRED,
                   "size in GB"};
    t.resetToAvailable = {"reset-to-available",         "", "Resets the cache volume to available.", true, 0,
                          OptionDescriptor::VALUE_NONE, ""};
    t.cacheVolume = {"cache-volume", "", "Specifies a name for the volume used as cache.",
                     true,           0,  OptionDescriptor::VALUE_REQUIRED,
                     "Volume name"};
    t.accelInfo = {"accel-info",
                   "",
                   "Lists information about Accelerate settings.",
                   true,
                   0,
                   OptionDescriptor::VALUE_NONE,
                   ""};
    t.loadCache = {"loadCache",
                   "",
                   "Loads contents into the NV cache.",
                   true,
                   0,
                   OptionDescriptor::VALUE_REQUIRED,
                   "\"Path\\filename(s)\""};
    t.recurse = {"recurse", "", "When loading content into the NV cache, recurses into sub directories.",
                 true,      0,  OptionDescriptor::VALUE_NONE,
                 ""};
    t.stats = {"stats", "", "Provides statistical information about the NV cache.",
               true,    0,  OptionDescriptor::VALUE_NONE,
               ""};
    t.dumpStats = {
        "dumpStats", "", "Provides statistical information about the NV cache for further investigation",
        true,        0,  OptionDescriptor::VALUE_NONE,
        ""};
    t.clearStats = {"clear-stats",
                    "",
                    "Clear statistic information for NV cache",
                    true,
                    0,
                    OptionDescriptor::VALUE_NONE,
                    ""};
    t.wait = {"wait", "", "Wait for completion of the cache migration before CLI exit",
              true,   0,  OptionDescriptor::VALUE_NONE,
              ""};
    t.disable = {"disable", "", "Separate Halvex Memory into Halvex drive and capacity drive.",
                 true,      1,  OptionDescriptor::VALUE_NONE,
                 ""};
    t.enable = {"enable", "", "Create Halvex Memory", true, 1, OptionDescriptor::VALUE_NONE, ""};
    t.start = {"start", "", "Start services for Halvex Memory", true, 0, OptionDescriptor::VALUE_NONE, ""};
    t.progress = {"progress", "", "Displays the progress of file cache migration.",
                  true,       1,  OptionDescriptor::VALUE_NONE,
                  ""};
    t.info = {"info", "", "Lists information about Halvex Memory settings.",
              true,   1,  OptionDescriptor::VALUE_NONE,
              ""};
    t.clearCache = {
        "clear-cache", "", "Clear Halvex block cache.", true, 0, OptionDescriptor::VALUE_NONE, ""};
    t.fileCacheSize = {"file-cache-size",
                       "",
                       "Parameter defining size of File Cache in GB. This is an optional switch",
                       false,
                       0,
                       OptionDescriptor::VALUE_REQUIRED,
                       "size in GB"};
    t.fileCacheOffset = {"file-cache-offset",
                         "",
                         "Parameter defining File Cache offset in LBA. This is optional switch",
                         true,
                         0,
                         OptionDescriptor::VALUE_REQUIRED,
                         "size in GB"};
    t.blockCacheSize = {"block-cache-size",
                        "",
                        "Parameter defining Block Cache size in GB. This is an optional switch",
                        false,
                        0,
                        OptionDescriptor::VALUE_REQUIRED,
                        "size in GB"};
    t.migrationSize = {"migration-size",
                       "",
                       "[Deprecated] See --file-cache-size",
                       false,
                       0,
                       OptionDescriptor::VALUE_REQUIRED,
                       "size in GB"};
    t.migrationStart = {"migration-start",
                        "",
                        "[Deprecated] See --file-cache-offset",
                        false,
                        0,
                        OptionDescriptor::VALUE_REQUIRED,
                        "size in GB"};
    t.deleteVolume = {"delete",     "D", "Deletes the specified volume.",
                      true,         0,   OptionDescriptor::VALUE_REQUIRED,
                      "Volume name"};
    t.notSpare = {"not-spare",
                  "N",
                  "Resets a spare disk to available.",
                  true,
                  0,
                  OptionDescriptor::VALUE_REQUIRED,
                  "<host>-<bus>-<target>-<lun>"};
    t.normal = {"normal",
                "F",
                "Resets failed or SMART event disk to normal.",
                true,
                0,
                OptionDescriptor::VALUE_REQUIRED,
                "<host>-<bus>-<target>-<lun>"};
    t.normalVolume = {"normal-volume",
                      "f",
                      "Resets failed RAID 0 volume to normal and recovers data.",
                      true,
                      0,
                      OptionDescriptor::VALUE_REQUIRED,
                      "Volume name"};
    t.volumeCachePolicy = {"volume-cache-policy",
                           "P",
                           "Sets volume cache policy to either off or wb.",
                           true,
                           0,
                           OptionDescriptor::VALUE_REQUIRED,
                           "Volume name"};
    t.rebuild = {"rebuild",    "R", "Rebuilds the degraded volume.",
                 true,         0,   OptionDescriptor::VALUE_REQUIRED,
                 "Volume name"};
    t.spare = {"spare",
               "S",
               "Marks a disk as a spare.",
               true,
               0,
               OptionDescriptor::VALUE_REQUIRED,
               "<host>-<bus>-<target>-<lun>"};
    t.target = {"target",
                "t",
                "Indicates the pass-through disk to be used for rebuilding a degraded volume.",
                true,
                0,
                OptionDescriptor::VALUE_REQUIRED,
                "<host>-<bus>-<target>-<lun>"};
    t.cancelVerify = {"cancel-verify",
                      "x",
                      "Cancels a verify operation in progress.",
                      true,
                      0,
                      OptionDescriptor::VALUE_REQUIRED,
                      "Volume name"};
    t.verifyRepair = {
        "verify-repair", "p", "Verifies and repairs the volume.", true, 0, OptionDescriptor::VALUE_REQUIRED,
        "Volume name"};
    t.verify = {"verify",     "U", "Verifies data on the volume.", true, 0, OptionDescriptor::VALUE_REQUIRED,
                "Volume name"};
    t.initialize = {"initialize", "i", "Initializes the redundant data on a RAID 1, 5 or 10 volume.",
                    true,         0,   OptionDescriptor::VALUE_REQUIRED,
                    "Volume name"};
    t.writeCache = {
        "write-cache",  "w", "Enables or disables write cache for all disks that are part of an array.",
        true,           0,   OptionDescriptor::VALUE_REQUIRED,
        "true or false"};
    t.unlock = {"unlock", "u", "Unlocks a disk.", true, 0, OptionDescriptor::VALUE_REQUIRED, "password"};
    t.deleteMetadata = {"delete-metadata",
                        "T",
                        "Deletes the metadata from the specified disk.",
                        true,
                        0,
                        OptionDescriptor::VALUE_REQUIRED,
                        "<host>-<bus>-<target>-<lun>"};
    t.deleteAllMetadata = {
        "delete-all-metadata",        "Z", "Deletes the metadata from all disks on the system.", true, 1,
        OptionDescriptor::VALUE_NONE, ""};
    t.noSync = {"no-sync", "", "Do not synchronize cache durning metadata deletion. Allowed only in WinPE",
                true,      0,  OptionDescriptor::VALUE_NONE,
                ""};
    t.add = {"add",
             "A",
             "Adds new disks to an existing volume.",
             true,
             0,
             OptionDescriptor::VALUE_REQUIRED,
             "<host>-<bus>-<target>-<lun>"};
    t.expand = {"expand", "X", "Expands a volume to consume all available space in an array.",
                true,     0,   OptionDescriptor::VALUE_NONE,
                ""};
    t.remap = {"remap", "", "Pulls specified controller under ZRC on next computer reboot.",
               true,    1,  OptionDescriptor::VALUE_REQUIRED,
               "ScsiX"};
    t.remapAll = {"remap-all", "", "Pulls all eligible controllers under ZRC on next computer reboot.",
                  true,        1,  OptionDescriptor::VALUE_NONE,
                  ""};
    return t;
}

struct Vocabulary {
    OptionDescriptorSet modeOptions;
    OptionDescriptorSet generalOptions;
    OptionDescriptorSet allOptions;
    ModeFactoryMap modeFactories;

    Vocabulary() {
        const OptionTable& o = Options();
        const auto rows = o.rows();
        for (size_t i = 0; i < 9; ++i)
            modeOptions.insert(*rows[i]);
        for (size_t i = 9; i < rows.size(); ++i)
            allOptions.insert(*rows[i]);
        for (size_t i = 9; i < 14; ++i)
            generalOptions.insert(*rows[i]);
        // The factories are never destroyed; this static table keeps them reachable until the process
        // ends, when the map that points at them is already gone.
        static ITaskFactory* const factories[] = {
            new CreateTaskFactory,       new ManageTaskFactory,      new ModifyTaskFactory,
            new RescanTaskFactory,       new InformationTaskFactory, new AccelerateTaskFactory,
            new HalvexMemoryTaskFactory, new VersionTaskFactory,     new ZrcTaskFactory};
        const OptionDescriptor* modes[] = {&o.create,       &o.manage,      &o.modify,
                                           &o.rescan,       &o.information, &o.accelerate,
                                           &o.halvexMemory, &o.version,     &o.zrc};
        for (size_t i = 0; i < 9; ++i)
            modeFactories.emplace(*modes[i], factories[i]);
    }
};

const Vocabulary& TheVocabulary() {
    static const Vocabulary vocabulary;
    return vocabulary;
}

} // namespace

std::vector<const OptionDescriptor*> OptionTable::rows() const {
    return {&create,
            &manage,
            &modify,
            &rescan,
            &information,
            &accelerate,
            &halvexMemory,
            &version,
            &zrc,
            &help,
            &legacyHelp,
            &quiet,
            &disVerCheck,
            &disableVersionCheck,
            &level,
            &name,
            &stripeSize,
            &verbose,
            &array,
            &controller,
            &volume,
            &disk,
            &comma,
            &createFromExisting,
            &size,
            &diskList,
            &createCache,
            &setAccelConfig,
            &disassociate,
            &ssd,
            &fastDrive,
            &volumeToAccel,
            &diskToAccel,
            &driveToAccel,
            &mode,
            &cacheSize,
            &resetToAvailable,
            &cacheVolume,
            &accelInfo,
            &loadCache,
            &recurse,
            &stats,
            &dumpStats,
            &clearStats,
            &wait,
            &disable,
            &enable,
            &start,
            &progress,
            &info,
            &clearCache,
            &fileCacheSize,
            &fileCacheOffset,
            &blockCacheSize,
            &migrationSize,
            &migrationStart,
            &deleteVolume,
            &notSpare,
            &normal,
            &normalVolume,
            &volumeCachePolicy,
            &rebuild,
            &spare,
            &target,
            &cancelVerify,
            &verifyRepair,
            &verify,
            &initialize,
            &writeCache,
            &unlock,
            &deleteMetadata,
            &deleteAllMetadata,
            &noSync,
            &add,
            &expand,
            &remap,
            &remapAll};
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

const ModeFactoryMap& ModeFactories() {
    return TheVocabulary().modeFactories;
}

} // namespace MOX

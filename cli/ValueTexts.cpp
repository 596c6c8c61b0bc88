#include "cli/ValueTexts.h"

#include <cmath>
#include <iomanip>
#include <sstream>
#include <utility>

#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/UviVolumeRecords.h"

namespace MOX {

namespace {

struct Entry {
    uint32_t value;
    const char* text;
};

template <size_t N> std::string Lookup(const Entry (&table)[N], uint32_t value, const char* otherwise) {
    for (const Entry& entry : table)
        if (entry.value == value)
            return entry.text;
    return otherwise;
}

std::string VersionText(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return UIntToText(a) + "." + UIntToText(b) + "." + UIntToText(c) + "." + UIntToText(d);
}

} // namespace

std::string UIntToText(uint32_t value) {
    return std::to_string(value);
}

std::string UInt64ToText(uint64_t value) {
    return std::to_string(value);
}

std::string HexToText(uint64_t value) {
    std::ostringstream text;
    text << "0x" << std::hex << std::nouppercase << value;
    return text.str();
}

std::string DiskIdToText(uint32_t packedAddress) {
    return std::to_string(packedAddress >> 24) + "-" + std::to_string((packedAddress >> 16) & 0xFF) + "-" +
           std::to_string((packedAddress >> 8) & 0xFF) + "-" + std::to_string(packedAddress & 0xFF);
}

std::string SizeToText(uint64_t bytes) {
    std::ostringstream text;
    text << std::floor(static_cast<double>(bytes) / 1073741824.0 + 0.5);
    return text.str();
}

std::string PciLocationToText(uint32_t bus, uint32_t device, uint32_t function) {
    return "bus " + std::to_string(bus) + ", device " + std::to_string(device) + ", function " +
           std::to_string(function);
}

std::string TrimLeadingSpaces(std::string text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return text;
    return text.substr(first);
}

std::string DiskStateToText(uint32_t state) {
    static const Entry table[] = {
        {UVI_DISK_STATE_OFFLINE, "Offline"}, {UVI_DISK_STATE_MISSING, "Missing"},
        {UVI_DISK_STATE_FAILED, "Failed"},   {UVI_DISK_STATE_SMART_EVENT, "Smart event triggered"},
        {UVI_DISK_STATE_NORMAL, "Normal"},   {UVI_DISK_STATE_LOCKED, "Locked"}};
    return Lookup(table, state, "Unknown disk state");
}

std::string DiskUsageToText(uint32_t usage) {
    static const Entry table[] = {{UVI_DISK_USAGE_ARRAY_MEMBER, "Array member"},
                                  {UVI_DISK_USAGE_PASS_THROUGH, "Pass through"},
                                  {UVI_DISK_USAGE_OFFLINE_ARRAY, "Offline array"},
                                  {UVI_DISK_USAGE_SPARE, "Spare"},
                                  {UVI_DISK_USAGE_ARRAY_MEMBER_READ_ONLY, "Array member read only"},
                                  {UVI_DISK_USAGE_PASS_THROUGH_READ_ONLY, "Pass through read only"}};
    return Lookup(table, usage, "Unknown disk usage");
}

std::string RaidLevelToText(uint32_t level) {
    static const Entry table[] = {{1, "0"},  {2, "1"},        {4, "10"},     {8, "5"},
                                  {16, "6"}, {0x1000, "YQR"}, {0x40000, "0"}};
    return Lookup(table, level, "Unknown Raid level");
}

std::string StripeSizeToText(uint32_t stripe) {
    static const Entry table[] = {{1, "2 KB"},     {2, "4 KB"},     {4, "8 KB"},      {8, "16 KB"},
                                  {16, "32 KB"},   {32, "64 KB"},   {64, "128 KB"},   {128, "256 KB"},
                                  {256, "512 KB"}, {512, "1 MB"},   {1024, "2 MB"},   {2048, "4 MB"},
                                  {4096, "8 MB"},  {8192, "16 MB"}, {16384, "32 MB"}, {32768, "64 MB"}};
    return Lookup(table, stripe, "Unknown");
}

std::string VolumeStateToText(uint32_t state) {
    static const Entry table[] = {
        {UVI_VOLUME_STATE_UNKNOWN, "Unknown"},
        {UVI_VOLUME_STATE_NORMAL, "Normal"},
        {UVI_VOLUME_STATE_DEGRADED, "Degraded"},
        {UVI_VOLUME_STATE_FAILED, "Failed"},
        {UVI_VOLUME_STATE_INITIALIZING, "Initializing"},
        {UVI_VOLUME_STATE_REBUILDING, "Rebuilding"},
        {UVI_VOLUME_STATE_VERIFYING, "Verifying"},
        {UVI_VOLUME_STATE_VERIFYING_AND_FIX, "VerifyingAndFix"},
        {UVI_VOLUME_STATE_GENERAL_MIGRATION, "GeneralMigration"},
        {UVI_VOLUME_STATE_LOCKED, "Locked"},
        {UVI_VOLUME_STATE_UNINITIALIZED, "Uninitialized"},
        {UVI_VOLUME_STATE_UNKNOWN_MAP_STATE, "UnknownMapState"},
        {UVI_VOLUME_STATE_STATE_CHANGING, "StateChanging"},
        {UVI_VOLUME_STATE_DISK_REPLACE, "DiskReplace"},
        {UVI_VOLUME_STATE_UNKNOWN_MIGR_TYPE, "UnknownMigrType"},
        {UVI_VOLUME_STATE_BROKEN_CLONE, "BrokenClone"},
        {UVI_VOLUME_STATE_NON_REDUNDANT_VOLUME_FAILED_DISK, "NonRedundantVolumeFailedDisk"},
        {UVI_VOLUME_STATE_MANUAL_NORMAL, "ManualNormal"},
        {UVI_VOLUME_STATE_MANUAL_RECOVERY_NOT_PRESENT, "ManualRecoveryNotPresent"},
        {UVI_VOLUME_STATE_MANUAL_RECOVERY_FAILED, "ManualRecoveryFailed"},
        {UVI_VOLUME_STATE_MANUAL_SYNCING, "ManualSyncing"},
        {UVI_VOLUME_STATE_MANUAL_NO_BACKUP, "ManualNoBackup"},
        {UVI_VOLUME_STATE_MANUAL_RECOVERY_NOT_PRESENT_NO_BACKUP, "ManualRecoveryNotPresentNoBackup"},
        {UVI_VOLUME_STATE_MANUAL_RECOVERY_MOUNTED, "ManualRecoveryMounted"},
        {UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE, "ManualRecoveryInUse"},
        {UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE_MASTER_NOT_PRESENT, "ManualRecoveryInUseMasterNotPresent"},
        {UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE_MASTER_FAILED, "ManualRecoveryInUseMasterFailed"},
        {UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE_NO_BACKUP, "ManualRecoveryInUseNoBackup"},
        {UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE_MASTER_NOT_PRESENT_NO_BACKUP,
         "ManualRecoveryInUseMasterNotPresentNoBackup"},
        {UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE_MASTER_MOUNTED, "ManualRecoveryInUseMasterMounted"},
        {UVI_VOLUME_STATE_MANUAL_REVERSE_SYNCING, "ManualReverseSyncing"},
        {UVI_VOLUME_STATE_DC_POWER_SAVE, "DCPowerSave"},
        {UVI_VOLUME_STATE_RECOVERY_NOT_PRESENT, "RecoveryNotPresent"},
        {UVI_VOLUME_STATE_RECOVERY_FAILED, "RecoveryFailed"},
        {UVI_VOLUME_STATE_RECOVERY_IN_USE, "RecoveryInUse"},
        {UVI_VOLUME_STATE_SYNCING, "Syncing"},
        {UVI_VOLUME_STATE_SYNC_PAUSED_DC_POWER_SAVE, "SyncPausedDCPowerSave"},
        {UVI_VOLUME_STATE_RECOVERY_NOT_PRESENT_NO_BACKUP, "RecoveryNotPresentNoBackup"},
        {UVI_VOLUME_STATE_RECOVERY_IN_USE_MASTER_NOT_PRESENT, "RecoveryInUseMasterNotPresent"},
        {UVI_VOLUME_STATE_RECOVERY_IN_USE_MASTER_FAILED, "RecoveryInUseMasterFailed"},
        {UVI_VOLUME_STATE_REVERSE_SYNCING, "ReverseSyncing"},
        {UVI_VOLUME_STATE_RECOVERY_IN_USE_DC_POWER_SAVE, "RecoveryInUseDCPowerSave"},
        {UVI_VOLUME_STATE_RECOVERY_IN_USE_MASTER_NOT_PRESENT_NO_BACKUP,
         "RecoveryInUseMasterNotPresentNoBackup"}};
    return Lookup(table, state, "Unknown State");
}

std::string AccelerationModeToText(uint32_t mode) {
    static const Entry table[] = {{1, "Off"},
                                  {2, "Off to Enhanced"},
                                  {4, "Off to Maximized"},
                                  {8, "Enhanced"},
                                  {16, "Maximized"},
                                  {32, "Maximized to Off"},
                                  {64, "Maximized to Enhanced"},
                                  {128, "Inconsistent Mode"}};
    return Lookup(table, mode, "Unknown");
}

std::string CachePairStateToText(uint32_t state) {
    static const Entry table[] = {{1, "Normal"},
                                  {2, "Rebuild"},
                                  {3, "Migrating"},
                                  {4, "SMART event on Slow drive"},
                                  {5, "SMART event on Fast drive"}};
    return Lookup(table, state, "Unknown");
}

std::string MigrationStateToText(uint32_t state) {
    static const Entry table[] = {
        {0, "Migration state unknown"}, {1, "Creating"}, {2, "Separating"}, {3, "No migration"}};
    return Lookup(table, state, "Unknown");
}

std::string PlatformSupportToText(const _UVI_VezkInfo& info) {
    const std::pair<const char*, uint8_t> lines[] = {{"CPU: ", info.cpuSupported},
                                                     {"PCH: ", info.pchSupported},
                                                     {"Operation system: ", info.osSupported},
                                                     {"Halvex feature: ", info.halvexFeatureSupported}};
    std::ostringstream text;
    for (const auto& [label, supported] : lines)
        text << std::setw(18) << std::right << label << (supported != 0 ? "Supported" : "Not supported")
             << '\n';
    return text.str();
}

void VersionMismatchText(const _UVI_MiddlewareVersionInfo& library, const _UVI_ControllerInfo& controller,
                         std::string& text) {
    const uint32_t(&driver)[4] = controller.driverVersionNumbers;
    text = "Orvex(R) MOX CLI version " +
           VersionText(library.major, library.minor, library.revision, library.build) +
           " cannot be used \nwith version " + VersionText(driver[0], driver[1], driver[2], driver[3]) +
           " of the driver.";
}

} // namespace MOX

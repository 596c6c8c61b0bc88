#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/ValueTexts.h"

namespace {

using MOX::DiskIdToText;
using MOX::HexToText;
using MOX::SizeToText;

TEST(ValueTexts, NumbersIdentifiersAndSizes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {SizeToText(2000398934016ull), "1863"},
        {SizeToText(536870912ull), "1"},
        {SizeToText(536870911ull), "0"},
        {SizeToText(0), "0"},
        {SizeToText(1099511627776ull), "1024"},
        {SizeToText(500107862016ull), "466"},
        // The stream's default format: a million GiB and more is written in exponent form.
        {SizeToText(1000000ull << 30), "1e+06"},
        {DiskIdToText(0), "0-0-0-0"},
        {DiskIdToText(0xFFFFFFFFu), "255-255-255-255"},
        {DiskIdToText(0x01000300u), "1-0-3-0"},
        {DiskIdToText(0x00020000u), "0-2-0-0"},
        {HexToText(160), "0xa0"},
        {HexToText(0), "0x0"},
        {MOX::HexIdToText(0x15B7), "0x15b7"},
        {MOX::HexIdToText(0x0A54), "0xa54"},
        {MOX::UIntToText(4294967295u), "4294967295"},
        {MOX::UInt64ToText(18446744073709551615ull), "18446744073709551615"},
        {MOX::PciLocationToText(0, 29, 0), "bus 0, device 29, function 0"},
        {MOX::TrimLeadingSpaces("   S3Z9NB0K"), "S3Z9NB0K"},
        {MOX::TrimLeadingSpaces("  "), "  "},
        {MOX::TrimLeadingSpaces(""), ""},
        {MOX::TrimLeadingSpaces("\tA"), "\tA"},
        {MOX::TrimLeadingSpaces(" A B "), "A B "},
    };
    for (const auto& [actual, expected] : cases)
        EXPECT_EQ(actual, expected);
}

TEST(ValueTexts, EnumeratedValuesAndTheirFallBacks) {
    struct Case {
        std::string (*function)(uint32_t);
        uint32_t value;
        const char* text;
    };
    const Case cases[] = {
        {MOX::DiskStateToText, 1, "Offline"},
        {MOX::DiskStateToText, 4, "Smart event triggered"},
        {MOX::DiskStateToText, 7, "Locked"},
        {MOX::DiskStateToText, 0, "Unknown disk state"},
        {MOX::DiskStateToText, 5, "Unknown disk state"},
        {MOX::DiskUsageToText, 1, "Array member"},
        {MOX::DiskUsageToText, 6, "Pass through read only"},
        {MOX::DiskUsageToText, 7, "Unknown disk usage"},
        {MOX::RaidLevelToText, 4, "10"},
        {MOX::RaidLevelToText, 8, "5"},
        {MOX::RaidLevelToText, 0x1000, "YQR"},
        {MOX::RaidLevelToText, 0x40000, "0"},
        {MOX::RaidLevelToText, 3, "Unknown Raid level"},
        {MOX::StripeSizeToText, 1, "2 KB"},
        {MOX::StripeSizeToText, 256, "512 KB"},
        {MOX::StripeSizeToText, 512, "1 MB"},
        {MOX::StripeSizeToText, 32768, "64 MB"},
        {MOX::StripeSizeToText, 3, "Unknown"},
        {MOX::StripeSizeToText, 65536, "Unknown"},
        {MOX::VolumeStateToText, 0, "Unknown"},
        {MOX::VolumeStateToText, 2, "Degraded"},
        {MOX::VolumeStateToText, 21, "ManualNoBackup"},
        {MOX::VolumeStateToText, 42, "RecoveryInUseMasterNotPresentNoBackup"},
        {MOX::VolumeStateToText, 43, "Unknown State"},
        {MOX::AccelerationModeToText, 16, "Maximized"},
        {MOX::AccelerationModeToText, 128, "Inconsistent Mode"},
        {MOX::AccelerationModeToText, 256, "Unknown"},
        {MOX::AccelerationModeToText, 0xFFFFFFFFu, "Unknown"},
        {MOX::CachePairStateToText, 5, "SMART event on Fast drive"},
        {MOX::CachePairStateToText, 0, "Unknown"},
        {MOX::MigrationStateToText, 0, "Migration state unknown"},
        {MOX::MigrationStateToText, 3, "No migration"},
        {MOX::MigrationStateToText, 4, "Unknown"},
        // The rest of each table, letter for letter.
        {MOX::DiskStateToText, 2, "Missing"},
        {MOX::DiskStateToText, 3, "Failed"},
        {MOX::DiskStateToText, 6, "Normal"},
        {MOX::DiskStateToText, 8, "Unknown disk state"},
        {MOX::DiskUsageToText, 0, "Unknown disk usage"},
        {MOX::DiskUsageToText, 2, "Pass through"},
        {MOX::DiskUsageToText, 3, "Offline array"},
        {MOX::DiskUsageToText, 4, "Spare"},
        {MOX::DiskUsageToText, 5, "Array member read only"},
        {MOX::RaidLevelToText, 0, "Unknown Raid level"},
        {MOX::RaidLevelToText, 1, "0"},
        {MOX::RaidLevelToText, 2, "1"},
        {MOX::RaidLevelToText, 16, "6"},
        {MOX::RaidLevelToText, 32, "Unknown Raid level"},
        {MOX::RaidLevelToText, 0x2000, "Unknown Raid level"},
        {MOX::StripeSizeToText, 0, "Unknown"},
        {MOX::StripeSizeToText, 2, "4 KB"},
        {MOX::StripeSizeToText, 4, "8 KB"},
        {MOX::StripeSizeToText, 8, "16 KB"},
        {MOX::StripeSizeToText, 16, "32 KB"},
        {MOX::StripeSizeToText, 32, "64 KB"},
        {MOX::StripeSizeToText, 64, "128 KB"},
        {MOX::StripeSizeToText, 128, "256 KB"},
        {MOX::StripeSizeToText, 1024, "2 MB"},
        {MOX::StripeSizeToText, 2048, "4 MB"},
        {MOX::StripeSizeToText, 4096, "8 MB"},
        {MOX::StripeSizeToText, 8192, "16 MB"},
        {MOX::StripeSizeToText, 16384, "32 MB"},
        {MOX::AccelerationModeToText, 0, "Unknown"},
        {MOX::AccelerationModeToText, 1, "Off"},
        {MOX::AccelerationModeToText, 2, "Off to Enhanced"},
        {MOX::AccelerationModeToText, 4, "Off to Maximized"},
        {MOX::AccelerationModeToText, 8, "Enhanced"},
        {MOX::AccelerationModeToText, 32, "Maximized to Off"},
        {MOX::AccelerationModeToText, 64, "Maximized to Enhanced"},
        {MOX::CachePairStateToText, 1, "Normal"},
        {MOX::CachePairStateToText, 2, "Rebuild"},
        {MOX::CachePairStateToText, 3, "Migrating"},
        {MOX::CachePairStateToText, 4, "SMART event on Slow drive"},
        {MOX::CachePairStateToText, 6, "Unknown"},
        {MOX::MigrationStateToText, 1, "Creating"},
        {MOX::MigrationStateToText, 2, "Separating"},
        {MOX::VolumeStateToText, 1, "Normal"},
        {MOX::VolumeStateToText, 7, "VerifyingAndFix"},
        {MOX::VolumeStateToText, 12, "StateChanging"},
        {MOX::VolumeStateToText, 16, "NonRedundantVolumeFailedDisk"},
        {MOX::VolumeStateToText, 25, "ManualRecoveryInUseMasterNotPresent"},
        {MOX::VolumeStateToText, 28, "ManualRecoveryInUseMasterNotPresentNoBackup"},
        {MOX::VolumeStateToText, 29, "ManualRecoveryInUseMasterMounted"},
        {MOX::VolumeStateToText, 30, "ManualReverseSyncing"},
        {MOX::VolumeStateToText, 31, "DCPowerSave"},
        {MOX::VolumeStateToText, 36, "SyncPausedDCPowerSave"},
        {MOX::VolumeStateToText, 37, "RecoveryNotPresentNoBackup"},
        {MOX::VolumeStateToText, 40, "ReverseSyncing"},
        {MOX::VolumeStateToText, 41, "RecoveryInUseDCPowerSave"},
        {MOX::VolumeStateToText, 0xFFFFFFFFu, "Unknown State"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.function(c.value), c.text) << c.value;
}

TEST(ValueTexts, PlatformSupportLinesAreRightAligned) {
    _UVI_VezkInfo info{};
    info.cpuSupported = 1;
    EXPECT_EQ(MOX::PlatformSupportToText(info), "             CPU: Supported\n"
                                                "             PCH: Not supported\n"
                                                "Operation system: Not supported\n"
                                                "  Halvex feature: Not supported\n");
    // Any non-zero flag counts as set; each line reads its own flag.
    info = _UVI_VezkInfo{};
    info.pchSupported = 2;
    info.halvexFeatureSupported = 0xFF;
    EXPECT_EQ(MOX::PlatformSupportToText(info), "             CPU: Not supported\n"
                                                "             PCH: Supported\n"
                                                "Operation system: Not supported\n"
                                                "  Halvex feature: Supported\n");
}

TEST(ValueTexts, VersionMismatchNamesBothVersions) {
    _UVI_MiddlewareVersionInfo library{};
    library.major = 20;
    library.minor = 1;
    library.revision = 0;
    library.build = 1007;
    _UVI_ControllerInfo controller{};
    const uint32_t driver[4] = {19, 31, 2, 4294967295u};
    std::copy(std::begin(driver), std::end(driver), controller.driverVersionNumbers);
    std::string text = "left over";
    MOX::VersionMismatchText(library, controller, text);
    EXPECT_EQ(text,
              "Orvex(R) MOX CLI version 20.1.0.1007 cannot be used \nwith version 19.31.2.4294967295 of the "
              "driver.");
}

} // namespace

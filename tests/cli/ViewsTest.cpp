#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/Array.h"
#include "cli/Controller.h"
#include "cli/EndDevice.h"
#include "cli/access/ThirdPartyViews.h"
#include "cli/access/Volume.h"

namespace {

using MOX::PropertyList;

template <size_t N> void SetText(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

std::vector<std::string> Names(const PropertyList& properties) {
    std::vector<std::string> names;
    for (const auto& [name, value] : properties)
        names.push_back(name);
    return names;
}

std::string ValueOf(const PropertyList& properties, const std::string& name) {
    for (const auto& [n, value] : properties)
        if (n == name)
            return value;
    return "<absent>";
}

_UVI_ControllerInfo ControllerRecord(uint32_t type) {
    _UVI_ControllerInfo info{};
    info.controllerHandle = 0x1001;
    info.portNumber = 2;
    SetText(info.name, "SATA \\\\Scsi2");
    info.type = type;
    info.vendorId = 0x1F4A;
    info.deviceId = 0x0A54;
    info.revisionId = 17;
    info.rootPortBus = 0;
    info.rootPortDevice = 29;
    info.rootPortFunction = 0;
    return info;
}

TEST(ControllerView, PropertiesInOrderWithTypeTexts) {
    const std::vector<std::pair<uint32_t, const char*>> types = {
        {1, "AHCI"}, {2, "Unknown"}, {3, "NVMe"}, {4, "ZRC"}};
    for (const auto& [type, text] : types) {
        MOX::Controller controller(ControllerRecord(type));
        _UVI_RaidInfo raid{};
        raid.maxDisksPerArray = 6;
        raid.maxDisksTotal = 8;
        raid.maxVolumesPerArray = 2;
        raid.maxVolumesPerController = 4;
        raid.raidSupported = 1;
        controller.setRaidInfo(raid);
        const PropertyList expected = {
            {"ID", "Scsi2"},          {"Name", "SATA \\\\Scsi2"},
            {"Type", text},           {"Supported RAID", ""},
            {"Max Disks/Array", "6"}, {"HW Information", ""},
            {"Vendor ID", "0x1f4a"},  {"Device ID", "0xa54"},
            {"HW Revision", "17"},    {"Root port PCI location", "bus 0, device 29, function 0"}};
        EXPECT_EQ(controller.serialize(), expected) << type;
        EXPECT_EQ(controller.getMaxDisksText(), "8");
        EXPECT_EQ(controller.getMaxVolumesPerArrayText(), "2");
        EXPECT_EQ(controller.getMaxVolumesText(), "4");
        EXPECT_EQ(controller.getRaidSupportedText(), "True");
    }
}

TEST(ControllerView, LevelsAndMigrationDescriptions) {
    MOX::Controller controller(ControllerRecord(1));
    _UVI_RaidLevelInfo raid1{};
    raid1.migrationMask = 0x9;
    raid1.secondMask = 0x8;
    for (uint32_t level : {1u, 2u, 8u, 4u})
        controller.addRaidLevel(level == 2 ? raid1 : _UVI_RaidLevelInfo{}, level);
    EXPECT_EQ(controller.getSupportedRaidText(), "0,1,5,10");
    ASSERT_EQ(controller.getRaidLevels().size(), 4u);
    EXPECT_EQ(controller.getRaidLevels()[1].migrationDescriptions,
              (std::vector<std::string>{"0", "5 by adding a disk."}));
    EXPECT_TRUE(controller.getRaidLevels()[0].migrationDescriptions.empty());

    // Copies are deep: the copy keeps its levels when the original gains another.
    MOX::Controller copy = controller;
    controller.addRaidLevel(_UVI_RaidLevelInfo{}, 16);
    EXPECT_EQ(copy.getSupportedRaidText(), "0,1,5,10");
}

TEST(ControllerView, InterfaceReadsTheRecord) {
    _UVI_ControllerInfo info = ControllerRecord(1);
    info.interfaceNotSupported = 1;
    info.capabilities[UVI_CAPABILITY_FLAG_COUNT - 1] = 1;
    const MOX::Controller controller(info);
    EXPECT_EQ(controller.getName(), "SATA \\\\Scsi2");
    EXPECT_EQ(controller.getScsiPortNumber(), 2u);
    EXPECT_EQ(controller.getHandle(), 0x1001u);
    EXPECT_TRUE(controller.isOwnDriverController());
    EXPECT_FALSE(controller.isCompatibleWithDriver());
    EXPECT_TRUE(controller.isRemapCapable());
    const MOX::Controller empty;
    EXPECT_TRUE(empty.isCompatibleWithDriver());
    EXPECT_EQ(empty.getRaidSupportedText(), "");
    EXPECT_EQ(empty.getSupportedRaidText(), "");
}

TEST(ArrayView, PropertiesStatesAndThePairingArray) {
    struct Case {
        const char* name;
        uint32_t state;
        uint32_t writeCache;
        const char* stateText;
        const char* cacheText;
        bool volumesListed;
    };
    const Case cases[] = {
        {"SATA_Array_0000", 1, 2, "Normal", "On", true},
        {"SATA_Array_0001", 5, 1, "Busy", "Off", true},
        {"SATA_Array_0002", 0, 0, "Unknown", "Unknown", true},
        {"Array_Orvex_Halvex_1", 8, 3, "Unknown", "Unknown", false},
    };
    for (const Case& c : cases) {
        _UVI_ArrayInfo info{};
        SetText(info.name, c.name);
        info.state = c.state;
        info.writeCache = c.writeCache;
        info.sizeInBytes = 1099511627776ull;
        info.availableSizeInBytes = 536870912ull;
        info.numDisks = 2;
        info.numVolumes = 1;
        const MOX::Array array(info);
        PropertyList expected = {{"Name", c.name},
                                 {"Size", "1024 GB"},
                                 {"Space available for new volumes", "1 GB"},
                                 {"Number of disks", "2"}};
        if (c.volumesListed)
            expected.emplace_back("Number of volumes", "1");
        expected.emplace_back("Write Cache", c.cacheText);
        EXPECT_EQ(array.getProperties(), expected) << c.name;
        EXPECT_EQ(array.getStateText(), c.stateText) << c.name;
    }
}

_UVI_EndDeviceInfo DiskRecord(uint32_t bus, bool ssd) {
    _UVI_EndDeviceInfo info{};
    info.endDeviceHandle = 0x2001;
    info.scsiAddress = 0x00000300;
    info.deviceType = 1;
    SetText(info.serialNumber, "    ZA1B2C4E");
    SetText(info.modelNumber, "Kelvar KV2000DM");
    SetText(info.firmwareRevision, "CC43");
    info.busType = bus;
    info.solidState = ssd ? 1 : 0;
    info.capacity = 2000398934016ull;
    info.sectorSize = 512;
    info.freeSectorCount = 2097152;
    info.state = 6;
    info.usage = 2;
    info.controllerHandle = 0x1001;
    return info;
}

TEST(EndDeviceView, SataDiskListsLinkSpeedAndLocation) {
    UVI_PhyInfo phy{};
    phy.linkRate = 3;
    phy.locationType = 1;
    phy.locationPort = 3;
    const MOX::EndDevice disk(DiskRecord(1, true), phy, {}, _UVI_NvcInfo{});
    const PropertyList expected = {{"ID", "0-0-3-0"},
                                   {"Type", "Disk"},
                                   {"Disk Type", "SATA SSD"},
                                   {"Disk Link Speed", "6 Gb/s"},
                                   {"State", "Normal"},
                                   {"Size", "1863 GB"},
                                   {"Space available for new volumes", "1 GB"},
                                   {"System Disk", "False"},
                                   {"Firmware", "CC43"},
                                   {"Usage", "Pass through"},
                                   {"Serial Number", "ZA1B2C4E"},
                                   {"Device location type", "SATA"},
                                   {"Port number", "3"},
                                   {"Model", "Kelvar KV2000DM"}};
    EXPECT_EQ(disk.serialize(), expected);
    EXPECT_EQ(disk.getSerialNumber(), "ZA1B2C4E");
    EXPECT_EQ(disk.getId(), "0-0-3-0");
}

TEST(EndDeviceView, BusPhyAndLocationDecideTheRows) {
    struct Case {
        const char* what;
        uint32_t bus;
        bool ssd;
        uint32_t linkRate, portInterface, locationType;
        uint8_t hmbSupported, hmbEnabled;
        std::vector<std::string> names;
    };
    const std::vector<std::string> common = {"State",        "Size",     "Space available for new volumes",
                                             "System Disk",  "Firmware", "Usage",
                                             "Serial Number"};
    auto with = [&](std::vector<std::string> head, std::vector<std::string> tail) {
        head.insert(head.end(), common.begin(), common.end());
        head.insert(head.end(), tail.begin(), tail.end());
        head.push_back("Model");
        return head;
    };
    const Case cases[] = {
        {"SATA link rate 0", 1, false, 0, 0, 0, 0, 0,
         with({"ID", "Type", "Disk Type"}, {"Device location type"})},
        {"NVMe without host memory buffer", 3, false, 0, 3, 3, 0, 0,
         with({"ID", "Type", "Disk Type", "Port Interface", "Bus Width", "Bus Speed",
               "Host Memory Buffer supported"},
              {"Device location type", "Root port PCIe location"})},
        {"NVMe with an enabled buffer", 3, true, 0, 3, 4, 1, 1,
         with({"ID", "Type", "Disk Type", "Port Interface", "Bus Width", "Bus Speed",
               "Host Memory Buffer supported", "Host Memory Buffer enabled", "Host Memory Buffer memory"},
              {"Device location type", "Socket", "Controller", "Physical slot", "Root port PCIe location"})},
        {"AHCI behind PCIe", 3, false, 0, 2, 2, 1, 1,
         with({"ID", "Type", "Disk Type", "Port Interface", "Bus Width", "Bus Speed"},
              {"Device location type", "Cycle router number"})},
    };
    for (const Case& c : cases) {
        _UVI_EndDeviceInfo info = DiskRecord(c.bus, c.ssd);
        info.hmbSupported = c.hmbSupported;
        info.hmbEnabled = c.hmbEnabled;
        info.hmbSizeMiB = 64;
        UVI_PhyInfo phy{};
        phy.linkRate = c.linkRate;
        phy.portInterface = c.portInterface;
        phy.locationType = c.locationType;
        const MOX::EndDevice disk(info, phy, {}, _UVI_NvcInfo{});
        const PropertyList properties = disk.serialize();
        EXPECT_EQ(Names(properties), c.names) << c.what;
        if (c.hmbEnabled && c.portInterface == 3) {
            EXPECT_EQ(ValueOf(properties, "Host Memory Buffer memory"), "64 MB");
        }
        if (c.locationType == 3) {
            EXPECT_EQ(ValueOf(properties, "Device location type"), "Software Remap");
        }
    }
    const MOX::EndDevice pcie(DiskRecord(3, false), UVI_PhyInfo{}, {}, _UVI_NvcInfo{});
    EXPECT_EQ(ValueOf(pcie.serialize(), "Disk Type"), "PCIE Disk");
    EXPECT_EQ(ValueOf(pcie.serialize(), "Port Interface"), "Unknown");
}

TEST(EndDeviceView, OtherDeviceTypesListIdTypeAndModel) {
    for (const auto& [type, text] : std::vector<std::pair<uint32_t, const char*>>{
             {2, "ATAPI"}, {3, "Non Storage"}, {9, "Unknown end device type"}}) {
        _UVI_EndDeviceInfo info = DiskRecord(1, false);
        info.deviceType = type;
        const MOX::EndDevice device(info, UVI_PhyInfo{}, {}, _UVI_NvcInfo{});
        const PropertyList expected = {{"ID", "0-0-3-0"}, {"Type", text}, {"Model", "Kelvar KV2000DM"}};
        EXPECT_EQ(device.serialize(), expected);
    }
}

TEST(EndDeviceView, UsageFromTheArrayVolumesAndTheCache) {
    _UVI_VolumeInfo plain{}, recovery{}, cache{};
    plain.raidLevel = 2;
    recovery.raidLevel = 0x1000;
    cache.raidLevel = 0x40000;
    cache.isBlockCacheVolume = 1;
    struct Case {
        uint32_t usage;
        uint8_t master;
        std::vector<_UVI_VolumeInfo> volumes;
        const char* text;
    };
    const Case cases[] = {
        {1, 1, {plain, recovery, cache}, "Master disk"},
        {1, 0, {recovery, cache}, "Recovery disk"},
        {1, 0, {plain, cache, recovery}, "Cache device"},
        {1, 0, {plain}, "Array member"},
        {0, 0, {}, "Unknown disk usage"},
        {4, 0, {}, "Spare"},
        {7, 0, {}, "Accelerated disk"},
    };
    _UVI_NvcInfo nvc{};
    nvc.mode = UVI_NVC_MODE_PERFORMANCE;
    for (const Case& c : cases) {
        _UVI_EndDeviceInfo info = DiskRecord(1, false);
        info.usage = c.usage;
        info.masterDisk = c.master;
        SetText(info.nvmeSerialNumber, "  CS-77");
        const MOX::EndDevice disk(info, UVI_PhyInfo{}, c.volumes, nvc);
        const PropertyList properties = disk.serialize();
        EXPECT_EQ(ValueOf(properties, "Usage"), c.text);
        EXPECT_EQ(ValueOf(properties, "Controller Serial Number"), "CS-77");
        const std::vector<std::string> names = Names(properties);
        const auto usage = std::find(names.begin(), names.end(), "Usage");
        ASSERT_NE(usage, names.end());
        EXPECT_EQ(*(usage + 1), c.usage == 7 ? "Acceleration Mode" : "Serial Number") << c.text;
        if (c.usage == 7) {
            EXPECT_EQ(ValueOf(properties, "Acceleration Mode"), "Maximized");
        }
    }
}

TEST(ThirdPartyViews, ControllerAndDiskProperties) {
    _UVI_ThirdPartyControllerInfo controller{};
    controller.controllerHandle = 0x3001;
    controller.portNumber = 4;
    SetText(controller.name, "NVMe \\\\Scsi4");
    controller.type = 2;
    controller.vendorId = 0x15B7;
    controller.deviceId = 0x0A54;
    controller.revisionId = 3;
    controller.rootPortBus = 1;
    const MOX::ThirdPartyController view(controller);
    const PropertyList expected = {
        {"ID", "Scsi4"},         {"Name", "NVMe \\\\Scsi4"},
        {"Type", "Unknown"},     {"HW Information", ""},
        {"Vendor ID", "0x15b7"}, {"Device ID", "0xa54"},
        {"HW Revision", "3"},    {"Root port PCI location", "bus 1, device 0, function 0"}};
    EXPECT_EQ(view.serialize(), expected);
    EXPECT_FALSE(view.isOwnDriverController());
    EXPECT_FALSE(view.isCompatibleWithDriver());

    _UVI_ThirdPartyEndDeviceInfo disk{};
    disk.scsiAddress = 0x04000000;
    disk.deviceType = 1;
    SetText(disk.serialNumber, "    S4EWNX0R");
    SetText(disk.modelNumber, "Wendal SN570");
    SetText(disk.firmwareRevision, "234110WD");
    disk.busType = 3;
    disk.solidState = 1;
    disk.diskLength = 500107862016ull;
    disk.state = 6;
    disk.usage = 2;
    const PropertyList diskExpected = {
        {"ID", "4-0-0-0"},        {"Type", "Disk"},          {"Disk Type", "PCIE SSD"},
        {"State", "Normal"},      {"Size", "466 GB"},        {"System Disk", "False"},
        {"Firmware", "234110WD"}, {"Usage", "Pass through"}, {"Serial Number", "S4EWNX0R"},
        {"Model", "Wendal SN570"}};
    EXPECT_EQ(MOX::ThirdPartyEndDevice(disk).serialize(), diskExpected);
    EXPECT_FALSE(MOX::ThirdPartyEndDevice(disk).hasSmartEvent());
    disk.deviceType = 2;
    EXPECT_EQ(Names(MOX::ThirdPartyEndDevice(disk).serialize()),
              (std::vector<std::string>{"ID", "Type", "Model"}));
}

TEST(VolumeView, LevelUsageAndPolicyRows) {
    struct Case {
        const char* what;
        uint32_t level;
        uint8_t cacheVolume, accelerated, dataVolume;
        uint32_t policy, state;
        std::vector<std::pair<std::string, std::string>> checks;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"RAID 1",
         2,
         0,
         0,
         0,
         0,
         2,
         {{"Raid Level", "1"}, {"Cache Policy", "Unknown"}, {"State", "Degraded"}},
         {"Name", "Raid Level", "Size", "StripeSize", "Num Disks", "State", "System", "Initialized",
          "Cache Policy"}},
        {"pairing",
         32,
         0,
         0,
         0,
         3,
         43,
         {{"State", "Unknown State"}},
         {"Name", "Size", "Num Disks", "State", "System", "Initialized"}},
        {"data and cache",
         0x40000,
         1,
         0,
         1,
         2,
         1,
         {{"Usage", "Data volume"}, {"Cache Policy", "WT"}},
         {"Name", "Raid Level", "Size", "StripeSize", "Num Disks", "State", "Usage", "System", "Initialized",
          "Cache Policy"}},
        {"cache on RAID 1",
         2,
         1,
         1,
         0,
         4,
         0,
         {{"Usage", "Unknown"}, {"Acceleration Mode", "Enhanced"}},
         {"Name", "Raid Level", "Size", "StripeSize", "Num Disks", "State", "Usage", "Acceleration Mode",
          "System", "Initialized", "Cache Policy"}},
    };
    _UVI_NvcInfo nvc{};
    nvc.mode = UVI_NVC_MODE_SAFE;
    for (const Case& c : cases) {
        _UVI_VolumeInfo info{};
        SetText(info.name, "Volume0");
        info.raidLevel = c.level;
        info.isBlockCacheVolume = c.cacheVolume;
        info.isAcceleratedVolume = c.accelerated;
        info.isPairingVolume = c.dataVolume;
        info.cachePolicy = c.policy;
        info.state = c.state;
        info.stripSizeCode = 32;
        info.sizeInBytes = 499712ull << 20;
        info.numDisks = 2;
        const MOX::Volume volume(info, nvc, "Volume0");
        const PropertyList properties = volume.getProperties();
        EXPECT_EQ(Names(properties), c.names) << c.what;
        for (const auto& [name, value] : c.checks)
            EXPECT_EQ(ValueOf(properties, name), value) << c.what << " " << name;
    }
}

// The PHY record's fields that the end-device view reads.
struct PhyFields {
    uint32_t linkRate = 0, negotiatedLinkRate = 0, portInterface = 0, busWidth = 0, busSpeed = 0;
    uint32_t locationType = 0;
    uint8_t locationPort = 0, locationCycleRouter = 0, locationBus = 0, locationDevice = 0,
            locationFunction = 0;
    uint32_t locationSocket = 0, locationController = 0, locationSlot = 0;

    UVI_PhyInfo Record() const {
        UVI_PhyInfo phy{};
        phy.linkRate = linkRate;
        phy.negotiatedLinkRate = negotiatedLinkRate;
        phy.portInterface = portInterface;
        phy.busWidth = busWidth;
        phy.busSpeed = busSpeed;
        phy.locationType = locationType;
        phy.locationPort = locationPort;
        phy.locationCycleRouter = locationCycleRouter;
        phy.locationBus = locationBus;
        phy.locationDevice = locationDevice;
        phy.locationFunction = locationFunction;
        phy.locationSocket = locationSocket;
        phy.locationController = locationController;
        phy.locationSlot = locationSlot;
        return phy;
    }
};

TEST(EndDeviceView, PhyAndBusValueTexts) {
    struct Case {
        uint32_t bus;
        PhyFields phy;
        const char* row;
        const char* text; // "<absent>" when the row is left out
    };
    const Case cases[] = {
        {1, {.linkRate = 1}, "Disk Link Speed", "1.5 Gb/s"},
        {1, {.linkRate = 2}, "Disk Link Speed", "3 Gb/s"},
        {1, {.linkRate = 4}, "Disk Link Speed", "<absent>"},
        // The link speed is a SATA row, read from the record's second copy of the rate.
        {3, {.linkRate = 3}, "Disk Link Speed", "<absent>"},
        {1, {.negotiatedLinkRate = 3}, "Disk Link Speed", "<absent>"},
        {3, {.portInterface = 1}, "Port Interface", "Unsupported"},
        {3, {.portInterface = 2}, "Port Interface", "AHCI"},
        {3, {.portInterface = 3}, "Port Interface", "NVMe"},
        {3, {.portInterface = 4}, "Port Interface", "Unknown"},
        {3, {.busWidth = 1}, "Bus Width", "Unsupported"},
        {3, {.busWidth = 2}, "Bus Width", "X1"},
        {3, {.busWidth = 3}, "Bus Width", "X2"},
        {3, {.busWidth = 4}, "Bus Width", "X4"},
        {3, {.busWidth = 5}, "Bus Width", "Unknown"},
        {3, {.busSpeed = 1}, "Bus Speed", "Unsupported"},
        {3, {.busSpeed = 2}, "Bus Speed", "GEN1"},
        {3, {.busSpeed = 3}, "Bus Speed", "GEN2"},
        {3, {.busSpeed = 4}, "Bus Speed", "GEN3"},
        {3, {.busSpeed = 5}, "Bus Speed", "GEN4"},
        {3, {.busSpeed = 0}, "Bus Speed", "Unknown"},
        {2, {}, "Disk Type", "SAS Disk"},
        {2, {}, "Bus Width", "<absent>"},
        {7, {}, "Disk Type", "Unknown disk type Disk"},
        // The device location block.
        {1, {.locationType = 0}, "Device location type", "Unknown"},
        {1, {.locationType = 5}, "Device location type", "Unknown"},
        {1, {.locationType = 2}, "Device location type", "Cycle Router"},
        {1, {.locationType = 4}, "Device location type", "ZRC"},
        {1, {.locationType = 2, .locationCycleRouter = 7}, "Cycle router number", "7"},
        {1, {.locationType = 4, .locationSocket = 4294967295u}, "Socket", "4294967295"},
        {1, {.locationType = 4, .locationController = 2}, "Controller", "2"},
        {1, {.locationType = 4, .locationSlot = 12}, "Physical slot", "12"},
        {1,
         {.locationType = 3, .locationBus = 225, .locationDevice = 3, .locationFunction = 1},
         "Root port PCIe location",
         "bus 225, device 3, function 1"},
        {1,
         {.locationType = 4, .locationBus = 225, .locationDevice = 3, .locationFunction = 1},
         "Root port PCIe location",
         "bus 225, device 3, function 1"},
        {1, {.locationType = 1, .locationBus = 225}, "Root port PCIe location", "<absent>"},
        {1, {.locationType = 3, .locationPort = 5}, "Port number", "<absent>"},
    };
    for (const Case& c : cases) {
        const MOX::EndDevice disk(DiskRecord(c.bus, false), c.phy.Record(), {}, _UVI_NvcInfo{});
        EXPECT_EQ(ValueOf(disk.serialize(), c.row), c.text) << c.bus << " " << c.row;
    }
}

TEST(EndDeviceView, HostMemoryBufferRows) {
    struct Case {
        uint8_t supported, enabled;
        std::vector<std::pair<std::string, std::string>> rows;
    };
    const Case cases[] = {
        {0,
         1,
         {{"Host Memory Buffer supported", "No"},
          {"Host Memory Buffer enabled", "<absent>"},
          {"Host Memory Buffer memory", "<absent>"}}},
        {1,
         0,
         {{"Host Memory Buffer supported", "Yes"},
          {"Host Memory Buffer enabled", "No"},
          {"Host Memory Buffer memory", "<absent>"}}},
        {1,
         1,
         {{"Host Memory Buffer supported", "Yes"},
          {"Host Memory Buffer enabled", "Yes"},
          {"Host Memory Buffer memory", "18446744073709551615 MB"}}},
    };
    for (const Case& c : cases) {
        _UVI_EndDeviceInfo info = DiskRecord(3, true);
        info.hmbSupported = c.supported;
        info.hmbEnabled = c.enabled;
        info.hmbSizeMiB = 18446744073709551615ull;
        UVI_PhyInfo phy{};
        phy.portInterface = 3;
        const PropertyList properties = MOX::EndDevice(info, phy, {}, _UVI_NvcInfo{}).serialize();
        for (const auto& [row, text] : c.rows)
            EXPECT_EQ(ValueOf(properties, row), text) << int(c.supported) << int(c.enabled) << " " << row;
    }
}

TEST(EndDeviceView, RecordValuesAndCopies) {
    _UVI_EndDeviceInfo info = DiskRecord(1, false);
    info.systemDisk = 1;
    info.state = 3;
    info.smartEvent = 1;
    const MOX::EndDevice disk(info, UVI_PhyInfo{}, {}, _UVI_NvcInfo{});
    const PropertyList properties = disk.serialize();
    EXPECT_EQ(ValueOf(properties, "System Disk"), "True");
    EXPECT_EQ(ValueOf(properties, "State"), "Failed");
    EXPECT_EQ(ValueOf(properties, "Controller Serial Number"), "<absent>");
    EXPECT_TRUE(disk.hasSmartEvent());
    EXPECT_EQ(disk.getHandle(), 0x2001u);
    EXPECT_EQ(disk.getControllerHandle(), 0x1001u);
    EXPECT_EQ(disk.getSize(), 2000398934016ull);
    EXPECT_EQ(disk.getModel(), "Kelvar KV2000DM");

    // A copy holds its own records and texts.
    _UVI_VolumeInfo volume{};
    volume.raidLevel = 0x1000;
    info.usage = 1;
    MOX::EndDevice original(info, UVI_PhyInfo{}, {volume}, _UVI_NvcInfo{});
    const MOX::EndDevice copy = original;
    original = MOX::EndDevice();
    EXPECT_EQ(copy.getArrayVolumes().size(), 1u);
    EXPECT_EQ(ValueOf(copy.serialize(), "Usage"), "Recovery disk");
    EXPECT_EQ(copy.getId(), "0-0-3-0");
    EXPECT_EQ(MOX::EndDevice().serialize(),
              (PropertyList{{"ID", ""}, {"Type", "Unknown end device type"}, {"Model", ""}}));
}

TEST(ThirdPartyViews, TypeBusAndSerialTexts) {
    for (const auto& [type, text] : std::vector<std::pair<uint32_t, const char*>>{
             {0, "Unknown"}, {1, "AHCI"}, {3, "NVMe"}, {4, "ZRC"}, {5, "Unknown"}}) {
        _UVI_ThirdPartyControllerInfo controller{};
        controller.type = type;
        EXPECT_EQ(ValueOf(MOX::ThirdPartyController(controller).serialize(), "Type"), text) << type;
    }
    struct Case {
        uint32_t deviceType, bus, state;
        uint8_t ssd, system;
        const char* controllerSerial;
        std::vector<std::pair<std::string, std::string>> rows;
    };
    const Case cases[] = {
        {1,
         1,
         5,
         0,
         1,
         "  CS-9",
         {{"Type", "Disk"},
          {"Disk Type", "SATA Disk"},
          {"State", "Unknown disk state"},
          {"System Disk", "True"},
          {"Controller Serial Number", "CS-9"}}},
        {1, 2, 6, 1, 0, "", {{"Disk Type", "SAS SSD"}, {"Controller Serial Number", "<absent>"}}},
        {1, 9, 6, 0, 0, "", {{"Disk Type", "Unknown disk type Disk"}}},
        {3,
         1,
         6,
         0,
         0,
         "CS-9",
         {{"Type", "Non Storage"}, {"Disk Type", "<absent>"}, {"Model", "Wendal SN570"}}},
        {7, 1, 6, 0, 0, "", {{"Type", "Unknown end device type"}, {"Serial Number", "<absent>"}}},
    };
    for (const Case& c : cases) {
        _UVI_ThirdPartyEndDeviceInfo disk{};
        disk.deviceType = c.deviceType;
        disk.busType = c.bus;
        disk.state = c.state;
        disk.solidState = c.ssd;
        disk.systemDisk = c.system;
        SetText(disk.nvmeSerialNumber, c.controllerSerial);
        SetText(disk.modelNumber, "Wendal SN570");
        const PropertyList properties = MOX::ThirdPartyEndDevice(disk).serialize();
        for (const auto& [row, text] : c.rows)
            EXPECT_EQ(ValueOf(properties, row), text) << c.deviceType << " " << c.bus << " " << row;
    }
}

TEST(VolumeView, EveryValueOfOneVolumeAndThePolicies) {
    _UVI_VolumeInfo info{};
    SetText(info.name, "Data_Mirror");
    info.raidLevel = 8;
    info.sizeInBytes = 2000398934016ull;
    info.stripSizeCode = 64;
    info.numDisks = 3;
    info.state = 5;
    info.systemVolume = 1;
    info.initialized = 1;
    info.cachePolicy = 3;
    info.isAcceleratedVolume = 1;
    _UVI_NvcInfo nvc{};
    nvc.mode = static_cast<_UVI_NvcMode>(64);
    // The view's own name text is what it lists, not the record's.
    MOX::Volume volume(info, nvc, "Data_Mirror");
    const PropertyList expected = {{"Name", "Data_Mirror"},
                                   {"Raid Level", "5"},
                                   {"Size", "1863 GB"},
                                   {"StripeSize", "128 KB"},
                                   {"Num Disks", "3"},
                                   {"State", "Rebuilding"},
                                   {"Acceleration Mode", "Maximized to Enhanced"},
                                   {"System", "True"},
                                   {"Initialized", "True"},
                                   {"Cache Policy", "WB"}};
    EXPECT_EQ(volume.getProperties(), expected);
    const MOX::Volume copy = volume;
    volume = MOX::Volume(_UVI_VolumeInfo{}, _UVI_NvcInfo{}, "Other");
    EXPECT_EQ(copy.getProperties(), expected);

    for (const auto& [policy, text] : std::vector<std::pair<uint32_t, const char*>>{
             {1, "Off"}, {2, "WT"}, {3, "WB"}, {4, "R"}, {5, "Unknown"}}) {
        info.cachePolicy = policy;
        EXPECT_EQ(ValueOf(MOX::Volume(info, nvc, "V").getProperties(), "Cache Policy"), text) << policy;
    }
    // A cache volume of the acceleration level.
    info.raidLevel = 0x40000;
    info.isBlockCacheVolume = 1;
    EXPECT_EQ(ValueOf(MOX::Volume(info, nvc, "V").getProperties(), "Usage"), "Cache volume");
    EXPECT_EQ(ValueOf(MOX::Volume(info, nvc, "V").getProperties(), "Raid Level"), "0");
}

} // namespace

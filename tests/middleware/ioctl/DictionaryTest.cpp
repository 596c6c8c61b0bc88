// The driver's dictionaries: the process-wide cache of field lists, the values of a controller's
// dictionaries per view, and the fixed records they are read into.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/ioctl/DictionaryBuffer.h"
#include "middleware/ioctl/DictionaryCatalogue.h"
#include "middleware/ioctl/DictionaryController.h"
#include "middleware/ioctl/DictionaryEndDevice.h"
#include "middleware/ioctl/DictionarySingleton.h"
#include "tests/middleware/ioctl/IoctlTestSupport.h"
#include "tests/middleware/ioctl/TableTestSupport.h"

namespace {

using tabletest::MiniportCalls;
using json = sim::Value;

json Disk(const std::string& serial, int target) {
    return {{"port", 0},
            {"serial", serial},
            {"model", "Kelvar KV2000DM"},
            {"firmware", "CC43"},
            {"path", 0},
            {"target", target},
            {"lun", 0},
            {"sectors", 3907029168ull + target},
            {"physical_sector_size", 4096}};
}

// The vendor's SATA RAID controller with five disks on port 0, its NVMe controller with one disk
// on port 1.
json Machine() {
    json disks = json::array();
    json sataRecords = json::array();
    for (int i = 0; i < 5; ++i) {
        disks.push_back(Disk("ZA1B2C3" + std::string(1, static_cast<char>('A' + i)), i));
        sataRecords.push_back({{"path", 0}, {"target", i}, {"lun", 0}});
    }
    disks.push_back({{"port", 1},
                     {"protocol", "nvme"},
                     {"serial", "NV2-0042"},
                     {"model", "Virel NV2 1TB"},
                     {"firmware", "3B2QGXA7"},
                     {"path", 0},
                     {"target", 0},
                     {"sectors", 1953525168}});
    return {{"name", "dictionaries"},
            {"adapters",
             {{{"port", 0},
               {"driver", "moxraid"},
               {"bus_type", 8},
               {"instance_id", "PCI\\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11\\3&11583659&0&B8"},
               {"raid", {{"controller", {{"driver_version", "20.1.0.1007"}}}, {"disks", sataRecords}}}},
              {{"port", 1},
               {"driver", "moxraid"},
               {"bus_type", 17},
               {"instance_id", "PCI\\VEN_1C8F&DEV_5012&SUBSYS_50121C8F&REV_01\\4&2a1b3c4d&0&00E4"},
               {"raid", {{"disks", {{{"path", 0}, {"target", 0}}}}}}}}},
            {"disks", disks}};
}

class Dictionaries : public ioctltest::IoctlTest {
protected:
    Dictionaries() : IoctlTest(Machine()) {}

    HANDLE Open(int port) {
        char path[32];
        std::snprintf(path, sizeof(path), "\\\\.\\Scsi%d:", port);
        return IoctlTest::Open(path);
    }
    // Makes a later answer of the request with this SRB control code carry other bytes.
    void Patch(uint32_t controlCode, int skip, size_t offset, const char* hex) {
        machine_->faults().Add(sim::FaultRule{"DeviceIoControl", json{{"control_code", controlCode}}, skip, 1,
                                              json{{"patch", {{{"offset", offset}, {"hex", hex}}}}}});
    }
    size_t Sent(uint32_t controlCode) { return MiniportCalls(machine_.machine(), controlCode).size(); }
};

uint16_t U16(const uint8_t* p) {
    uint16_t v = 0;
    std::memcpy(&v, p, 2);
    return v;
}

TEST_F(Dictionaries, TheCacheIsFilledFromTheFirstControllerAndServesTheNext) {
    HANDLE sata = Open(0), nvme = Open(1);
    CDictionaryBuffer sataBuffer(sata, kDictionaryController);
    ASSERT_TRUE(sataBuffer.Invoke().IsSuccessful());
    CDictionaryController sataController;
    ASSERT_TRUE(sataController.PointToInstance(sataBuffer).IsSuccessful());
    const ControllerDictionaryValues& s = sataController.GetValues();
    EXPECT_EQ(s.valid, 1u);
    EXPECT_EQ(s.controllerType, 1);
    EXPECT_EQ(U16(s.pciCommonConfig), 0x1F4A);
    EXPECT_EQ(U16(s.pciCommonConfig + 2), 0x2826);
    EXPECT_EQ(U16(reinterpret_cast<const uint8_t*>(s.driverVersion) + 6), 20) << "driver version block";
    EXPECT_EQ(U16(reinterpret_cast<const uint8_t*>(s.driverVersion) + 12), 1007);
    EXPECT_EQ(s.maxPhysPerPort, 1u) << "from the miniport view";
    EXPECT_EQ(Sent(IOCTL_GET_SUPPORTED_DICTIONARIES), 2u) << "raidport, then miniport";
    EXPECT_EQ(Sent(IOCTL_GET_DICTIONARY_FIELDS), 4u) << "controller and end device, both views";

    // The second controller: no more supported or field-list requests, its own values.
    CDictionaryBuffer nvmeBuffer(nvme, kDictionaryController);
    ASSERT_TRUE(nvmeBuffer.Invoke().IsSuccessful());
    CDictionaryController nvmeController;
    ASSERT_TRUE(nvmeController.PointToInstance(nvmeBuffer).IsSuccessful());
    EXPECT_EQ(nvmeController.GetValues().controllerType, 3);
    EXPECT_EQ(U16(nvmeController.GetValues().pciCommonConfig), 0x1C8F);
    CDictionaryBuffer disks(nvme, kDictionaryEndDevice);
    ASSERT_TRUE(disks.Invoke().IsSuccessful());
    EXPECT_EQ(disks.GetInstanceCount(), 1u);
    CDictionaryEndDevice disk(0);
    ASSERT_TRUE(disk.PointToInstance(disks).IsSuccessful());
    EXPECT_STREQ(disk.GetValues().serialNumber, "NV2-0042");
    EXPECT_STREQ(disk.GetValues().modelNumber, "Virel NV2 1TB");
    EXPECT_STREQ(disk.GetValues().firmwareVersion, "3B2Q");
    EXPECT_EQ(disk.GetValues().lbaCount, 1953525168u);

    EXPECT_EQ(Sent(IOCTL_GET_SUPPORTED_DICTIONARIES), 2u);
    EXPECT_EQ(Sent(IOCTL_GET_DICTIONARY_FIELDS), 4u);
    for (const sim::Call& c : MiniportCalls(machine_.machine(), IOCTL_GET_DICTIONARY_FIELDS))
        EXPECT_EQ(c.selectors.value("port", -1), 0);
    size_t valuesFromNvme = 0;
    for (const sim::Call& c : MiniportCalls(machine_.machine(), IOCTL_GET_DICTIONARY_VALUES))
        valuesFromNvme += c.selectors.value("port", -1) == 1;
    EXPECT_EQ(valuesFromNvme, 4u) << "two dictionaries, both views";
}

TEST_F(Dictionaries, EveryDiskOfTheEndDeviceDictionary) {
    CDictionaryBuffer disks(Open(0), kDictionaryEndDevice);
    ASSERT_TRUE(disks.Invoke().IsSuccessful());
    ASSERT_EQ(disks.GetInstanceCount(), 5u);
    for (uint32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        CDictionaryEndDevice disk(i);
        ASSERT_TRUE(disk.PointToInstance(disks).IsSuccessful());
        const EndDeviceDictionaryValues& v = disk.GetValues();
        EXPECT_EQ(v.valid, 1u);
        EXPECT_EQ(std::string(v.serialNumber), "ZA1B2C3" + std::string(1, static_cast<char>('A' + i)));
        EXPECT_EQ(v.serialNumberLength, 8u);
        EXPECT_STREQ(v.modelNumber, "Kelvar KV2000DM");
        EXPECT_STREQ(v.firmwareVersion, "CC43");
        EXPECT_EQ(v.raidportPathId, 0);
        EXPECT_EQ(v.raidportTargetId, static_cast<int32_t>(i));
        EXPECT_EQ(v.miniportTargetId, static_cast<int32_t>(i));
        EXPECT_EQ(v.lbaCount, 3907029168ull + i);
        EXPECT_EQ(v.logicalSectorSize, 512u);
        EXPECT_EQ(v.physicalSectorSize, 4096u);
        // The driver sends the SAS address low byte first; the record holds it the other way round.
        EXPECT_EQ(v.sasAddress, __builtin_bswap64(0x5000000000000000ull | uint64_t{i} << 8));
    }
    CDictionaryEndDevice beyond(5);
    const CConsolidatedError e = beyond.PointToInstance(disks);
    EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::GENERAL_INVALID_VALUE);
    EXPECT_STREQ(e.GetErrorMessage(),
                 "Index out of bounds. Index 5 is greater than 0-based maximum instances (5)");
    EXPECT_STREQ(e.GetDebugInformation(), "Index out of bounds in CDictionary::PointToInstance");
    EXPECT_EQ(beyond.GetValues().valid, 0u);
}

// The field lists are cached from whichever controller is read first, and they size the values
// request of every controller: each controller still gets the records of all its disks.
TEST_F(Dictionaries, EveryControllerKeepsAllItsDisksWhicheverFilledTheCache) {
    const struct {
        const char* what;
        int first;
        bool nvmeWithoutDisks;
    } cases[] = {
        {"NVMe controller (one disk) first", 1, false},
        {"SATA RAID controller (five disks) first", 0, false},
        {"a first controller without disks", 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CDictionarySingleton::Release();
        if (c.nvmeWithoutDisks)
            machine_->Update([](json& state) { state["adapters"][1]["raid"]["disks"] = json::array(); });
        const uint32_t expected[] = {5, c.nvmeWithoutDisks ? 0u : 1u};
        for (int port : {c.first, 1 - c.first}) {
            SCOPED_TRACE(port);
            CDictionaryBuffer disks(Open(port), kDictionaryEndDevice);
            ASSERT_TRUE(disks.Invoke().IsSuccessful());
            ASSERT_EQ(disks.GetInstanceCount(), expected[port]);
            for (uint32_t i = 0; i < expected[port]; ++i) {
                CDictionaryEndDevice disk(i);
                ASSERT_TRUE(disk.PointToInstance(disks).IsSuccessful()) << i;
                EXPECT_EQ(disk.GetValues().raidportTargetId, port == 0 ? static_cast<int32_t>(i) : 0);
                EXPECT_NE(disk.GetValues().lbaCount, 0u);
                EXPECT_NE(disk.GetValues().serialNumber[0], '\0');
            }
            // The slot after the last disk is marked unused: its target id reads -1.
            const std::vector<uint8_t>& values = disks.GetValues(kDictionaryRaidport);
            const size_t block = disks.GetTotalFieldTypeSize(kDictionaryRaidport) +
                                 8 * size_t{disks.GetFieldCount(kDictionaryRaidport)};
            size_t at = block * expected[port];
            ASSERT_LE(at + block, values.size());
            for (uint32_t f = 0; f < disks.GetFieldCount(kDictionaryRaidport); ++f) {
                uint32_t id = 0, type = 0;
                std::memcpy(&id, values.data() + at, 4);
                std::memcpy(&type, values.data() + at + 4, 4);
                if (id == 0x45440007) {
                    int32_t target = 0;
                    std::memcpy(&target, values.data() + at + 8, 4);
                    EXPECT_EQ(target, -1);
                }
                at += 8 + DictionaryTypeSize(type);
            }
        }
    }
}

TEST_F(Dictionaries, AFailedFillIsAskedAgainFromTheStart) {
    HANDLE sata = Open(0);
    struct Failure {
        uint32_t code;
        int skip;
        const char* message;
    };
    const Failure failures[] = {
        {IOCTL_GET_SUPPORTED_DICTIONARIES, 0, "Could not get Raidport supported dictionaries"},
        {IOCTL_GET_SUPPORTED_DICTIONARIES, 1, "Could not get Miniport supported dictionaries"},
        {IOCTL_GET_DICTIONARY_FIELDS, 0, "Could not get raidport dictionary fields for controller"},
        {IOCTL_GET_DICTIONARY_FIELDS, 1, "Could not get miniport dictionary fields"},
        {IOCTL_GET_DICTIONARY_FIELDS, 2, "Could not get raidport dictionary fields for enddevices"},
        {IOCTL_GET_DICTIONARY_FIELDS, 3, "Could not get miniport dictionary fields for enddevices"},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.message);
        machine_->faults().Add(sim::FaultRule{"DeviceIoControl", json{{"control_code", f.code}}, f.skip, 1,
                                              json{{"win32_error", 170}}});
        const size_t supportedBefore = Sent(IOCTL_GET_SUPPORTED_DICTIONARIES);
        CDictionaryBuffer buffer(sata, kDictionaryEndDevice);
        const CConsolidatedError e = buffer.Invoke();
        EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::DRIVER_UNEXPECTED);
        EXPECT_STREQ(e.GetErrorMessage(), f.message);
        EXPECT_EQ(std::string(e.GetDebugInformation()),
                  std::string(f.message) + " in CDictionarySingleton::Invoke");
        EXPECT_FALSE(CDictionarySingleton::IsFilled());
        EXPECT_GT(Sent(IOCTL_GET_SUPPORTED_DICTIONARIES), supportedBefore) << "every fill starts over";
        EXPECT_TRUE(buffer.GetValues(kDictionaryRaidport).empty());
    }
    CDictionaryBuffer buffer(sata, kDictionaryEndDevice);
    ASSERT_TRUE(buffer.Invoke().IsSuccessful());
    EXPECT_TRUE(CDictionarySingleton::IsFilled());
    const size_t fields = Sent(IOCTL_GET_DICTIONARY_FIELDS);
    ASSERT_TRUE(CDictionaryBuffer(sata, kDictionaryController).Invoke().IsSuccessful());
    EXPECT_EQ(Sent(IOCTL_GET_DICTIONARY_FIELDS), fields);
    // Released with the library: the next use fills it anew.
    CDictionarySingleton::Release();
    EXPECT_FALSE(CDictionarySingleton::IsFilled());
    ASSERT_TRUE(CDictionaryBuffer(sata, kDictionaryController).Invoke().IsSuccessful());
    EXPECT_EQ(Sent(IOCTL_GET_DICTIONARY_FIELDS), fields + 4);
}

TEST_F(Dictionaries, AnInstanceBeyondTheSmallerViewsCountIsRefused) {
    // The miniport's values answer (the second one) counts only two instances.
    Patch(IOCTL_GET_DICTIONARY_VALUES, 1, 44, "02000000");
    CDictionaryBuffer disks(Open(0), kDictionaryEndDevice);
    ASSERT_TRUE(disks.Invoke().IsSuccessful());
    EXPECT_EQ(disks.GetInstanceCount(kDictionaryRaidport), 5u);
    EXPECT_EQ(disks.GetInstanceCount(kDictionaryMiniport), 2u);
    EXPECT_TRUE(CDictionaryEndDevice(1).PointToInstance(disks).IsSuccessful());
    const CConsolidatedError e = CDictionaryEndDevice(2).PointToInstance(disks);
    EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::GENERAL_INVALID_VALUE);
    EXPECT_STREQ(e.GetErrorMessage(),
                 "Index out of bounds. Index 2 is greater than 0-based maximum instances (2)");
}

TEST_F(Dictionaries, AViewWithoutTheKindKeepsItsPresetCountsAndIsNotRead) {
    // The miniport publishes the controller dictionary only.
    Patch(IOCTL_GET_SUPPORTED_DICTIONARIES, 1, 28, "01000000");
    CDictionaryBuffer disks(Open(0), kDictionaryEndDevice);
    ASSERT_TRUE(disks.Invoke().IsSuccessful());
    EXPECT_EQ(Sent(IOCTL_GET_DICTIONARY_FIELDS), 3u);
    EXPECT_EQ(disks.GetFieldCount(kDictionaryMiniport), 6u) << "the catalogue's miniport rows";
    EXPECT_EQ(disks.GetTotalFieldTypeSize(kDictionaryMiniport), 0u);
    EXPECT_EQ(disks.GetInstanceCount(kDictionaryMiniport), 0u);
    EXPECT_TRUE(disks.GetValues(kDictionaryMiniport).empty());
    EXPECT_EQ(disks.GetFieldCount(kDictionaryRaidport), 17u);

    CDictionaryEndDevice first(0);
    ASSERT_TRUE(first.PointToInstance(disks).IsSuccessful());
    EXPECT_STREQ(first.GetValues().serialNumber, "ZA1B2C3A");
    EXPECT_EQ(first.GetValues().protocolsSupported, 0u) << "a miniport field";
    // The miniport's ids stay 0: only the disk at path 0, target 0 agrees with them.
    const CConsolidatedError e = CDictionaryEndDevice(1).PointToInstance(disks);
    EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::GENERAL_FAULT);
    EXPECT_STREQ(e.GetDebugInformation(), "End Device dictionary instance mismatch on target ID.\n");
}

// An instance block as the driver lays it out: field id, type code, value.
class Block {
public:
    Block& Add(uint32_t id, uint32_t type, std::vector<uint8_t> value) {
        Word(id);
        Word(type);
        bytes_.insert(bytes_.end(), value.begin(), value.end());
        ++count_;
        return *this;
    }
    Block& Add(uint32_t id, int32_t value) {
        std::vector<uint8_t> v(4);
        std::memcpy(v.data(), &value, 4);
        return Add(id, 2, v);
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    uint32_t count() const { return count_; }

private:
    void Word(uint32_t w) {
        for (int i = 0; i < 4; ++i)
            bytes_.push_back(static_cast<uint8_t>(w >> (8 * i)));
    }
    std::vector<uint8_t> bytes_;
    uint32_t count_ = 0;
};

std::vector<uint8_t> Text(const std::string& text, size_t size) {
    std::vector<uint8_t> v(size, 0);
    std::memcpy(v.data(), text.data(), std::min(size, text.size()));
    return v;
}

TEST(DictionaryFieldWalk, StepsByTheTypeCodesWithinTheBlock) {
    struct Case {
        const char* name;
        Block block;
        uint32_t count; // entries the walk is told of (0: as many as the block has)
        KEDO2_ERRORS code;
        const char* message;
        const char* debug;
    };
    const Case cases[] = {
        {"a type without size is stepped over",
         Block().Add(0x45440003, 12, {}).Add(END_DEVICE_SERIAL_NUMBER, 10, Text("BADC", 64)), 0,
         CConsolidatedError::SUCCESS, "", ""},
        {"an unknown field is skipped",
         Block()
             .Add(0x45449999, 13, std::vector<uint8_t>(512, 0xEE))
             .Add(END_DEVICE_SERIAL_NUMBER, 10, Text("BADC", 64)),
         0, CConsolidatedError::SUCCESS, "", ""},
        {"a value larger than its field", Block().Add(END_DEVICE_SERIAL_NUMBER, 11, Text("BADC", 128)), 0,
         CConsolidatedError::GENERAL_INVALID_VALUE, "Invalid Field Size",
         "Invalid field size for serial numberin CDictionary::readDictionaryField"},
        {"more entries than the block holds", Block().Add(END_DEVICE_SERIAL_NUMBER, 10, Text("BADC", 64)), 2,
         CConsolidatedError::DRIVER_UNEXPECTED, "Dictionary entry outside the instance block", nullptr},
        {"a value running past the block",
         Block().Add(END_DEVICE_SERIAL_NUMBER, 10, Text("BADC", 64)).Add(0x45449999, 13, {1, 2, 3, 4}), 0,
         CConsolidatedError::DRIVER_UNEXPECTED, "Dictionary entry outside the instance block", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDictionaryEndDevice disk(0);
        const CConsolidatedError e =
            disk.readDictionaryFields(c.block.bytes().data(), c.block.bytes().size(),
                                      c.count ? c.count : c.block.count(), disk.GetRaidportFields());
        EXPECT_EQ(e.GetErrorCode(), c.code);
        EXPECT_STREQ(e.GetErrorMessage(), c.message);
        if (c.debug) {
            EXPECT_STREQ(e.GetDebugInformation(), c.debug);
        }
        if (c.code == CConsolidatedError::SUCCESS) {
            EXPECT_STREQ(disk.GetValues().serialNumber, "BADC") << "copied as sent";
        }
    }

    CDictionary::FieldEntry unset{nullptr, 4, "queue depth"};
    CDictionaryEndDevice disk(0);
    const uint8_t value[4] = {};
    const CConsolidatedError e = disk.readDictionaryField(unset, value, 4);
    EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::UVI_INTERNALERROR);
    EXPECT_STREQ(e.GetErrorMessage(), "Structure not initialized");
    EXPECT_STREQ(e.GetDebugInformation(),
                 "Memory not allocated for queue depthin CDictionary::readDictionaryField");
}

TEST(DictionaryEndDeviceRecord, BothViewsMustNameTheSameDisk) {
    struct Case {
        int32_t raidPath, raidTarget, miniPath, miniTarget;
        const char* debug; // null: the views agree
    };
    const Case cases[] = {
        {2, 3, 2, 3, nullptr},
        {2, 3, 2, 4, "End Device dictionary instance mismatch on target ID.\n"},
        {1, 3, 2, 3, "End Device dictionary instance mismatch on path ID.\n"},
        {-1, 3, -1, 3, "Raidport path ID not found.\nMiniport path ID not found.\n"},
        {-1, -1, 0, 0,
         "End Device dictionary instance mismatch on path ID.\nEnd Device dictionary instance mismatch on "
         "target "
         "ID.\nRaidport path ID not found.\nRaidport target ID not found.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.raidPath) + "/" + std::to_string(c.raidTarget) + " " +
                     std::to_string(c.miniPath) + "/" + std::to_string(c.miniTarget));
        CDictionaryEndDevice disk(0);
        Block raid;
        raid.Add(END_DEVICE_SERIAL_NUMBER, 10, Text("AZB1C2D3", 64))
            .Add(END_DEVICE_FIRMWARE_VERSION, 2, Text("CC43", 4))
            .Add(END_DEVICE_SAS_ADDRESS, 3, {1, 2, 3, 4, 5, 6, 7, 8})
            .Add(END_DEVICE_PATH_ID, c.raidPath)
            .Add(END_DEVICE_TARGET_ID, c.raidTarget);
        Block mini;
        mini.Add(END_DEVICE_PATH_ID, c.miniPath).Add(END_DEVICE_TARGET_ID, c.miniTarget);
        ASSERT_TRUE(disk.readDictionaryFields(raid.bytes().data(), raid.bytes().size(), raid.count(),
                                              disk.GetRaidportFields())
                        .IsSuccessful());
        ASSERT_TRUE(disk.readDictionaryFields(mini.bytes().data(), mini.bytes().size(), mini.count(),
                                              disk.GetMiniportFields())
                        .IsSuccessful());
        const CConsolidatedError e = disk.Invoke();
        // Put in reading order whatever the outcome.
        EXPECT_STREQ(disk.GetValues().serialNumber, "ZA1B2C3D");
        EXPECT_STREQ(disk.GetValues().firmwareVersion, "CC43");
        EXPECT_EQ(disk.GetValues().sasAddress, 0x0102030405060708ull);
        if (!c.debug) {
            EXPECT_TRUE(e.IsSuccessful());
            continue;
        }
        EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::GENERAL_FAULT);
        EXPECT_STREQ(e.GetErrorMessage(), "End Device dictionary instance missing or mismatched in "
                                          "CDictionaryEndDevice::Invoke(). See debug information.");
        EXPECT_STREQ(e.GetDebugInformation(), c.debug);
    }
}

} // namespace

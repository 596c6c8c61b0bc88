#include <gtest/gtest.h>

#include "middleware/ioctl/AtaRequests.h"
#include "middleware/ioctl/IoctlDirectMode.h"
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/ioctl/ZpoddRequest.h"
#include "tests/middleware/ioctl/RemapPortTestMachine.h"

namespace {

using namespace porttest;

class AtaAhci : public PortTest {
protected:
    void SetPortDevice(const char* key, json value) {
        machine_->Update([&](json& state) { state["disks"][0][key] = value; });
    }
};

// An ATA identify string: each word's two bytes swapped.
std::string AtaString(const BYTE* identify, size_t word, size_t words) {
    std::string text;
    for (size_t i = 0; i < 2 * words; ++i)
        text += static_cast<char>(identify[2 * word + (i ^ 1)]);
    return text;
}

std::string Hex16(std::initializer_list<uint16_t> values) {
    std::string hex;
    char byte[3];
    for (uint16_t v : values)
        for (int i = 0; i < 2; ++i) {
            std::snprintf(byte, sizeof(byte), "%02X", (v >> (8 * i)) & 0xFF);
            hex += byte;
        }
    return hex;
}

TEST_F(AtaAhci, AhciInformationInBothFramings) {
    CIoctlMpGetAhciInfo info(Controller(), 0);
    info.SetVerifyOnInvoke(true);
    ASSERT_TRUE(info.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(Header("OrvexATA", 0x80000A00, 0, 44), 72)
                               .Word(28, 52)
                               .Word(32, 0)
                               .Word(36, 100)
                               .Word(40, 52)
                               .Word(44, 20)
                               .Word(48, 0)
                               .bytes);
    const BYTE* data = info.GetCapabilityData();
    EXPECT_EQ(U32(data, 0), 0xE734FF05u); // CAP
    EXPECT_EQ(U32(data, 12), 0x1Bu);      // ports implemented
    EXPECT_EQ(U32(data, 16), 0x3Cu);      // CAP2
    EXPECT_EQ(info.Describe(), "Direction: GET, SubFunction: IOCTL_MP_GSC_SF_AHCI_INFO, Status: STS OK");

    SetIoctlDirectMode();
    CIoctlMpGetAhciInfo direct(Controller(), 0);
    ASSERT_TRUE(direct.Invoke().IsSuccessful());
    EXPECT_EQ(U32(LastInput(), 24), 24u);
    EXPECT_EQ(LastInput().size(), 72u);
    EXPECT_EQ(U32(direct.GetCapabilityData(), 0), 0xE734FF05u);
}

TEST_F(AtaAhci, GeneralFailureSwitchesTheProcessToDirectModeAndResendsOnce) {
    machine_->Update([](json& state) { state["adapters"][0]["ahci"]["short_header_only"] = true; });
    CIoctlMpGetPortCapabilities caps(Controller(), kLockedDisk);
    caps.SetVerifyOnInvoke(true);
    ASSERT_TRUE(caps.Invoke().IsSuccessful());
    EXPECT_TRUE(IsIoctlDirectMode());
    auto sends = Sends();
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(U32(sends[0].input, 24), 28u);
    EXPECT_EQ(U32(sends[1].input, 24), 24u);
    EXPECT_EQ(U32(caps.GetCapabilityData(), 0), 0x00240016u);

    // From now on every capabilities request starts in the short form.
    CIoctlMpSpeed speed(Controller(), kLockedDisk);
    ASSERT_TRUE(speed.Invoke().IsSuccessful());
    EXPECT_EQ(SendCount(), 3u);
    EXPECT_EQ(U32(LastInput(), 24), 24u);

    // The flag is shared: the RAID get/set requests now go without the miniport header.
    CIoctlRaidCfgGroup raid(Controller());
    static_cast<void>(raid.Invoke()); // only the form it is sent in matters here
    EXPECT_EQ(Sends().back().selectors["code"], 0xC3512010u);
}

TEST_F(AtaAhci, ASecondGeneralFailureStands) {
    Inject({{"control_code", "0x80000A00"}}, {{"win32_error", 31}}, -1);
    CIoctlMpGetAhciInfo info(Controller(), 0);
    CConsolidatedError result = info.Invoke();
    EXPECT_EQ(result.GetWin32Error(), 31u);
    EXPECT_TRUE(IsIoctlDirectMode());
    EXPECT_EQ(SendCount(), 2u);
}

TEST_F(AtaAhci, SpeedAnswerIsCheckedControllerFirst) {
    CIoctlMpSpeed plain(Controller(), kLockedDisk);
    plain.SetVerifyOnInvoke(true);
    ASSERT_TRUE(plain.Invoke().IsSuccessful());
    const MP_SPEED_DATA speed = plain.GetSpeed();
    EXPECT_EQ(speed.Speed, 3);
    EXPECT_EQ(speed.DriverMaxSpeed, 3);
    EXPECT_EQ(speed.ControllerMaxSpeed, 3);

    const struct {
        uint16_t speed, driver, controller;
        const char* message;
    } cases[] = {
        {3, 4, 5, "Invalid ControllerMaxSpeed in CIoctlMpSpeed, expected size: 4, actual: 5"},
        {3, 5, 4, "Invalid DriverMaxSpeed in CIoctlMpSpeed, expected size: 4, actual: 5"},
        {7, 6, 4, "Invalid DriverMaxSpeed in CIoctlMpSpeed, expected size: 4, actual: 6"},
        {5, 4, 4, "Invalid Speed in CIoctlMpSpeed, expected size: 4, actual: 5"},
        {4, 4, 4, nullptr},
    };
    for (const auto& c : cases) {
        Inject(
            {{"control_code", "0x80000A00"}},
            {{"patch", json::array({{{"offset", 52}, {"hex", Hex16({c.speed, c.driver, c.controller})}}})}});
        CIoctlMpSpeed request(Controller(), kLockedDisk);
        request.SetVerifyOnInvoke(true);
        CConsolidatedError result = request.Invoke();
        if (!c.message) {
            EXPECT_TRUE(result.IsSuccessful());
            continue;
        }
        EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::DRIVER_IXO_VALIDATION_ERR);
        EXPECT_STREQ(result.GetErrorMessage(), c.message);
        EXPECT_FALSE(request.IsVerified());
        EXPECT_THROW(request.GetSpeed(), CConsolidatedError);
    }
}

TEST_F(AtaAhci, PortCapabilitiesAndRegisters) {
    CIoctlMpGetPortRegisters regs(Controller(), kLockedDisk);
    ASSERT_TRUE(regs.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput().size(), 180u);
    EXPECT_EQ(U32(LastInput(), 36), 208u);
    EXPECT_EQ(U32(LastInput(), 44), 128u);
    const BYTE* block = regs.GetCapabilityData();
    EXPECT_EQ(U32(block, 0x18), 0x00240016u); // PxCMD
    EXPECT_EQ(U32(block, 0x28), 0x133u);      // PxSSTS: present, Gen 3, active
    EXPECT_EQ(U32(block, 0x44), 0x1FFE0B8Du); // PxDEVSLP

    CIoctlMpGetPortRegisters empty(Controller(), kEmptyPort);
    ASSERT_TRUE(empty.Invoke().IsSuccessful());
    EXPECT_EQ(U32(empty.GetCapabilityData(), 0x24), 0xFFFFFFFFu); // no signature

    // The NVMe address is no AHCI port: the driver's ReturnCode fails the answer.
    CIoctlMpGetPortCapabilities nvme(Controller(), kNvmeDevice);
    ASSERT_TRUE(nvme.Invoke().IsSuccessful());
    EXPECT_THROW(nvme.GetCapabilityData(), CConsolidatedError);
    EXPECT_EQ(nvme.Verify().GetErrorCode(), CConsolidatedError::DRIVER_SRB_IO_RESPONSE);
}

TEST_F(AtaAhci, IdentifyDataInAtaByteOrder) {
    CIoctlMpIdentify identify(Controller(), kLockedDisk);
    identify.SetVerifyOnInvoke(true);
    ASSERT_TRUE(identify.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(Header("OrvexATA", 0x80000A01, kLockedDisk, 512), 540).bytes);
    const BYTE* id = identify.GetVerifiedPayload();
    EXPECT_EQ(AtaString(id, 27, 20), "Kelvar KV2000DM                         ");
    EXPECT_EQ(AtaString(id, 10, 10), "ZA1B2C3D            ");
    EXPECT_EQ(AtaString(id, 23, 4), "CC43    ");
    EXPECT_EQ(U16(id, 2 * 128) & 0x0007, 0x0007); // security supported, enabled, locked
    EXPECT_EQ(U16(id, 2 * 48) & 1, 0);            // no trusted computing
    EXPECT_EQ(U16(id, 2 * 217), 7200);
    uint8_t sum = 0;
    for (size_t i = 0; i < 512; ++i)
        sum = static_cast<uint8_t>(sum + id[i]);
    EXPECT_EQ(id[510], 0xA5);
    EXPECT_EQ(sum, 0);

    // A disk Windows sees, with TCG storage: trusted computing in word 48.
    CIoctlMpIdentify opal(Controller(), kOpalDisk);
    ASSERT_TRUE(opal.Invoke().IsSuccessful());
    EXPECT_EQ(AtaString(opal.GetVerifiedPayload(), 27, 20).substr(0, 14), "Tessel TS512S3");
    EXPECT_EQ(U16(opal.GetVerifiedPayload(), 2 * 48) & 1, 1);

    CIoctlMpIdentify none(Controller(), kEmptyPort);
    ASSERT_TRUE(none.Invoke().IsSuccessful());
    EXPECT_THROW(none.GetVerifiedPayload(), CConsolidatedError);
}

// What one word of the identify data claims must match the words it speaks for, as a tool reading
// the data (or a driver) checks it.
TEST_F(AtaAhci, IdentifyDataIsSelfConsistent) {
    const struct {
        const char* what;
        uint32_t address;
        bool atapi;
        bool security;
    } cases[] = {
        {"disk with security", kLockedDisk, false, true},
        {"disk without security", kOpalDisk, false, false},
        {"optical drive", kOpticalDrive, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CIoctlMpIdentify identify(Controller(), c.address);
        ASSERT_TRUE(identify.Invoke().IsSuccessful());
        const BYTE* id = identify.GetVerifiedPayload();
        auto word = [&](size_t n) { return U16(id, 2 * n); };
        EXPECT_EQ((word(0) >> 14) == 2, c.atapi); // packet device signature
        // Security: word 82 bit 1 (supported), word 85 bit 1 (enabled) and word 128 agree.
        EXPECT_EQ((word(82) >> 1) & 1, c.security ? 1 : 0);
        EXPECT_EQ(word(128) & 1, c.security ? 1 : 0);
        EXPECT_EQ((word(85) >> 1) & 1, (word(128) >> 1) & 1);
        // Words 82-87 carry their validity pattern (bit 14 set, bit 15 clear in 83, 84 and 87).
        for (size_t n : {83, 84, 87})
            EXPECT_EQ(word(n) & 0xC000, 0x4000) << "word " << n;
        // Word 86 bit 15: words 119 and 120 are valid.
        if (word(86) & 0x8000) {
            EXPECT_EQ(word(119) & 0xC000, 0x4000);
            EXPECT_EQ(word(120) & 0xC000, 0x4000);
        }
        // Word 53: words 64-70 and 88 valid means they hold modes and cycle times.
        if (word(53) & 0x0002) {
            EXPECT_NE(word(64), 0);
            EXPECT_NE(word(68), 0);
        }
        if (word(53) & 0x0004) {
            EXPECT_NE(word(88) & 0x00FF, 0);
        }
        // The PACKET feature set (words 82 and 85, bit 4) exactly on the packet device, which has
        // no 48-bit addressing.
        EXPECT_EQ((word(82) >> 4) & 1, c.atapi ? 1 : 0);
        EXPECT_EQ((word(85) >> 4) & 1, c.atapi ? 1 : 0);
        if (c.atapi) {
            EXPECT_EQ(word(83) & 0x0400, 0);
            EXPECT_EQ(word(86) & 0x0400, 0);
        }
    }
}

TEST_F(AtaAhci, DeviceMapTellsWhetherADeviceIsAttached) {
    const struct {
        uint32_t address;
        uint32_t map;
    } cases[] = {{kLockedDisk, 1}, {kOpticalDrive, 1}, {kEmptyPort, 0}};
    for (const auto& c : cases) {
        CIoctlMpGetPortDeviceMap map(Controller(), c.address);
        ASSERT_TRUE(map.Invoke().IsSuccessful());
        EXPECT_EQ(LastInput(), Expected(Header("OrvexATA", 0x80000A04, c.address, 4), 32).bytes);
        EXPECT_EQ(U32(map.GetVerifiedPayload(), 0), c.map) << std::hex << c.address;
    }
}

TEST_F(AtaAhci, PortDevicesAreTheDisksAtTheirAddress) {
    // Controller 4: a RAID record naming a Windows disk of another adapter puts nothing at its ports;
    // the disk described at a port's address is the device there, with or without a RAID record.
    machine_->Update([](json& state) {
        state["adapters"][1]["raid"]["disks"] =
            json::parse(R"([ { "device_number": 1 }, { "path": 0, "target": 1 } ])");
        state["disks"].push_back(json::parse(
            R"({ "port": 4, "path": 0, "target": 1, "model": "Kelvar KV1000", "serial": "RAID-ONLY", "firmware": "K1" })"));
    });
    HANDLE controller = Open("\\\\.\\Scsi4:");
    CIoctlMpGetPortDeviceMap empty(controller, 0x04000000);
    ASSERT_TRUE(empty.Invoke().IsSuccessful());
    EXPECT_EQ(U32(empty.GetVerifiedPayload(), 0), 0u);
    CIoctlMpIdentify identify(controller, 0x04000100);
    ASSERT_TRUE(identify.Invoke().IsSuccessful());
    EXPECT_EQ(AtaString(identify.GetVerifiedPayload(), 10, 10), "RAID-ONLY           ");
}

TEST_F(AtaAhci, AllocationFailureNamesTheRequestAndTheMissingPasswordComesFirst) {
    SetIoctlBufferAllocator([](size_t) -> void* { return nullptr; });
    CIoctlMpIdentify identify(Controller(), kLockedDisk);
    CConsolidatedError result = identify.Invoke();
    EXPECT_EQ(result.GetWin32Error(), 14u);
    EXPECT_NE(
        std::string(result.GetDebugInformation())
            .find("malloc returned null in CIoctlMpIdentify::_realFormatInputBuffer\nInBufferSize = 540"),
        std::string::npos)
        << result.GetDebugInformation();

    CIoctlMpDiskUnlock unlock(Controller(), kUserPassword, kLockedDisk);
    EXPECT_EQ(unlock.Invoke().GetErrorCode(), CConsolidatedError::GENERAL_NULL_PARAMETER);
    SetIoctlBufferAllocator(nullptr);
    EXPECT_EQ(SendCount(), 0u);
}

TEST_F(AtaAhci, UnlockWithoutAUsablePasswordSendsNothing) {
    const std::string tooLong(33, 'x');
    const char zeroFirst[4] = {0, 'a', 'b', 'c'};
    const struct {
        const void* bytes;
        size_t length;
    } cases[] = {{"", 0}, {zeroFirst, 4}, {tooLong.data(), tooLong.size()}};
    for (const auto& c : cases) {
        CIoctlMpDiskUnlock unlock(Controller(), kUserPassword, kLockedDisk);
        unlock.SetPassword(c.bytes, c.length);
        CConsolidatedError result = unlock.Invoke();
        EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::GENERAL_NULL_PARAMETER);
        EXPECT_STREQ(result.GetErrorMessage(), "Password for this action is not set");
    }
    EXPECT_EQ(SendCount(), 0u);
}

TEST_F(AtaAhci, UnlockResultsFollowTheDisk) {
    auto unlock = [&](ULONG type, const std::string& password) {
        CIoctlMpDiskUnlock request(Controller(), type, kLockedDisk);
        request.SetPassword(password.data(), password.size());
        request.SetVerifyOnInvoke(true);
        EXPECT_TRUE(request.Invoke().IsSuccessful());
        return request.GetUnlockResult();
    };

    EXPECT_EQ(unlock(kUserPassword, "wrong"), 3u);
    EXPECT_EQ(LastInput(), Expected(Header("OrvexATA", 0x80000A08, kLockedDisk, 40), 68)
                               .Byte(28, 'w')
                               .Byte(29, 'r')
                               .Byte(30, 'o')
                               .Byte(31, 'n')
                               .Byte(32, 'g')
                               .Word(60, kUserPassword)
                               .bytes);
    EXPECT_EQ(unlock(kMasterPassword, "master"), 0u);
    EXPECT_EQ(U32(LastInput(), 60), kMasterPassword);
    EXPECT_EQ(unlock(kUserPassword, "letmein"), 1u); // no longer locked

    CIoctlMpIdentify identify(Controller(), kLockedDisk);
    ASSERT_TRUE(identify.Invoke().IsSuccessful());
    EXPECT_EQ(U16(identify.GetVerifiedPayload(), 2 * 128) & 0x0004, 0);

    CIoctlMpDiskUnlock described(Controller(), kMasterPassword, kLockedDisk);
    EXPECT_EQ(described.Describe(), "diskScsiId: 0x00000000, passwordType: Master PW");
    CIoctlMpDiskUnlock unknown(Controller(), 7, 0x02010300);
    EXPECT_EQ(unknown.Describe(), "diskScsiId: 0x02010300, passwordType: Unknown");
}

TEST_F(AtaAhci, UnlockAttemptsRunOut) {
    SetPortDevice("security",
                  {{"enabled", true}, {"locked", true}, {"attempts_left", 1}, {"user_password", "pw"}});
    auto unlock = [&](const std::string& password) {
        CIoctlMpDiskUnlock request(Controller(), kUserPassword, kLockedDisk);
        request.SetPassword(password.data(), password.size());
        EXPECT_TRUE(request.Invoke().IsSuccessful());
        return request.GetUnlockResult();
    };
    EXPECT_EQ(unlock("nope"), 3u);
    EXPECT_EQ(unlock("pw"), 2u);
}

TEST_F(AtaAhci, ZeroPowerOddAnswerIsKeptWithoutLookingAtTheMarkers) {
    CIoctlZeroPowerOdd odd(Controller(), kOpticalDrive);
    ASSERT_TRUE(odd.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(),
              Expected(Header("OrvexATA", 0x80000C00, kOpticalDrive, 212), 240).Word(28, 0x1234).bytes);
    EXPECT_STREQ(odd.RuntimeClassName(), "class CIoctlTemplateInput<struct _ZPODD_INFO_WITH_HEADER,struct "
                                         "_ZPODD_INFO_WITH_HEADER,int,2147486720>");
    _ZPODD_INFO info = odd.GetInfo();
    EXPECT_EQ(info.MarkerEcho, kZpoddMarker);
    EXPECT_EQ(info.PowerState, kZpoddDozing);
    EXPECT_NE(info.MediaPresent, 0u);
    EXPECT_EQ(info.TrayOpen, 0u);

    // A driver that does not echo the marker: the answer is still taken.
    machine_->Update([](json& state) {
        state["disks"][2]["zpodd"]["acknowledge"] = false;
        state["disks"][2]["zpodd"]["tray_open"] = true;
    });
    CIoctlZeroPowerOdd silent(Controller(), kOpticalDrive);
    ASSERT_TRUE(silent.Invoke().IsSuccessful());
    EXPECT_EQ(silent.GetInfo().MarkerEcho, 0u);
    EXPECT_EQ(silent.GetInfo().PowerState, kZpoddDozing);
    EXPECT_NE(silent.GetInfo().TrayOpen, 0u);

    // A hard disk is no optical drive.
    CIoctlZeroPowerOdd disk(Controller(), kLockedDisk);
    ASSERT_TRUE(disk.Invoke().IsSuccessful());
    EXPECT_EQ(disk.GetInfo().MarkerEcho, 0u);
    EXPECT_EQ(disk.GetInfo().PowerState, 0u);
}

TEST_F(AtaAhci, ClassifierStatisticsPassWithAnyReturnCode) {
    Inject({{"signature", "OrvexCST"}}, {{"srb_return_code", 5}});
    CIoctlIOClassifierStats stats(Controller(), 7);
    ASSERT_TRUE(stats.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(Header("OrvexCST", 0x42004, 7, 516), 544).bytes);
    const BYTE* counters = stats.GetCounters();
    EXPECT_EQ(U32(counters, 0), 11u);
    EXPECT_EQ(U32(counters, 8), 12u);
    EXPECT_EQ(U32(counters, 16), 13u);
    EXPECT_EQ(stats.GetLastResult().GetDriverError(), 5u);
}

TEST_F(AtaAhci, ControllerWithoutTheInterfaceIsNeverAsked) {
    ControllerLocator* record = RecordSupporting({"OrvexRmp"});
    CIoctlMpGetAhciInfo info(record, 0);
    CConsolidatedError result = info.Invoke();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::IOCTL_INTERFACE_NOT_SUPPORTED);
    EXPECT_STREQ(result.GetErrorMessage(), "Interface version not supported: OrvexATA");
    EXPECT_FALSE(IsIoctlDirectMode());
    EXPECT_EQ(SendCount(), 0u);
}

} // namespace

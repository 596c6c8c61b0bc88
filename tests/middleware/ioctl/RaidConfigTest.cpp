#include <functional>
#include <memory>

#include "middleware/ioctl/IoctlDirectMode.h"
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/ioctl/RaidConfigText.h"
#include "middleware/ioctl/RaidDictionaryRequests.h"
#include "tests/middleware/ioctl/RaidTestMachine.h"

namespace {

using namespace raidtest;

constexpr uint32_t kMiniport = 0x4D008;
constexpr uint32_t kRaidCode = 0xC3512010;

// The bytes a RAID get/set request sends in the framed form.
Expected Framed(size_t size, uint32_t group, uint32_t instance, uint32_t member, uint32_t field,
                uint32_t direction, uint32_t length) {
    Expected e(size);
    e.Srb("OrvexRdp", kRaidCode, static_cast<uint32_t>(size - 28));
    e.U32(28, 52).U32(32, group).U32(36, instance).U32(40, member);
    e.U32(60, field).U32(64, direction).U32(68, 52).U32(72, length);
    return e;
}

using RaidConfig = RaidTest;

TEST_F(RaidConfig, GroupReadsAreFramedByteForByteAndAnswered) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<CIoctlRaidGetSetConfig>(HANDLE)> make;
        uint32_t group, instance, member, size, length, minimum;
    };
    const std::vector<Case> cases = {
        {"configuration", [](HANDLE t) { return std::make_unique<CIoctlRaidCfgGroup>(t); }, 1, 0, 0, 300, 220,
         272},
        {"volume", [](HANDLE t) { return std::make_unique<CIoctlRaidVolumeGroup>(t, 0); }, 2, 0, 0, 212, 132,
         184},
        {"disk", [](HANDLE t) { return std::make_unique<CIoctlRaidDiskGroup>(t, 3); }, 3, 3, 0, 512, 192,
         244},
        {"new volume", [](HANDLE t) { return std::make_unique<CIoctlRaidNewVolumeGroup>(t); }, 4, 0, 0, 124,
         44, 96},
        {"array", [](HANDLE t) { return std::make_unique<CIoctlRaidArrayGroup>(t, 0); }, 5, 0, 0, 128, 48,
         100},
        {"array member", [](HANDLE t) { return std::make_unique<CIoctlRaidArrayDiskGroup>(t, 0, 1); }, 6, 0,
         1, 1024, 20, 72},
        {"device info", [](HANDLE t) { return std::make_unique<CIoctlRaidDeviceInfo>(t, 0); }, 10, 0, 0, 512,
         24, 76},
        {"device configuration", [](HANDLE t) { return std::make_unique<CIoctlRaidDeviceCfg>(t, 0); }, 13, 0,
         0, 512, 168, 220},
        {"NV cache", [](HANDLE t) { return std::make_unique<CIoctlNvCacheInfoGroup>(t); }, 19, 0, 0, 136, 56,
         108},
        {"partition refresh",
         [](HANDLE t) { return std::make_unique<CIoctlRaidDeviceRefreshPartitionInfoGroup>(t); }, 22, 0, 0,
         512, 8, 60},
    };
    for (const auto& c : cases) {
        auto request = c.make(adapter_);
        EXPECT_EQ(request->GetBytesExpected(), c.minimum) << c.name;
        request->SetVerifyOnInvoke(true);
        CConsolidatedError result = request->Invoke();
        ASSERT_TRUE(result.IsSuccessful()) << c.name << ": " << result.GetErrorMessage();
        const sim::Call sent = LastSend();
        EXPECT_EQ(sent.selectors["code"], kMiniport) << c.name;
        EXPECT_EQ(sent.input, Framed(c.size, c.group, c.instance, c.member, 0xFFFFFFFF, 0, c.length).bytes())
            << c.name;
        EXPECT_EQ(Word(request->GetGroupData(), 0), c.length) << c.name;
        EXPECT_EQ(request->GetGroupData(), request->GetOutBuffer() + 80) << c.name;
    }
}

TEST_F(RaidConfig, AnswersCarryTheRecordsTheCallersRead) {
    CIoctlRaidVolumeGroup volume(adapter_, 0);
    ASSERT_TRUE(volume.Invoke().IsSuccessful());
    char name[17];
    EXPECT_EQ(volume.CopyGroupSerialNumber(name, sizeof(name)), 7u);
    EXPECT_STREQ(name, "Mirror");
    uint8_t record[132];
    volume.GetGroupRecord(record);
    EXPECT_EQ(Word(record, 32), 500000u);
    EXPECT_EQ(CopyIxoSerialNumber(record, name, sizeof(name)), 7u);

    CIoctlRaidArrayDiskGroup member(adapter_, 0, 1);
    ASSERT_TRUE(member.Invoke().IsSuccessful());
    EXPECT_EQ(member.CopyGroupSerialNumber(name, sizeof(name)), 6u);
    EXPECT_STREQ(name, "SER-B");

    CIoctlRaidDiskGroup disk(adapter_, 2);
    ASSERT_TRUE(disk.Invoke().IsSuccessful());
    EXPECT_EQ(CopyRaidDiskText88(disk.GetGroupData(), name, sizeof(name)), 13u);
    EXPECT_STREQ(name, "Kelvar SER-C");
    EXPECT_EQ(CopyRaidDiskText72(disk.GetGroupData(), name, sizeof(name)), 5u);
    EXPECT_STREQ(name, "CC43");
}

TEST_F(RaidConfig, SettersWriteOneFieldByteForByte) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<CIoctlRaidGetSetConfig>(HANDLE)> make;
        uint32_t group, instance, field, value;
        const char* table; // where the driver keeps it
        int row;
        const char* key;
    };
    const std::vector<Case> cases = {
        {"clear error", [](HANDLE t) { return std::make_unique<CIoctlRaidCfg_ClearErrorNum>(t); }, 1, 0, 37,
         0, nullptr, 0, "error_number"},
        {"disk index", [](HANDLE t) { return std::make_unique<CIoctlRaidCfg_SetDiskIndex>(t, 3); }, 1, 0, 40,
         3, nullptr, 0, "selected_disk"},
        {"array index", [](HANDLE t) { return std::make_unique<CIoctlRaidCfg_SetArrayIndex>(t, 0xFFFFFFFF); },
         1, 0, 44, 0xFFFFFFFF, nullptr, 0, "selected_array"},
        {"volume action", [](HANDLE t) { return std::make_unique<CIoctlRaidVolume_SetAction>(t, 0, 4); }, 2,
         0, 77, 4, "volumes", 0, "action"},
        {"checkbox", [](HANDLE t) { return std::make_unique<CIoctlRaidDisk_SetCheckbox>(t, 2, 1); }, 3, 2,
         102, 1, "disks", 2, "checkbox"},
        {"disk action", [](HANDLE t) { return std::make_unique<CIoctlRaidDisk_SetAction>(t, 3, 5); }, 3, 3,
         107, 5, "disks", 3, "action"},
        {"action argument",
         [](HANDLE t) { return std::make_unique<CIoctlRaidDeviceCfg_SetActionArg>(t, 4, 0x10); }, 3, 4, 122,
         0x10, "disks", 4, "action_arg"},
        {"array cache policy",
         [](HANDLE t) { return std::make_unique<CIoctlRaidArray_SetCachePolicy>(t, 0, 1); }, 5, 0, 169, 1,
         "arrays", 0, "cache_policy_request"},
        {"device action",
         [](HANDLE t) { return std::make_unique<CIoctlRaidDeviceCfg_SetAction>(t, 0, 0x101); }, 13, 0, 434,
         0x101, "volumes", 0, "device_action"},
    };
    for (const auto& c : cases) {
        auto request = c.make(adapter_);
        request->SetVerifyOnInvoke(true);
        CConsolidatedError result = request->Invoke();
        ASSERT_TRUE(result.IsSuccessful()) << c.name << ": " << result.GetErrorMessage();
        EXPECT_EQ(LastSend().input,
                  Framed(84, c.group, c.instance, 0, c.field, 1, 4).U32(80, c.value).bytes())
            << c.name;
        const json raid = Raid();
        const json& holder = c.table ? raid[c.table][c.row] : raid;
        EXPECT_EQ(static_cast<uint32_t>(holder[c.key].get<int64_t>()), c.value) << c.name;
    }
}

TEST_F(RaidConfig, TriggerSetterLetsTheDriverCarryOutTheActions) {
    // The trigger setter: FieldIndex 42, Direction 1, 4 bytes of data at 80 of an 84-byte buffer.
    ASSERT_TRUE(CIoctlRaidVolume_SetAction(adapter_, 0, 1).Invoke().IsSuccessful());
    CIoctlRaidCfg_SetTrigger trigger(adapter_, 1);
    ASSERT_TRUE(trigger.Invoke().IsSuccessful());
    EXPECT_EQ(LastSend().input, Framed(84, 1, 0, 0, 42, 1, 4).U32(80, 1).bytes());
    CIoctlRaidCfgGroup cfg(adapter_);
    cfg.SetVerifyOnInvoke(true);
    ASSERT_TRUE(cfg.Invoke().IsSuccessful());
    EXPECT_EQ(Word(cfg.GetGroupData(), 4), 0u); // the volume was deleted
}

TEST_F(RaidConfig, WholeRecordAndFieldCopiesOfTheNewVolumeAndTheName) {
    CIoctlRaidNewVolumeGroup_SetGroup group(adapter_);
    group.ValuesToSet("Data", 4, 1000, 128, 0, 2, 1, 0x4060);
    group.SetVerifyOnInvoke(true);
    ASSERT_TRUE(group.Invoke().IsSuccessful());
    Expected expected = Framed(124, 4, 0, 0, 0xFFFFFFFF, 1, 44);
    expected.U32(80, 44).Text(84, "Data").U32(100, 1000).U32(104, 128).U32(108, 0).U32(112, 2).U32(116, 1);
    expected.U32(120, 0x4060);
    EXPECT_EQ(LastSend().input, expected.bytes());
    EXPECT_EQ(Raid()["new_volume"]["options"], 0x4060);

    CIoctlRaidDeviceCfg_SetSerialNumber rename(adapter_, 0);
    rename.ValueToSet("Renamed volume 1", 16);
    ASSERT_TRUE(rename.Invoke().IsSuccessful());
    EXPECT_EQ(LastSend().input, Framed(96, 13, 0, 0, 418, 1, 16).Text(80, "Renamed volume 1").bytes());
    EXPECT_EQ(Raid()["volumes"][0]["name"], "Renamed volume 1");

    // A name the check refuses is not kept; a request without a value fails without a send.
    CIoctlRaidDeviceCfg_SetSerialNumber refused(adapter_, 0);
    try {
        refused.ValueToSet(" Blank", 6);
        FAIL() << "a name starting with a blank was taken";
    } catch (const CConsolidatedError& e) {
        EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::IOCTL_SERIALNO_WHITESPACE);
    }
    const size_t before = SendCount();
    EXPECT_EQ(refused.Invoke().GetErrorCode(), CConsolidatedError::IOCTL_FAULT);
    CIoctlRaidNewVolumeGroup_SetGroup unset(adapter_);
    EXPECT_EQ(unset.Invoke().GetErrorCode(), CConsolidatedError::IOCTL_FAULT);
    EXPECT_EQ(SendCount(), before);

    const uint64_t wide = 0x1122334455667788ull;
    CIoctlRaidSetField field(adapter_, 0, 440, &wide, 8);
    ASSERT_TRUE(field.Invoke().IsSuccessful());
    EXPECT_EQ(LastSend().input, Framed(88, 13, 0, 0, 440, 1, 8).U64(80, wide).bytes());
    CIoctlNvCacheDisableBCD bcd(adapter_);
    ASSERT_TRUE(bcd.Invoke().IsSuccessful());
    EXPECT_EQ(LastSend().input, Framed(84, 19, 0, 0, 620, 1, 4).bytes());
}

TEST_F(RaidConfig, RohiPolicyIsASingleFieldGet) {
    machine_->Update([](json& s) { s["adapters"][0]["raid"]["rohi_policy"] = 1; });
    CIoctlRaidCfg_GetROHIPolicy rohi(adapter_);
    ASSERT_TRUE(rohi.Invoke().IsSuccessful());
    EXPECT_EQ(LastSend().input, Framed(84, 1, 0, 0, 54, 0, 4).bytes());
    EXPECT_EQ(rohi.GetPolicy(), 1u);
}

TEST_F(RaidConfig, OneWin32ErrorEightySevenSwitchesEveryLaterRequestToTheDirectForm) {
    machine_->Update([](json& s) { s["adapters"][0]["raid"]["direct_only"] = true; });
    EXPECT_FALSE(IsIoctlDirectMode());
    CIoctlRaidCfgGroup first(adapter_);
    first.SetVerifyOnInvoke(true);
    ASSERT_TRUE(first.Invoke().IsSuccessful());
    EXPECT_TRUE(IsIoctlDirectMode());
    auto sends = Sends();
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[0].selectors["code"], kMiniport);
    EXPECT_EQ(sends[1].selectors["code"], kRaidCode);
    // The direct form: the thirteen words of the block at 0, the buffer keeps its framed size.
    Expected direct(300);
    direct.U32(0, 52).U32(4, 1).U32(32, 0xFFFFFFFF).U32(40, 52).U32(44, 220);
    EXPECT_EQ(sends[1].input, direct.bytes());
    EXPECT_TRUE(first.IsDirectForm());
    EXPECT_EQ(first.GetGroupData(), first.GetOutBuffer() + 52);
    EXPECT_EQ(Word(first.GetGroupData(), 4), 1u);

    // Later RAID requests start in the direct form; a set carries its data at 52.
    machine_->calls().Clear();
    CIoctlRaidVolume_SetAction action(adapter_, 0, 4);
    ASSERT_TRUE(action.Invoke().IsSuccessful());
    ASSERT_EQ(SendCount(), 1u);
    EXPECT_EQ(LastSend().selectors["code"], kRaidCode);
    EXPECT_EQ(
        LastSend().input,
        Expected(84).U32(0, 52).U32(4, 2).U32(32, 77).U32(36, 1).U32(40, 52).U32(44, 4).U32(52, 4).bytes());
    CIoctlRaidVolumeGroup volume(adapter_, 0);
    volume.SetVerifyOnInvoke(true);
    ASSERT_TRUE(volume.Invoke().IsSuccessful());
    EXPECT_EQ(Word(volume.GetGroupData(), 88), 4u);

    // The dictionary requests keep their framing.
    CIoctlSupportedDictionaries dictionaries(adapter_);
    ASSERT_TRUE(dictionaries.Invoke().IsSuccessful());
    EXPECT_EQ(LastSend().selectors["code"], kMiniport);
    EXPECT_EQ(LastSend().selectors["control_code"], 0x90000A02u);
}

TEST_F(RaidConfig, AnOtherWin32ErrorIsNotResentAndABusyDriverIsReturned) {
    struct Case {
        uint32_t win32;
        uint32_t code;
    };
    for (const Case& c : {Case{31, 0x20000001}, Case{170, 0xA00000AA}}) {
        machine_->calls().Clear();
        Inject({{"code", kMiniport}}, {{"win32_error", c.win32}});
        CIoctlRaidCfgGroup cfg(adapter_);
        EXPECT_EQ(static_cast<uint32_t>(cfg.Invoke().GetErrorCode()), c.code);
        EXPECT_EQ(SendCount(), 1u);
        EXPECT_FALSE(IsIoctlDirectMode());
    }
}

TEST_F(RaidConfig, DriverStatusMapsToTheRaidMetadataCodes) {
    struct Case {
        uint32_t status;
        uint32_t code;
    };
    const std::vector<Case> cases = {{1, 0xA0050001},         {2, 0xA0050002},  {5, 0xA0050005},
                                     {9, 0xA0050009},         {12, 0xA005000C}, {13, 0xA0050001},
                                     {0xFFFFFFFF, 0xA0050001}};
    for (const auto& c : cases) {
        InjectRaid({{"group", 2}}, {{"status", c.status}});
        CIoctlRaidVolumeGroup volume(adapter_, 0);
        volume.SetVerifyOnInvoke(true);
        CConsolidatedError result = volume.Invoke();
        EXPECT_EQ(static_cast<uint32_t>(result.GetErrorCode()), c.code) << c.status;
        EXPECT_STREQ(result.GetErrorMessage(),
                     "GET_SET_RAID_PARAMS.Status indicates an error CIoctlRaidGetSetConfig::_realVerify")
            << c.status;
        EXPECT_FALSE(volume.IsVerified());
        EXPECT_THROW(volume.GetGroupData(), CConsolidatedError);
    }
}

TEST_F(RaidConfig, HeaderAndParameterBlockChecks) {
    struct Case {
        const char* name;
        json outcome;
        uint32_t code;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"parameter block length",
         {{"params_length", 48}},
         0xA0040401,
         "Invalid GET_SET_RAID_PARAMS.Length, expected: 52, actual: 48"},
        {"header length",
         {{"header_length", 24}},
         0xA0040401,
         "Invalid SRB_IO_CONTROL.HeaderLength, expected: 28, actual: 24"},
        {"return code", {{"return_code", 3}}, 0xA0040404, "ReturnCode: 3"},
    };
    for (const auto& c : cases) {
        InjectRaid({{"group", 1}}, c.outcome);
        CIoctlRaidCfgGroup cfg(adapter_);
        cfg.SetVerifyOnInvoke(true);
        CConsolidatedError result = cfg.Invoke();
        EXPECT_EQ(static_cast<uint32_t>(result.GetErrorCode()), c.code) << c.name;
        EXPECT_STREQ(result.GetErrorMessage(), c.message) << c.name;
    }
}

// A framed answer carries the 28-byte header before the parameter block: one shorter than header +
// parameter block + group data is refused, however little is missing, and no group check reads the
// fill behind it.
TEST_F(RaidConfig, AFramedAnswerShorterThanHeaderAndPayloadIsRefused) {
    CIoctlRaidCfgGroup probe(adapter_);
    const DWORD whole = 28 + probe.GetBytesExpected();
    for (DWORD missing : {1u, 4u, 27u, 28u}) {
        SCOPED_TRACE(missing);
        Inject({{"code", kMiniport}}, {{"bytes_returned", whole - missing}});
        CIoctlRaidCfgGroup cfg(adapter_);
        cfg.SetVerifyOnInvoke(true);
        CConsolidatedError result = cfg.Invoke();
        EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::DRIVER_SHORT_RESPONSE);
        EXPECT_EQ(std::string(result.GetErrorMessage()),
                  "Short driver response in CIoctlRaidGetSetConfig::_realVerify, BytesReturned: " +
                      std::to_string(whole - missing) + ", BytesExpected: " + std::to_string(whole));
    }
    Inject({{"code", kMiniport}}, {{"bytes_returned", whole}});
    CIoctlRaidCfgGroup exact(adapter_);
    exact.SetVerifyOnInvoke(true);
    EXPECT_TRUE(exact.Invoke().IsSuccessful());
}

TEST_F(RaidConfig, GroupChecksRefuseRecordsOutsideTheirLimits) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<CIoctlRaidGetSetConfig>(HANDLE)> make;
        uint32_t group, offset, value;
        const char* message; // null: the record passes
    };
    auto cfg = [](HANDLE t) { return std::make_unique<CIoctlRaidCfgGroup>(t); };
    auto volume = [](HANDLE t) { return std::make_unique<CIoctlRaidVolumeGroup>(t, 0); };
    auto disk = [](HANDLE t) { return std::make_unique<CIoctlRaidDiskGroup>(t, 0); };
    auto nv = [](HANDLE t) { return std::make_unique<CIoctlRaidNewVolumeGroup>(t); };
    auto array = [](HANDLE t) { return std::make_unique<CIoctlRaidArrayGroup>(t, 0); };
    const std::vector<Case> cases = {
        {"cfg length", cfg, 1, 0, 200,
         "Invalid GroupLength in CIoctlRaidCfgGroup, expected size: 220, actual: 200"},
        {"cfg volumes", cfg, 1, 4, 9,
         "Invalid NumRaidDevs in CIoctlRaidCfgGroup, expected max: 8, reported: 9"},
        {"cfg disks", cfg, 1, 8, 1025,
         "Invalid NumDisks in CIoctlRaidCfgGroup, expected max: 1024, reported: 1025"},
        {"cfg arrays", cfg, 1, 176, 9,
         "Invalid NumArrays in CIoctlRaidCfgGroup, expected max: 8, reported: 9"},
        {"cfg volume actions", cfg, 1, 188, 0xFFFFFFFF,
         "Negative NumVolActionsInProgress in CIoctlRaidCfgGroup, reported: -1"},
        {"cfg disk actions", cfg, 1, 192, 0xFFFFFFFE,
         "Negatvie NumDiskActionsInProgress in CIoctlRaidCfgGroup, reported: -2"},
        {"volume level 2", volume, 2, 24, 2, "Invalid RaidLevel in CIoctlRaidVolumeGroup actual: 2"},
        {"volume level 10", volume, 2, 24, 10, nullptr},
        {"volume strip", volume, 2, 36, 2048,
         "Invalid StripSizeInKB in CIoctlRaidVolumeGroup, expected max size: 1024, actual: 2048"},
        {"volume rpm", volume, 2, 128, 100001,
         "Invalid VolumeRpm in CIoctlRaidVolumeGroup, expected max size: 100000, actual: 100001"},
        {"disk array -1", disk, 3, 140, 0xFFFFFFFF, nullptr},
        {"disk array 9", disk, 3, 140, 9,
         "Invalid ArrayOrd in CIoctlRaidDiskGroup expected max value: 8 actual: 9"},
        {"disk partitions", disk, 3, 136, 256,
         "Invalid NumPartitions in CIoctlRaidDiskGroup expected value max: 255 actual: 256"},
        {"new volume strip", nv, 4, 24, 256,
         "Invalid StripSizeInKB, in CIoctlRaidNewVolumeGroup::_realVerify, expected max: 128 actual: 256"},
        {"new volume mirrors", nv, 4, 36, 4,
         "Invalid NumDomainsOrMirrors in CIoctlRaidNewVolumeGroup::_realVerify, expected max: 3 actual: 4"},
        {"array volumes", array, 5, 12, 1025,
         "Invalid NumRaidDevs, in CIoctlRaidArrayGroup::_realVerify, expected max: 1024 actual: 1025"},
        {"array member length", [](HANDLE t) { return std::make_unique<CIoctlRaidArrayDiskGroup>(t, 0, 0); },
         6, 0, 21,
         "Invalid GroupLength in CIoctlRaidArrayDiskGroup::_realVerify, expected size: 20, actual: 21"},
        {"device info block", [](HANDLE t) { return std::make_unique<CIoctlRaidDeviceInfo>(t, 0); }, 10, 4,
         0x20000000,
         "Invalid BlockSize in CIoctlRaidDeviceInfo, expected max size: 536870911, actual: 536870912"},
        {"device configuration progress",
         [](HANDLE t) { return std::make_unique<CIoctlRaidDeviceCfg>(t, 0); }, 13, 104, 10001,
         "Invalid MigrPercent in CIoctlRaidDeviceCfg, expected max size: 10000, actual: 10001"},
        {"NV cache length", [](HANDLE t) { return std::make_unique<CIoctlNvCacheInfoGroup>(t); }, 19, 0, 55,
         "Invalid GroupLength in CIoctlNvCacheInfoGroup, expected size: 56, actual: 55"},
    };
    for (const auto& c : cases) {
        InjectRaid({{"group", c.group}}, {{"group_patch", {{{"offset", c.offset}, {"u32", c.value}}}}});
        auto request = c.make(adapter_);
        request->SetVerifyOnInvoke(true);
        CConsolidatedError result = request->Invoke();
        if (!c.message) {
            EXPECT_TRUE(result.IsSuccessful()) << c.name << ": " << result.GetErrorMessage();
            continue;
        }
        EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::DRIVER_IXO_VALIDATION_ERR) << c.name;
        EXPECT_STREQ(result.GetErrorMessage(), c.message) << c.name;
        EXPECT_FALSE(request->IsVerified()) << c.name;
    }
    // A setter's answer is not held to its group's limits.
    InjectRaid({{"group", 1}}, {{"group_patch", {{{"offset", 0}, {"u32", 9}}}}});
    CIoctlRaidCfg_SetTrigger trigger(adapter_, 0);
    trigger.SetVerifyOnInvoke(true);
    EXPECT_TRUE(trigger.Invoke().IsSuccessful());
}

TEST_F(RaidConfig, FormattingFailuresSendNothing) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<CIoctlRaidGetSetConfig>(HANDLE)> make;
        uint32_t code;
        const char* message;
        const char* debug;
    };
    const std::vector<Case> cases = {
        {"group not set",
         [](HANDLE t) {
             return std::make_unique<CIoctlRaidGetSetConfig>(t, 0xFFFF, 0, 0, 0, 0, 0xFFFFFFFF, 0, 300, 220,
                                                             272);
         },
         0xA003013A, "", nullptr},
        {"direction not set",
         [](HANDLE t) {
             return std::make_unique<CIoctlRaidGetSetConfig>(t, 1, 0, 0, 0, 0, 0xFFFFFFFF, 0xFFFF, 300, 220,
                                                             272);
         },
         0xA003013B, "", nullptr},
        {"buffer too small",
         [](HANDLE t) {
             return std::make_unique<CIoctlRaidGetSetConfig>(t, 1, 0, 0, 0, 0, 0xFFFFFFFF, 0, 299, 220, 272);
         },
         0xA0030137,
         "InBufferSize is too small, must be >= sizeof(SRB_IO_CONTROL) + sizeof(GET_SET_RAID_PARAMS) + "
         "DataTransferLength CIoctlRaidGetSetConfig::_realFormatInputBuffer",
         "InBufferSize = 299\n, sizeof(SRB_IO_CONTROL)= 28\n, sizeof(GET_SET_RAID_PARAMS)= 52\n, "
         "DataTransferLength = 220\n, GroupId = 1 \nreal_FormatInputBuffer() returned an error in "
         "CIoctl::_realInvoke"},
        {"length that wraps around",
         [](HANDLE t) {
             return std::make_unique<CIoctlRaidGetSetConfig>(t, 1, 0, 0, 0, 0, 0xFFFFFFFF, 0, 300, 0xFFFFFFF0,
                                                             0);
         },
         0xA0030137, nullptr, nullptr},
        {"set without data",
         [](HANDLE t) { return std::make_unique<CIoctlRaidGetSetConfig>(t, 1, 0, 0, 0, 0, 42, 1, 80, 0, 0); },
         0xA0030139, "DataTransferLength must be > 0 CIoctlRaidGetSetConfig::_realFormatInputBuffer",
         nullptr},
    };
    for (const auto& c : cases) {
        const size_t before = SendCount();
        auto request = c.make(adapter_);
        CConsolidatedError result = request->Invoke();
        EXPECT_EQ(static_cast<uint32_t>(result.GetErrorCode()), c.code) << c.name;
        if (c.message) {
            EXPECT_STREQ(result.GetErrorMessage(), c.message) << c.name;
        }
        if (c.debug) {
            EXPECT_STREQ(result.GetDebugInformation(), c.debug) << c.name;
        }
        EXPECT_EQ(SendCount(), before) << c.name;
    }
}

TEST_F(RaidConfig, DescribeNamesTheGroupAndTheDirection) {
    CIoctlRaidDisk_SetAction action(adapter_, 3, 5);
    EXPECT_EQ(action.Describe(), "groupId: RIXO_DISK_TABLE_GROUP_NO(3), InstanceId: 0x3, FieldIndex: 0x6B, "
                                 "Direction: SET_DIRECTION, DataTransferLength: 0x4");
    CIoctlRaidGetSetConfig odd(adapter_, 21, 0, 0, 0, 0, 0xFFFFFFFF, 0xFFFF, 100, 20, 0);
    EXPECT_EQ(odd.Describe(), "groupId: Unknown(21), InstanceId: 0x0, FieldIndex: 0xFFFFFFFF, Direction: Not "
                              "provided, DataTransferLength: 0x14");
    EXPECT_STREQ(action.RuntimeClassName(), "class CIoctlRaidDisk_SetAction");
}

TEST(RaidConfigText, NameCheck) {
    struct Case {
        const char* text;
        uint32_t length;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"Sixteen chars ok", 16, 0x20000000},
        {"Seventeen chars!!", 17, 0xA003013E},
        {nullptr, 4, 0xA0000006},
        {"", 0, 0xA003013D},
        {"\0abc", 4, 0xA003013D},
        {" Leading", 8, 0xA003013F},
        {"A\\B", 3, 0xA0030140},
        {"\\First", 6, 0x20000000},
        {"Trailing  ", 10, 0x20000000},
        {"Tab\tinside", 10, 0xA0030140},
        {"Stops\0\x01", 7, 0x20000000},
    };
    for (const auto& c : cases) {
        CConsolidatedError result = ValidateSerialNumber(c.text, c.length);
        EXPECT_EQ(static_cast<uint32_t>(result.GetErrorCode()), c.code) << (c.text ? c.text : "(null)");
        EXPECT_STREQ(result.GetErrorMessage(), "");
    }
}

TEST(RaidConfigText, TextCopies) {
    uint8_t record[192] = {};
    std::memcpy(record + 4, "SIXTEEN-CHARS-XY", 16); // fills the field, no terminator
    std::memcpy(record + 72, "FW12", 4);
    char buffer[32];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(CopyIxoSerialNumber(record, nullptr, 0), 17u);
    EXPECT_EQ(CopyIxoSerialNumber(record, buffer, 16), 0u);
    EXPECT_EQ(buffer[0], 'x'); // untouched
    EXPECT_EQ(CopyIxoSerialNumber(record, buffer, 17), 17u);
    EXPECT_STREQ(buffer, "SIXTEEN-CHARS-XY");
    EXPECT_EQ(CopyRaidDiskText72(record, buffer, 4), 0u);
    EXPECT_EQ(CopyRaidDiskText72(record, buffer, 5), 5u);
    EXPECT_STREQ(buffer, "FW12");
    EXPECT_EQ(CopyRaidDiskText88(record, buffer, 1), 1u);
    EXPECT_STREQ(buffer, "");
}

} // namespace

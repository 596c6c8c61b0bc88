// The operations on the whole system: the device tree rescan with its cross-process exclusion, the
// partition refresh of the capable controllers and the link power registry values.
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/SystemOperations.h"
#include "middleware/api/UviApi.h"
#include "middleware/api/UviOperations.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "platform/win/WinCfgMgr.h"
#include "platform/win/WinRegistry.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/support/ChildProcess.h"

namespace {

constexpr char kArrivingDisk[] = "SCSI\\DISK&VEN_KELVAR&PROD_NEW\\5&1";

class SystemOperations : public ::testing::Test {
protected:
    explicit SystemOperations(const sim::MachineBuilder& machine = Machine()) : machine_(machine) {
        DeviceLocator::ResetForTests();
    }
    ~SystemOperations() override { DeviceLocator::ResetForTests(); }
    void SetUp() override { ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS); }
    void TearDown() override {
        static_cast<void>(UviFinalize());
        EXPECT_EQ(machine_->faults().Pending(), 0u) << "an injected fault never fired";
    }

    // The default machine with a disk that Windows finds only on the next rescan.
    static sim::MachineBuilder Machine() {
        sim::MachineBuilder b = sim::MachineBuilder::Default();
        b.Append("/devices/nodes", R"({"id": "SCSI\\DISK&VEN_KELVAR&PROD_NEW\\5&1", "pending": true})");
        return b;
    }
    static bool ArrivingDiskPresent() {
        DEVINST node = 0;
        return CM_Locate_DevNodeA(&node, const_cast<char*>(kArrivingDisk), 0) == CR_SUCCESS;
    }
    static std::string Message(const _UVI_Error& record) { return GetLoggedError(record).GetErrorMessage(); }
    static std::string Debug(const _UVI_Error& record) {
        return GetLoggedError(record).GetDebugInformation();
    }

    static DWORD LinkPowerValue(const std::wstring& name) {
        DWORD value = 0xEEEE, size = sizeof(value), type = 0;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          L"SYSTEM\\CurrentControlSet\\Services\\moxraid\\Parameters\\Device", 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return 0xDEAD;
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            value = 0xDEAD;
        RegCloseKey(key);
        return value;
    }
    static void ExpectLinkPower(DWORD expected) {
        for (int phy = 0; phy < 8; ++phy)
            for (const wchar_t* kind : {L"HIPM", L"DIPM"}) {
                const std::wstring name = L"Controller0Phy" + std::to_wstring(phy) + kind;
                EXPECT_EQ(LinkPowerValue(name), expected) << phy;
            }
    }

    sim::ScopedMachine machine_;
};

TEST_F(SystemOperations, RescanFindsNewDevicesAndLeavesNoSemaphore) {
    ASSERT_FALSE(ArrivingDiskPresent());
    EXPECT_EQ(UviRescan().status, UVI_STATUS_SUCCESS);
    EXPECT_TRUE(ArrivingDiskPresent());
    // The semaphore went with the rescan: the next one is not busy.
    EXPECT_EQ(UviRescan().status, UVI_STATUS_SUCCESS);
}

TEST_F(SystemOperations, RescanOfAnotherProcessMakesThisOneBusy) {
    moxtest::Child other({"semaphore-hold", kRescanSemaphoreName});
    ASSERT_EQ(other.ReadLine(), "ready 0");
    const _UVI_Error busy = UviRescan();
    EXPECT_EQ(busy.code, 0xA0010009u);
    EXPECT_EQ(Message(busy), "System Rescan Busy");
    EXPECT_FALSE(ArrivingDiskPresent());
    other.WriteLine("done");
    EXPECT_EQ(other.Wait(), 0);
    EXPECT_EQ(UviRescan().status, UVI_STATUS_SUCCESS);
    EXPECT_TRUE(ArrivingDiskPresent());
}

TEST_F(SystemOperations, RescanFailuresOfTheConfigurationManager) {
    struct Case {
        const char* rule;
        const char* debug;
    };
    // The call's own session locates the root too: the rescan's is the last of a call.
    machine_->calls().Clear();
    ASSERT_EQ(UviRescan().status, UVI_STATUS_SUCCESS);
    const size_t before = machine_->calls().CountMatching("CM_Locate_DevNode", R"({"device": ""})") - 1;
    const std::string locate = R"({"kind": "CM_Locate_DevNode", "match": {"device": ""}, "skip": )" +
                               std::to_string(before) + R"(, "outcome": {"cr": 13}})";
    const Case cases[] = {
        {locate.c_str(), "Failed to Locate Device Node. Locate_DevNode_Ex() returned: 0xd"},
        {R"({"kind": "CM_Reenumerate_DevNode", "outcome": {"cr": 5}})",
         "Failed to Reenumerate Device Node. Reenumerate_DevNode_ex() returned 0x5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.debug);
        machine_->faults().Add(c.rule);
        const _UVI_Error failed = UviRescan();
        EXPECT_EQ(failed.code, 0xA001000Fu);
        EXPECT_NE(Debug(failed).find(c.debug), std::string::npos) << Debug(failed);
    }
    EXPECT_EQ(UviRescan().status, UVI_STATUS_SUCCESS); // no semaphore was left behind
}

TEST_F(SystemOperations, LinkPowerValuesForEveryPhyTakeTheLowByte) {
    struct Case {
        int argument;
        DWORD written;
    };
    for (const Case& c : {Case{1, 1}, Case{256, 0}, Case{0x101, 1}, Case{0, 0}}) {
        SCOPED_TRACE(c.argument);
        EXPECT_EQ(UviSetLpmStatus(c.argument).status, UVI_STATUS_SUCCESS);
        ExpectLinkPower(c.written);
    }
}

TEST_F(SystemOperations, LinkPowerKeyThatCannotBeCreatedIsSkipped) {
    machine_->faults().Add(R"({"kind": "RegCreateKeyEx", "match": {"access": 131078}, "times": -1,
                              "outcome": {"win32_error": 5}})");
    EXPECT_EQ(UviSetLpmStatus(1).status, UVI_STATUS_SUCCESS);
    machine_->faults().Clear();
    EXPECT_EQ(LinkPowerValue(L"Controller0Phy0HIPM"), 0xDEADu);
}

TEST_F(SystemOperations, FailedLinkPowerWriteIsReportedAndTheOthersAreStillWritten) {
    machine_->faults().Add(R"({"kind": "RegSetKeyValue", "match": {"name": "Controller0Phy3DIPM"},
                              "outcome": {"win32_error": 5}})");
    const _UVI_Error failed = UviSetLpmStatus(1);
    EXPECT_EQ(failed.errorType, 1u);
    EXPECT_EQ(failed.win32Error, 5u);
    EXPECT_EQ(Message(failed), "Dipm registry set failed");
    EXPECT_EQ(LinkPowerValue(L"Controller0Phy7DIPM"), 1u);
}

TEST_F(SystemOperations, PartitionRefreshAsksTheRaidControllerOnly) {
    // The NVMe controller (port 1) is never asked.
    machine_->faults().Add(R"({"kind": "RaidRequest", "match": {"group": 22, "port": 1},
                              "outcome": {"win32_error": 31}})");
    EXPECT_EQ(UviRefreshPartitionInfo().status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(machine_->faults().Pending(), 1u);
    machine_->faults().Clear();
    // A failed request of the RAID controller (port 0) is the result.
    machine_->faults().Add(R"({"kind": "RaidRequest", "match": {"group": 22}, "times": -1,
                              "outcome": {"win32_error": 31}})");
    EXPECT_NE(UviRefreshPartitionInfo().status, UVI_STATUS_SUCCESS);
    machine_->faults().Clear();
}

} // namespace

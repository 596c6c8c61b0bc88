// PHY queries over sim/machines/states.json: sixteen SATA ports and five PCIe ports with the RAID
// disks behind them; the first port carries its command word, device sleep register and runtime D3
// information.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

sim::MachineBuilder States() {
    return sim::MachineBuilder::FromFile("states.json")
        .Set("/adapters/0/ports/0/cmd", R"("0x00240016")")
        .Set("/adapters/0/ports/0/registers", R"({"0x44": "0x1FFE0B8D"})")
        .Set("/adapters/0/ports/0/rtd3", "[1, 0]")
        .Set("/adapters/0/ports/1/rtd3", "[2, 0]");
}

class Library {
public:
    explicit Library(const sim::MachineBuilder& builder) : machine_(builder) { UviInitialize(); }
    ~Library() { UviFinalize(); }

private:
    sim::ScopedMachine machine_;
};

std::vector<UVI_PhyInfo> AllPhys() {
    unsigned session = 0;
    EXPECT_EQ(UviSessionOpen(&session).status, UVI_STATUS_SUCCESS);
    unsigned count = 0;
    const _UVI_Error first = UviGetPhyHandles(session, nullptr, &count);
    EXPECT_EQ(first.status, count == 0 ? UVI_STATUS_SUCCESS : UVI_STATUS_BUFFER_TOO_SMALL);
    CleanupUviError(first.errorId);
    std::vector<unsigned> handles(count);
    EXPECT_EQ(UviGetPhyHandles(session, handles.data(), &count).status, UVI_STATUS_SUCCESS);
    std::vector<UVI_PhyInfo> records;
    for (unsigned i = 0; i < count; ++i) {
        UVI_PhyInfo info;
        std::memset(&info, 0x5A, sizeof info);
        EXPECT_EQ(UviGetPhyInfo(session, handles[i], &info).status, UVI_STATUS_SUCCESS);
        EXPECT_EQ(info.handle, handles[i]);
        records.push_back(info);
    }
    UviSessionClose(session);
    return records;
}

TEST(UviGetPhyInfo, PortsAndDisksOfTheStatesMachine) {
    Library library(States());
    const std::vector<UVI_PhyInfo> phys = AllPhys();
    ASSERT_FALSE(phys.empty());
    unsigned ports = 0, disks = 0;
    for (const UVI_PhyInfo& info : phys) {
        // The port fill zeroes the record first: no byte of the caller's buffer is left.
        EXPECT_EQ(info.reserved4, 0u);
        EXPECT_EQ(info.one28, 1u);
        EXPECT_EQ(info.one48, 1u);
        if (info.attachedKind == 1) {
            ++ports;
            EXPECT_EQ(info.attachedHandle, info.controllerHandle);
            EXPECT_EQ(info.portHandle != 0, info.deviceAttached == 1);
            if (info.connectionKind == 3)
                EXPECT_EQ(info.externalPort, 0);
        } else {
            ++disks;
            EXPECT_EQ(info.attachedKind, 2u);
            EXPECT_EQ(info.deviceAttached, 1);
            EXPECT_NE(info.portHandle, 0u);
        }
    }
    EXPECT_EQ(ports, 22u); // and the NVMe controller's one
    EXPECT_GT(disks, 0u);
    unsigned pcie = 0;
    for (const UVI_PhyInfo& info : phys)
        pcie += info.attachedKind == 1 && info.connectionKind == 3 ? 1 : 0;
    EXPECT_EQ(pcie, 6u);

    // The first SATA port: 6 Gb/s, PxDEVSLP 0x1FFE0B8D.
    const UVI_PhyInfo& first = phys[0];
    EXPECT_EQ(first.attachedKind, 1u);
    EXPECT_EQ(first.negotiatedLinkRate, 3u);
    EXPECT_EQ(first.linkRate, 3u);
    EXPECT_EQ(first.connectionKind, 2u);
    EXPECT_EQ(first.portCommand, 0x00240016u);
    EXPECT_EQ(first.aggressiveDeviceSleep, 1);
    EXPECT_EQ(first.deviceSleepExitTimeout, (0x1FFE0B8Du >> 2) & 0xFF);
    EXPECT_EQ(first.deviceSleepIdleTimeoutMultiplier, (0x1FFE0B8Du >> 25) & 0xF);
}

TEST(UviGetPhyHandles, CapacityIsNeverPassed) {
    Library library(States());
    unsigned count = 0;
    _UVI_Error error = UviGetPhyHandles(0, nullptr, &count);
    const unsigned needed = count;
    ASSERT_GT(needed, 2u);
    CleanupUviError(error.errorId);
    std::vector<unsigned> handles(needed + 1, 0xEEEEEEEE);
    count = 2;
    error = UviGetPhyHandles(0, handles.data(), &count);
    EXPECT_EQ(error.status, UVI_STATUS_BUFFER_TOO_SMALL);
    EXPECT_GE(count, 2u);
    // The SATA controller does not fit and writes nothing; the NVMe controller's port fits.
    EXPECT_NE(handles[0], 0xEEEEEEEEu);
    for (unsigned i = 2; i < handles.size(); ++i)
        EXPECT_EQ(handles[i], 0xEEEEEEEEu) << i;
    CleanupUviError(error.errorId);
    count = 1;
    error = UviGetPhyHandles(0, nullptr, &count);
    EXPECT_EQ(error.code, 0xA0010002u);
    CleanupUviError(error.errorId);
    UVI_PhyInfo info{};
    error = UviGetPhyInfo(0, 0xFFFFF, &info);
    EXPECT_EQ(error.code, 0xA0000004u);
    CleanupUviError(error.errorId);
}

TEST(RuntimePowerReads, Rtd3AndPmFields) {
    sim::ScopedMachine machine(States());
    EXPECT_TRUE(UviGetIsRTD3HotEnabled(0x00000000));
    EXPECT_FALSE(UviGetIsRTD3HotEnabled(0x00000100));
    EXPECT_FALSE(UviGetIsRTD3HotEnabled(0x7F000000)); // no controller at that storage port
    UVI_PmInterfaceFields fields{0x7F000000, 0x11, 0x22};
    EXPECT_EQ(UviUpdatePmInterfaceFields(&fields), 0);
    EXPECT_EQ(fields.field1, 0x11u);
    EXPECT_EQ(UviUpdatePmInterfaceFields(nullptr), 0);
}

} // namespace

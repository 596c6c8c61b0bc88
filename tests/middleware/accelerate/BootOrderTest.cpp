#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/accelerate/BootOrder.h"
#include "sim/BootOptions.h"
#include "sim/FirmwareVariables.h"
#include "sim/Machine.h"
#include "sim/Os.h"

namespace {

namespace fw = sim::firmware;

constexpr const char* kManagerPath = "\\EFI\\Microsoft\\Boot\\bootmgfw.efi";

std::vector<uint8_t> Manager(const std::string& description = "Windows Boot Manager",
                             const std::string& path = kManagerPath) {
    return fw::LoadOption(1, description,
                          {fw::HardDriveNode(1, 2048, 204800, "{5c1e7a93-2d4b-4e8f-a16c-3b9d0e7f4a21}"),
                           fw::FilePathNode(path)});
}

std::vector<uint8_t> Other(const std::string& description) {
    return fw::LoadOption(1, description, {fw::PciNode(0x14, 0), fw::UsbNode(3, 0)});
}

void Put(const std::string& name, std::vector<uint8_t> bytes) {
    fw::Write(fw::Variable{name, fw::kGlobalVariableGuid, 7, std::move(bytes)});
}

void PutOption(uint16_t number, std::vector<uint8_t> bytes) {
    Put(fw::BootOptionName(number), std::move(bytes));
}

class BootOrder : public ::testing::Test {
protected:
    ~BootOrder() override { sim::os::ResetToken(); }
    sim::ScopedMachine machine{sim::MachineBuilder("boot-order")};
};

TEST_F(BootOrder, TheBootManagerMovesToTheFrontAndTheOthersKeepTheirOrder) {
    PutOption(0, Manager());
    PutOption(1, Other("UEFI: PXE IPv4"));
    PutOption(3, Other("UEFI: USB"));
    Put("BootOrder", fw::BootOrder({1, 3, 0}));
    EnsureBootManagerFirst();
    EXPECT_EQ(fw::ReadBootOrder(), (std::vector<uint16_t>{0, 1, 3}));
    ASSERT_EQ(fw::WriteLog().size(), 1u);
    EXPECT_EQ(fw::WriteLog()[0]["name"], sim::Value("BootOrder"));

    // Already first: nothing is written.
    EnsureBootManagerFirst();
    EXPECT_EQ(fw::WriteLog().size(), 1u);
}

TEST_F(BootOrder, TheDefaultMachineIsLeftAlone) {
    sim::ScopedMachine defaultMachine;
    EnsureBootManagerFirst();
    EXPECT_EQ(fw::ReadBootOrder(), (std::vector<uint16_t>{0, 1, 2}));
    EXPECT_TRUE(fw::WriteLog().empty());
}

// Which options are the boot manager's, by the option at the end of the order 0001 0002.
TEST_F(BootOrder, OnlyTheBootManagersDescriptionAndLoaderCount) {
    std::vector<uint8_t> unterminated = fw::LoadOption(1, "Windows Boot Manager", {});
    unterminated.resize(4 + 2 + 2 * 5); // the description is cut before its NUL
    std::vector<uint8_t> tooLarge = Manager();
    tooLarge.resize(1001);
    std::vector<uint8_t> shortList = Manager();
    shortList[4] = 20; // the list ends inside the hard drive node
    const struct {
        const char* name;
        std::vector<uint8_t> option;
        bool moved;
    } cases[] = {
        {"as written", Manager(), true},
        {"other letter cases", Manager("WINDOWS BOOT MANAGER", "\\efi\\Microsoft\\BOOT\\BootMgFw.EFI"), true},
        {"another loader", Manager("Windows Boot Manager", "\\EFI\\other\\grubx64.efi"), false},
        {"another description", Manager("Windows Boot Manager 2"), false},
        {"a zero-length node before the file path",
         fw::LoadOption(1, "Windows Boot Manager",
                        {fw::DevicePathNode{1, 1, {0, 0}, 0}, fw::FilePathNode(kManagerPath)}),
         false},
        {"a node reaching past the list",
         fw::LoadOption(1, "Windows Boot Manager", {fw::DevicePathNode{4, 4, {}, 400}}), false},
        {"a list shorter than its nodes", shortList, false},
        {"a description without its end", unterminated, false},
        {"larger than the buffer", tooLarge, false},
        {"too short for its header", {1, 0, 0}, false},
    };
    for (const auto& c : cases) {
        // A machine of its own, as a process of its own would see it.
        sim::ScopedMachine scoped(sim::MachineBuilder("boot-order"));
        ResetBootOrderPrivilegeForTests();
        PutOption(1, Other("UEFI: PXE IPv4"));
        PutOption(2, c.option);
        Put("BootOrder", fw::BootOrder({1, 2}));
        EnsureBootManagerFirst();
        const std::vector<uint16_t> expected =
            c.moved ? std::vector<uint16_t>{2, 1} : std::vector<uint16_t>{1, 2};
        EXPECT_EQ(fw::ReadBootOrder(), expected) << c.name;
        EXPECT_EQ(fw::WriteLog().size(), c.moved ? 1u : 0u) << c.name;
    }
}

TEST_F(BootOrder, LoadOptionsAreReadByTheirHexadecimalNumber) {
    std::vector<uint8_t> option = Manager();
    option.insert(option.end(), {'W', 'I', 'N', 0}); // optional data is not read
    PutOption(10, option);
    sim::os::SetTokenPrivilegeEnabled(*sim::os::PrivilegeLuid("SeSystemEnvironmentPrivilege"), true);
    BootLoadOption parsed;
    ASSERT_TRUE(ReadBootOption(10, parsed));
    EXPECT_EQ(parsed.attributes, 1u);
    EXPECT_EQ(parsed.filePathListLength, 42 + (4 + 2 * 33) + 4);
    EXPECT_EQ(parsed.description, L"Windows Boot Manager");
    EXPECT_EQ(parsed.filePath, L"\\EFI\\Microsoft\\Boot\\bootmgfw.efi");
    EXPECT_TRUE(IsBootManagerOption(parsed));
    EXPECT_EQ(parsed.description, L"windows boot manager");
    EXPECT_FALSE(ReadBootOption(0x0A00, parsed));
}

TEST_F(BootOrder, AHundredEntriesAreHandledAndMoreAreNot) {
    PutOption(0x63, Manager());
    std::vector<uint16_t> order;
    for (uint16_t n = 0; n < 100; ++n)
        order.push_back(n);
    Put("BootOrder", fw::BootOrder(order));
    EnsureBootManagerFirst();
    std::vector<uint16_t> expected{0x63};
    expected.insert(expected.end(), order.begin(), order.end() - 1);
    EXPECT_EQ(fw::ReadBootOrder(), expected);

    order.push_back(100);
    Put("BootOrder", fw::BootOrder(order));
    EnsureBootManagerFirst();
    EXPECT_EQ(fw::ReadBootOrder(), order);
}

TEST_F(BootOrder, WhatCannotBeReadIsSkippedOrEndsTheRepair) {
    PutOption(0, Manager());
    PutOption(1, Manager());
    Put("BootOrder", fw::BootOrder({3, 1, 0}));
    // Option 0003 does not exist; option 0001 cannot be read: the first readable one moves.
    machine->faults().Add(R"({"kind": "GetFirmwareEnvironmentVariable", "match": {"name": "Boot0001"},
                              "outcome": {"win32_error": 1117}})");
    EnsureBootManagerFirst();
    EXPECT_EQ(fw::ReadBootOrder(), (std::vector<uint16_t>{0, 3, 1}));

    for (std::vector<uint8_t> bootOrder : {std::vector<uint8_t>{}, std::vector<uint8_t>{1}}) {
        sim::ScopedMachine scoped(sim::MachineBuilder("boot-order"));
        ResetBootOrderPrivilegeForTests();
        PutOption(0, Manager());
        if (!bootOrder.empty())
            Put("BootOrder", bootOrder);
        EnsureBootManagerFirst();
        EXPECT_TRUE(fw::WriteLog().empty());
    }
}

TEST_F(BootOrder, ThePrivilegeIsEnabledOnceAndOnlyWhenTheTokenHasIt) {
    PutOption(0, Manager());
    Put("BootOrder", fw::BootOrder({1, 0}));
    EnsureBootManagerFirst();
    EnsureBootManagerFirst();
    EXPECT_EQ(machine->calls().Count("AdjustTokenPrivileges"), 1u);
    EXPECT_EQ(fw::ReadBootOrder(), (std::vector<uint16_t>{0, 1}));

    // A standard user's token lacks it: nothing changes, and the next call tries again.
    ResetBootOrderPrivilegeForTests();
    sim::ScopedMachine user(sim::MachineBuilder("boot-order").Set("/os", R"({"elevated": false})"));
    sim::os::ResetToken();
    PutOption(0, Manager());
    Put("BootOrder", fw::BootOrder({1, 0}));
    EnsureBootManagerFirst();
    EnsureBootManagerFirst();
    EXPECT_EQ(user->calls().Count("AdjustTokenPrivileges"), 2u);
    EXPECT_EQ(user->calls().Count("GetFirmwareEnvironmentVariable"), 0u);
    EXPECT_EQ(fw::ReadBootOrder(), (std::vector<uint16_t>{1, 0}));
}

} // namespace

#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

#include <cstring>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "firmware/moxzrcinfo/Report.h"
#include "firmware/moxzrcinfo/ZrcController.h"

namespace zrcinfo {

const char* const kUsage = "Orvex(R) ZRC Information Utility, Version 1.0.0.0\n"
                           "Copyright (C) Orvex Corporation. All rights reserved.\n"
                           "\n"
                           "MoxZrcInfo.efi [/?]\n"
                           "\n"
                           "/? Display Help\n";

std::string Line(const std::string& lead, const std::string& text) {
    return lead + std::string(78 - lead.size() - text.size(), ' ') + text + "\n";
}

bool Has(const std::string& screen, const std::string& text) {
    return screen.find(text) != std::string::npos;
}

sim::MachineBuilder MachineWithController() {
    return sim::MachineBuilder::Default();
}

sim::MachineBuilder MachineWithoutController() {
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    // The controller's node is the eighth of the default machine's device tree; the Virel and the
    // second Kelvar (disks 2 and 4) sit behind it.
    machine.Remove("/devices/nodes/7")
        .Remove("/uefi/pci_config")
        .Remove("/uefi/remap_window")
        .Remove("/uefi/raid_drivers")
        .Remove("/disks/2/uefi")
        .Remove("/disks/4/uefi");
    return machine;
}

FirmwareRun::FirmwareRun(const sim::MachineBuilder& machine) : machine_(machine) {
    std::memcpy(savedGroups_, gGroups, sizeof(gGroups));
}

FirmwareRun::~FirmwareRun() {
    std::memcpy(gGroups, savedGroups_, sizeof(gGroups));
    ResetRunState();
    EXPECT_EQ(firmware_.AllocationsNotFreed(), 0u) << firmware_.BytesNotFreed() << " bytes not freed";
    EXPECT_EQ(firmware_.OpenRecordsOf(firmware_.ImageHandle()), 0u) << "protocols the image left open";
    for (const std::string& problem : firmware_.Problems())
        ADD_FAILURE() << "simulated firmware: " << problem;
}

EFI_STATUS FirmwareRun::Run(const std::vector<std::string>& arguments) {
    std::vector<std::string> all{"MoxZrcInfo.efi"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    firmware_.SetArguments(all);
    return MoxZrcInfoEntry(firmware_.ImageHandle(), firmware_.SystemTable());
}

void FirmwareRun::Attach() {
    InitializeFirmwareGlobals(firmware_.ImageHandle(), firmware_.SystemTable());
    ResetRunState();
    NumberTestRows();
}

std::string FirmwareRun::Group(UINTN group, BOOLEAN* passed) {
    Attach();
    gZrcPciIo = FindZrcController(gZrcControllerIds);
    UINT64 saved = 0;
    if (gZrcPciIo)
        SetZrcPciAttributes(gZrcPciIo, &saved, ZRC_ATTRIBUTES_ENABLE);
    for (UINTN before = 1; before < group && before <= 2; ++before)
        gGroups[before - 1].Handler(gZrcPciIo);
    firmware_.ClearConsole();
    const BOOLEAN result = gGroups[group - 1].Handler(group == 1 ? nullptr : gZrcPciIo);
    if (passed)
        *passed = result;
    return Screen();
}

std::string FirmwareRun::Screen() const {
    std::string text = firmware_.ConsoleText();
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

} // namespace zrcinfo

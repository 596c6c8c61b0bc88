#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

#include <cstring>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/FirmwareLib.h"

namespace zrcinfo {

const char* const kUsage = "Orvex(R) ZRC Information Utility, Version 1.0.0.0\n"
                           "Copyright (C) Orvex Corporation. All rights reserved.\n"
                           "\n"
                           "MoxZrcInfo.efi [/?]\n"
                           "\n"
                           "/? Display Help\n";

sim::MachineBuilder MachineWithController() {
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    machine.Append("/devices/nodes",
                   R"({"id": "PCI\\VEN_1F4A&DEV_09AB&SUBSYS_7A211F4A&REV_00\\3&11583659&0&70",
                                         "parent": "ACPI\\PNP0A08\\0",
                                         "properties": {"Address": "0xE0000", "BusNumber": 0}})");
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

#pragma once
// MoxZrcInfo on the simulated firmware of a test's machine. When the test ends, the firmware must
// have seen no misuse, no memory may be left unfreed and the image may hold no protocol open.
#include <string>
#include <vector>

#include "firmware/moxzrcinfo/MoxZrcInfo.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "sim/uefi/Firmware.h"

namespace zrcinfo {

// The default machine: the remapping controller at bus 0, device 14, function 0, its UEFI RAID
// driver, the driver's variables and ACPI tables.
sim::MachineBuilder MachineWithController();
// The default machine without the remapping controller (nor the firmware's facts about it).
sim::MachineBuilder MachineWithoutController();

class FirmwareRun {
public:
    explicit FirmwareRun(const sim::MachineBuilder& machine = sim::MachineBuilder::Default());
    ~FirmwareRun();

    // Runs the image entry point with these arguments after the program name.
    EFI_STATUS Run(const std::vector<std::string>& arguments = {});
    // Sets the application's globals for the firmware, as its entry does, for tests that call its
    // routines directly.
    void Attach();
    // Runs one group as the run would: after finding the controller and enabling its decoding, for
    // the groups after 2 after groups 1 and 2 (whose output is dropped). Its output; its result in *passed.
    std::string Group(UINTN group, BOOLEAN* passed = nullptr);
    // The console text, each carriage return and line feed as one line feed.
    std::string Screen() const;

    sim::Machine& machine() { return machine_.machine(); }
    sim::uefi::Firmware& firmware() { return firmware_; }

private:
    sim::ScopedMachine machine_;
    sim::uefi::Firmware firmware_;
    MOX_GROUP savedGroups_[MOX_GROUP_COUNT];
};

// A report line whose text ends at column 78.
std::string Line(const std::string& lead, const std::string& text);
bool Has(const std::string& screen, const std::string& text);

// The usage screen of the application's own option table.
extern const char* const kUsage;

} // namespace zrcinfo

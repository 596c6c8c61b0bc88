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

// The default machine with the remapping controller at bus 0, device 14, function 0.
sim::MachineBuilder MachineWithController();

class FirmwareRun {
public:
    explicit FirmwareRun(const sim::MachineBuilder& machine = sim::MachineBuilder::Default());
    ~FirmwareRun();

    // Runs the image entry point with these arguments after the program name.
    EFI_STATUS Run(const std::vector<std::string>& arguments = {});
    // Sets the application's globals for the firmware, as its entry does, for tests that call its
    // routines directly.
    void Attach();
    // The console text, each carriage return and line feed as one line feed.
    std::string Screen() const;

    sim::Machine& machine() { return machine_.machine(); }
    sim::uefi::Firmware& firmware() { return firmware_; }

private:
    sim::ScopedMachine machine_;
    sim::uefi::Firmware firmware_;
    MOX_GROUP savedGroups_[MOX_GROUP_COUNT];
};

// The usage screen of the application's own option table.
extern const char* const kUsage;

} // namespace zrcinfo

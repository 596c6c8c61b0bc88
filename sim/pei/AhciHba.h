#pragma once
// An AHCI host bus adapter at register level, as its driver sees it through ABAR: the global
// registers (CAP, GHC, IS, PI, VS) and eight ports (PxCLB to PxCI). A port's link follows PxSCTL
// (COMRESET, offline) and staggered spin-up; a command issue walks slot 0's command header, its
// command FIS and physical region descriptors, moves the data through the bus master's view of memory
// (the IOMMU once it is installed) and writes the D2H register FIS back to the received-FIS area.
//
// The drives are ATA or ATAPI devices made from the machine's "disks" entries (their one identity):
// IDENTIFY (DEVICE or PACKET) data, SET FEATURES, READ DMA, PACKET, and the trusted send, receive and
// non-data commands, which a security responder records and answers by echoing what the port was
// last sent. Fault kinds: "AhciHostReset" ({"stuck": true}: HR never clears) and "AhciCommand"
// (port, command; {"task_file_error": true} with an optional ATA "error" byte, {"interface_error":
// true}, {"no_completion": true}, and with the latter {"late": true}: the command completes, its data
// moved, at the next write to the port's registers that leaves its command engine running).
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/pei/PciBus.h"

namespace sim::pei {

class AhciHba {
public:
    static constexpr unsigned kPorts = 8;
    static constexpr uint32_t kAtaSignature = 0x00000101;
    static constexpr uint32_t kAtapiSignature = 0xEB140101;

    struct Drive {
        bool atapi = false;
        // IDENTIFY DEVICE (or PACKET DEVICE) data.
        std::vector<uint8_t> identify;
        // The drive answers IDENTIFY with "response incomplete" until it spins up.
        bool needsSpinUp = false;
        // Whether SET FEATURES spin-up does it; READ DMA always does.
        bool spinUpBySetFeatures = true;
        // SET FEATURES transfer mode: the count last given (0: none).
        uint8_t transferMode = 0;
    };

    struct Port {
        std::optional<Drive> drive;
        uint32_t clb = 0, clbu = 0, fb = 0, fbu = 0, is = 0, ie = 0, cmd = 0, tfd = 0x7F, sig = 0xFFFFFFFF,
                 ssts = 0, sctl = 0, serr = 0, ci = 0;
        // The mechanical presence switch: attached (PxCMD.MPSP), and the tray open (PxCMD.MPSS).
        bool switchAttached = false, trayOpen = false;
        // Data sent with the last trusted send, echoed by trusted receives.
        std::vector<uint8_t> securityData;
        // A command that completes late (see the fault kinds).
        bool latePending = false;
    };

    // One command as the device took it: its register FIS and the bytes its PRD covered.
    struct Command {
        unsigned port;
        std::array<uint8_t, 20> fis;
        uint32_t bytes;
    };
    // One security protocol command as the responder took it.
    struct SecurityCommand {
        unsigned port;
        // 0x5C receive, 0x5E send, 0x5B non-data.
        uint8_t command;
        uint8_t protocol;
        uint16_t specific;
        uint32_t bytes;
        bool receive;
    };

    uint32_t cap = 0x40000000 | (kPorts - 1);
    uint32_t ghc = 0x80000000;
    uint32_t is = 0;
    uint32_t pi = 0;
    uint32_t vs = 0x00010301;
    std::array<Port, kPorts> ports;

    std::vector<Command> commands;
    std::vector<SecurityCommand> security;
    // Host resets asked for (GHC.HR written).
    unsigned hostResets = 0;

    uint32_t Read(uint32_t offset);
    void Write(uint32_t offset, uint32_t value);

    // The link as the drive's presence makes it: up with the drive's signature, or down.
    void LinkUp(unsigned port);

private:
    void HostReset();
    void WritePort(unsigned port, uint32_t reg, uint32_t value);
    void WritePortRegister(unsigned port, uint32_t reg, uint32_t value);
    void Issue(unsigned port);
    void Complete(unsigned port, bool late);
    bool stuckReset_ = false;
};

} // namespace sim::pei

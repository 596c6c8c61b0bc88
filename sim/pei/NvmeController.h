#pragma once
// An NVMe controller at register level: CAP, VS, CC, CSTS (ready a set time after CC.EN changes, on
// the virtual time-stamp counter), AQA, ASQ, ACQ and the doorbells from 0x1000 with the stride of
// CAP.DSTRD. A submission tail doorbell fetches the new entries, carries each out with its data moved
// through PRP1 and PRP2 (a transfer past two pages takes PRP2 as a list, as a controller would), and
// posts its completion with the queue's phase tag.
//
// Admin commands: Identify (controller and namespace, from the disk's one identity), Create I/O
// Completion and Submission Queue, Get and Set Features of feature 0x80 (a boot progress marker),
// and Security Send and Receive, which a security responder records and answers by echoing what the
// controller was last sent. Another opcode completes with Invalid Command Opcode. Fault kind
// "NvmeCommand" (queue, opcode): {"status": n} completes with that 11-bit status field,
// {"no_completion": true} posts nothing.
#include <array>
#include <cstdint>
#include <vector>

#include "sim/pei/PciBus.h"

namespace sim::pei {

class NvmeController : public MmioDevice {
public:
    struct Command {
        uint16_t queue;
        // The submission queue slot the entry was fetched from.
        uint16_t slot;
        std::array<uint32_t, 16> dw;
        uint8_t Opcode() const { return static_cast<uint8_t>(dw[0]); }
        uint64_t Prp1() const { return dw[6] | (uint64_t{dw[7]} << 32); }
        uint64_t Prp2() const { return dw[8] | (uint64_t{dw[9]} << 32); }
    };
    struct SecurityCommand {
        bool receive;
        uint8_t protocol;
        uint16_t specific;
        uint32_t bytes;
    };

    // CAP fields and timing.
    uint8_t timeout = 20; // CAP.TO, 500 ms units
    uint8_t doorbellStride = 0;
    uint8_t mpsMin = 0;
    uint64_t readyDelayUs = 1000;
    // Identify Controller data (4096 bytes) and the namespace's size in 512-byte blocks.
    std::vector<uint8_t> identify;
    uint64_t sectors = 0;
    uint32_t namespaces = 1;
    // Feature 0x80's value.
    uint8_t bootMarker = 0;

    std::vector<Command> commands;
    std::vector<SecurityCommand> security;
    std::vector<uint8_t> securityData;
    // I/O queue 1 as created (0 while none).
    uint64_t ioSubmissionBase = 0, ioCompletionBase = 0;

    uint64_t Read(uint64_t offset, unsigned bytes) override;
    void Write(uint64_t offset, unsigned bytes, uint64_t value) override;

    uint32_t cc = 0;

private:
    struct Queue {
        uint64_t base = 0;
        uint16_t entries = 0;
        uint16_t head = 0, tail = 0;
        uint8_t phase = 1;
        uint16_t completionQueue = 0;
    };
    uint64_t Cap() const;
    bool Ready() const;
    void Doorbell(uint32_t index, uint32_t value);
    void Run(uint16_t queue);
    void Post(uint16_t cq, uint16_t sq, uint16_t sqHead, uint16_t cid, uint32_t dw0, uint16_t status);
    uint16_t Execute(const Command& c, uint32_t& dw0);
    bool Transfer(const Command& c, std::vector<uint8_t>& data, bool toHost);
    void Reset();
    uint32_t aqa_ = 0;
    uint64_t asq_ = 0, acq_ = 0;
    // When CSTS.RDY follows CC.EN, in ticks.
    uint64_t readyAt_ = 0;
    std::array<Queue, 2> sq_{}, cq_{};
};

} // namespace sim::pei

#include "sim/pei/NvmeController.h"

#include <algorithm>
#include <cstring>

#include "sim/DescriptionValues.h"
#include "sim/Schema.h"
#include "sim/pei/PeiCall.h"
#include "sim/pei/PeiEnvironment.h"

namespace sim::pei {
namespace {

using namespace sim::schema;

const FaultKind kCommand("NvmeCommand", {"queue", "opcode"},
                         Object({{"status", Uint(0x7FF)}, {"no_completion", Bool()}}));

constexpr uint16_t kInvalidOpcode = 0x001;
constexpr uint16_t kInvalidField = 0x002;
constexpr uint16_t kInvalidQueue = 0x101;

Environment& Env() {
    return Environment::Current();
}

} // namespace

uint64_t NvmeController::Cap() const {
    // MQES 1 (two entries per queue is all the model needs to be given), contiguous queues required,
    // NVM command set, MPSMAX = MPSMIN.
    const uint64_t stride = doorbellStride & 0xFu, mps = mpsMin & 0xFu;
    return 0x1 | (1u << 16) | (uint64_t{timeout} << 24) | (stride << 32) | (uint64_t{1} << 37) | (mps << 48) |
           (mps << 52);
}

bool NvmeController::Ready() const {
    const bool enabled = (cc & 1) != 0;
    return Env().tsc().Now() >= readyAt_ ? enabled : !enabled;
}

uint64_t NvmeController::Read(uint64_t offset, unsigned bytes) {
    uint64_t value = 0;
    switch (offset & ~3u) {
    case 0x00:
        value = Cap();
        break;
    case 0x04:
        value = Cap() >> 32;
        break;
    case 0x08:
        value = 0x00010400;
        break;
    case 0x14:
        value = cc;
        break;
    case 0x1C:
        value = Ready() ? 1 : 0;
        break;
    case 0x24:
        value = aqa_;
        break;
    case 0x28:
        value = asq_;
        break;
    case 0x2C:
        value = asq_ >> 32;
        break;
    case 0x30:
        value = acq_;
        break;
    case 0x34:
        value = acq_ >> 32;
        break;
    default:
        break;
    }
    return bytes == 8 && (offset & 4) == 0 ? value | (Read(offset + 4, 4) << 32) : value;
}

void NvmeController::Reset() {
    sq_ = {};
    cq_ = {};
    ioSubmissionBase = ioCompletionBase = 0;
}

void NvmeController::Write(uint64_t offset, unsigned bytes, uint64_t value) {
    if (bytes == 8) {
        Write(offset, 4, value & 0xFFFFFFFF);
        Write(offset + 4, 4, value >> 32);
        return;
    }
    const auto v = static_cast<uint32_t>(value);
    switch (offset) {
    case 0x14: {
        const bool was = (cc & 1) != 0;
        cc = v;
        if (was != ((v & 1) != 0)) {
            readyAt_ = Env().tsc().Now() + Env().tsc().MicrosecondsToTicks(readyDelayUs);
            Env().tsc().ScheduleEvent(readyAt_);
            if (v & 1) {
                sq_[0] = Queue{asq_, static_cast<uint16_t>((aqa_ & 0xFFF) + 1), 0, 0, 1, 0};
                cq_[0] = Queue{acq_, static_cast<uint16_t>(((aqa_ >> 16) & 0xFFF) + 1), 0, 0, 1, 0};
            } else {
                Reset();
            }
        }
        return;
    }
    case 0x24:
        aqa_ = v;
        return;
    case 0x28:
        asq_ = (asq_ & ~0xFFFFFFFFull) | (v & ~0xFFFu);
        return;
    case 0x2C:
        asq_ = (asq_ & 0xFFFFFFFF) | (uint64_t{v} << 32);
        return;
    case 0x30:
        acq_ = (acq_ & ~0xFFFFFFFFull) | (v & ~0xFFFu);
        return;
    case 0x34:
        acq_ = (acq_ & 0xFFFFFFFF) | (uint64_t{v} << 32);
        return;
    default:
        break;
    }
    const uint32_t stride = 4u << doorbellStride;
    if (offset >= 0x1000 && (offset - 0x1000) % stride == 0)
        Doorbell(static_cast<uint32_t>((offset - 0x1000) / stride), v);
}

void NvmeController::Doorbell(uint32_t index, uint32_t value) {
    const uint32_t queue = index / 2;
    if (queue >= sq_.size() || !(cc & 1) || !Ready())
        return;
    if (index % 2 == 1) {
        cq_[queue].head = static_cast<uint16_t>(value);
        return;
    }
    Queue& sq = sq_[queue];
    if (sq.entries == 0)
        return;
    sq.tail = static_cast<uint16_t>(value % sq.entries);
    Run(static_cast<uint16_t>(queue));
}

void NvmeController::Run(uint16_t queue) {
    Queue& sq = sq_[queue];
    while (sq.head != sq.tail) {
        Command c{queue, sq.head, {}};
        Env().DeviceRead(sq.base + uint64_t{sq.head} * 64, c.dw.data(), 64);
        sq.head = static_cast<uint16_t>((sq.head + 1) % sq.entries);
        commands.push_back(c);
        auto outcome = PeiCall("NvmeCommand", {{"queue", queue}, {"opcode", c.Opcode()}});
        if (outcome && DescFlag(*outcome, "no_completion"))
            continue;
        uint32_t dw0 = 0;
        uint16_t status = Execute(c, dw0);
        if (outcome && outcome->contains("status"))
            status = static_cast<uint16_t>(DescNumber(*outcome, "status"));
        Post(sq.completionQueue, queue, sq.head, static_cast<uint16_t>(c.dw[0] >> 16), dw0, status);
    }
}

void NvmeController::Post(uint16_t cqId, uint16_t sqId, uint16_t sqHead, uint16_t cid, uint32_t dw0,
                          uint16_t status) {
    Queue& cq = cq_[cqId];
    if (cq.entries == 0)
        return;
    const uint32_t entry[4] = {dw0, 0, sqHead | (uint32_t{sqId} << 16),
                               cid | (uint32_t{cq.phase} << 16) | (uint32_t{status & 0x7FFu} << 17)};
    Env().DeviceWrite(cq.base + uint64_t{cq.tail} * 16, entry, sizeof entry);
    cq.tail = static_cast<uint16_t>((cq.tail + 1) % cq.entries);
    if (cq.tail == 0)
        cq.phase ^= 1;
}

// PRP1, then PRP2 as the second page or, past two pages, as a list of further pages.
bool NvmeController::Transfer(const Command& c, std::vector<uint8_t>& data, bool toHost) {
    const uint64_t page = uint64_t{4096} << ((cc >> 7) & 0xF);
    std::vector<uint64_t> pages{c.Prp1()};
    const uint64_t first = page - (c.Prp1() % page);
    if (data.size() > first) {
        const uint64_t rest = data.size() - first;
        if (rest <= page) {
            pages.push_back(c.Prp2());
        } else {
            const size_t more = static_cast<size_t>((rest + page - 1) / page);
            std::vector<uint64_t> list(more);
            if (!Env().DeviceRead(c.Prp2(), list.data(), list.size() * 8))
                return false;
            pages.insert(pages.end(), list.begin(), list.end());
        }
    }
    size_t at = 0;
    for (size_t i = 0; i < pages.size() && at < data.size(); ++i) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(i == 0 ? first : page, data.size() - at));
        const bool ok = toHost ? Env().DeviceWrite(pages[i], data.data() + at, n)
                               : Env().DeviceRead(pages[i], data.data() + at, n);
        if (!ok)
            return false;
        at += n;
    }
    return true;
}

uint16_t NvmeController::Execute(const Command& c, uint32_t& dw0) {
    if (c.queue != 0)
        return kInvalidOpcode;
    const uint32_t cdw10 = c.dw[10], cdw11 = c.dw[11];
    switch (c.Opcode()) {
    case 0x06: { // Identify
        std::vector<uint8_t> data(4096, 0);
        if ((cdw10 & 0xFF) == 1) {
            data = identify;
            data.resize(4096, 0);
            std::memcpy(data.data() + 516, &namespaces, 4);
        } else if ((cdw10 & 0xFF) == 0) {
            if (c.dw[1] == 0 || c.dw[1] > namespaces)
                return kInvalidField;
            // Size, capacity and utilisation; one format of 512-byte blocks.
            for (size_t at : {size_t{0}, size_t{8}, size_t{16}})
                std::memcpy(data.data() + at, &sectors, 8);
            data[130] = 9;
        } else {
            return kInvalidField;
        }
        return Transfer(c, data, true) ? 0 : kInvalidField;
    }
    case 0x05:   // Create I/O Completion Queue
    case 0x01: { // Create I/O Submission Queue
        const uint16_t id = static_cast<uint16_t>(cdw10);
        if (id != 1)
            return kInvalidQueue;
        Queue q{c.Prp1(), static_cast<uint16_t>((cdw10 >> 16) + 1), 0, 0, 1, 0};
        if (c.Opcode() == 0x05) {
            cq_[1] = q;
            ioCompletionBase = q.base;
        } else {
            q.completionQueue = static_cast<uint16_t>(cdw11 >> 16);
            if (q.completionQueue != 1 || cq_[1].entries == 0)
                return kInvalidQueue;
            sq_[1] = q;
            ioSubmissionBase = q.base;
        }
        return 0;
    }
    case 0x0A: // Get Features
        if ((cdw10 & 0xFF) != 0x80)
            return kInvalidField;
        dw0 = bootMarker;
        return 0;
    case 0x09: // Set Features
        if ((cdw10 & 0xFF) != 0x80)
            return kInvalidField;
        bootMarker = static_cast<uint8_t>(cdw11);
        return 0;
    case 0x81:   // Security Send
    case 0x82: { // Security Receive
        const bool receive = c.Opcode() == 0x82;
        security.push_back(SecurityCommand{receive, static_cast<uint8_t>(cdw10 >> 24),
                                           static_cast<uint16_t>(cdw10 >> 8), cdw11});
        std::vector<uint8_t> data(cdw11, 0);
        if (!receive) {
            if (!Transfer(c, data, false))
                return kInvalidField;
            securityData = data;
            return 0;
        }
        std::copy_n(securityData.begin(), std::min(securityData.size(), data.size()), data.begin());
        return Transfer(c, data, true) ? 0 : kInvalidField;
    }
    default:
        return kInvalidOpcode;
    }
}

} // namespace sim::pei

#include "sim/pei/AhciHba.h"

#include <algorithm>
#include <cstring>

#include "sim/DescriptionValues.h"
#include "sim/Schema.h"
#include "sim/pei/PeiCall.h"
#include "sim/pei/PeiEnvironment.h"

namespace sim::pei {
namespace {

using namespace sim::schema;

const FaultKind kHostReset("AhciHostReset", {}, Object({{"stuck", Bool()}}));
const FaultKind kCommand("AhciCommand", {"port", "command"},
                         Object({{"task_file_error", Bool()},
                                 {"error", Uint8()},
                                 {"interface_error", Bool()},
                                 {"no_completion", Bool()},
                                 {"late", Bool()}}));

constexpr uint32_t kCmdSt = 1u << 0, kCmdSud = 1u << 1, kCmdFre = 1u << 4, kCmdMpss = 1u << 13,
                   kCmdFr = 1u << 14, kCmdCr = 1u << 15, kCmdMpsp = 1u << 19;
// What software may set in PxCMD: ST, SUD, POD, CLO, FRE, PMA, ATAPI, DLAE, ALPE, ASP, ICC.
constexpr uint32_t kCmdWritable = 0x1F | (1u << 17) | 0xFF000000u;
constexpr uint32_t kIsTfes = 1u << 30, kIsIfs = 1u << 27, kIsDhrs = 1u << 0;
constexpr uint8_t kStatusReady = 0x50, kStatusError = 0x51, kAbort = 0x04;

struct Prd {
    uint32_t address, bytes;
};

// What a drive gives back: status, error and the data of a data-in command.
struct Outcome {
    uint8_t status = kStatusReady;
    uint8_t error = 0;
    std::vector<uint8_t> data;
};

Outcome Abort() {
    return Outcome{kStatusError, kAbort, {}};
}

Environment& Env() {
    return Environment::Current();
}

// The bytes the PRDs cover, read from (host to device) or written to memory.
uint32_t Covered(const std::vector<Prd>& prds) {
    uint32_t total = 0;
    for (const Prd& p : prds)
        total += p.bytes;
    return total;
}

std::vector<uint8_t> Gather(const std::vector<Prd>& prds) {
    std::vector<uint8_t> data;
    for (const Prd& p : prds) {
        std::vector<uint8_t> part(p.bytes);
        Env().DeviceRead(p.address, part.data(), part.size());
        data.insert(data.end(), part.begin(), part.end());
    }
    return data;
}

void Scatter(const std::vector<Prd>& prds, const std::vector<uint8_t>& data) {
    size_t at = 0;
    for (const Prd& p : prds) {
        if (at >= data.size())
            break;
        const size_t n = std::min<size_t>(p.bytes, data.size() - at);
        Env().DeviceWrite(p.address, data.data() + at, n);
        at += n;
    }
}

struct Parsed {
    std::array<uint8_t, 20> fis{};
    std::vector<Prd> prds;
    bool hostToDevice = false;
    uint32_t fb = 0;
};

} // namespace

void AhciHba::LinkUp(unsigned port) {
    Port& p = ports[port];
    if (!p.drive) {
        p.ssts = 0;
        p.sig = 0xFFFFFFFF;
        p.tfd = 0x7F;
        return;
    }
    // Active, generation 2, device present with communication established.
    p.ssts = 0x123;
    p.sig = p.drive->atapi ? kAtapiSignature : kAtaSignature;
    p.tfd = p.drive->atapi ? 0x00 : kStatusReady;
    // The exchange of the link's first FIS is noted in PxSERR.DIAG.X.
    p.serr |= 1u << 26;
}

void AhciHba::HostReset() {
    ++hostResets;
    auto outcome = PeiCall("AhciHostReset", nlohmann::json::object());
    stuckReset_ = outcome && DescFlag(*outcome, "stuck");
    if (stuckReset_) {
        ghc |= 1;
        return;
    }
    ghc = 0x80000000;
    is = 0;
    for (Port& p : ports) {
        p.cmd &= ~(kCmdSt | kCmdFre);
        p.ci = 0;
        p.is = 0;
        p.latePending = false;
    }
}

uint32_t AhciHba::Read(uint32_t offset) {
    switch (offset) {
    case 0x00:
        return cap;
    case 0x04:
        return ghc;
    case 0x08:
        return is;
    case 0x0C:
        return pi;
    case 0x10:
        return vs;
    default:
        break;
    }
    if (offset < 0x100 || offset >= 0x100 + 0x80 * kPorts)
        return 0;
    const unsigned n = (offset - 0x100) / 0x80;
    Port& p = ports[n];
    switch ((offset - 0x100) % 0x80) {
    case 0x00:
        return p.clb;
    case 0x04:
        return p.clbu;
    case 0x08:
        return p.fb;
    case 0x0C:
        return p.fbu;
    case 0x10:
        return p.is;
    case 0x14:
        return p.ie;
    case 0x18:
        return p.cmd | ((p.cmd & kCmdSt) ? kCmdCr : 0) | ((p.cmd & kCmdFre) ? kCmdFr : 0) |
               (p.switchAttached ? kCmdMpsp : 0) | (p.trayOpen ? kCmdMpss : 0);
    case 0x20:
        return p.tfd;
    case 0x24:
        return p.sig;
    case 0x28:
        return p.ssts;
    case 0x2C:
        return p.sctl;
    case 0x30:
        return p.serr;
    case 0x38:
        return p.ci;
    default:
        return 0;
    }
}

void AhciHba::Write(uint32_t offset, uint32_t value) {
    switch (offset) {
    case 0x04:
        ghc = (value & 0x80000002u) | (ghc & 1);
        if (value & 1)
            HostReset();
        return;
    case 0x08:
        is &= ~value;
        return;
    default:
        break;
    }
    if (offset < 0x100 || offset >= 0x100 + 0x80 * kPorts)
        return;
    WritePort((offset - 0x100) / 0x80, (offset - 0x100) % 0x80, value);
}

void AhciHba::WritePort(unsigned n, uint32_t reg, uint32_t value) {
    Port& p = ports[n];
    const bool pending = p.latePending;
    WritePortRegister(n, reg, value);
    if (pending && p.latePending && (p.cmd & kCmdSt))
        Complete(n, true);
}

void AhciHba::WritePortRegister(unsigned n, uint32_t reg, uint32_t value) {
    Port& p = ports[n];
    switch (reg) {
    case 0x00:
        p.clb = value & ~0x3FFu;
        break;
    case 0x04:
        p.clbu = value;
        break;
    case 0x08:
        p.fb = value & ~0xFFu;
        break;
    case 0x0C:
        p.fbu = value;
        break;
    case 0x10:
        p.is &= ~value;
        break;
    case 0x14:
        p.ie = value;
        break;
    case 0x18: {
        const uint32_t before = p.cmd;
        p.cmd = value & kCmdWritable;
        // Clearing ST stops the engine: commands outstanding are dropped.
        if (!(p.cmd & kCmdSt)) {
            p.ci = 0;
            p.latePending = false;
        }
        if ((cap & (1u << 27)) && !(before & kCmdSud) && (p.cmd & kCmdSud))
            LinkUp(n);
        break;
    }
    case 0x2C: {
        const uint32_t before = p.sctl & 0xF;
        p.sctl = value;
        const uint32_t det = value & 0xF;
        if (det == 1)
            p.ssts = 0;
        else if (det == 4)
            p.ssts = 4;
        else if (det == 0 && before == 1)
            LinkUp(n);
        break;
    }
    case 0x30:
        p.serr &= ~value;
        break;
    case 0x38:
        p.ci |= value;
        if ((value & 1) && (p.cmd & kCmdSt))
            Issue(n);
        break;
    default:
        break;
    }
}

namespace {

// The command the port holds in slot 0, as the HBA fetches it.
Parsed Fetch(const AhciHba::Port& p) {
    Parsed c;
    uint32_t header[8] = {};
    Env().DeviceRead(p.clb, header, sizeof header);
    c.hostToDevice = (header[0] & (1u << 6)) != 0;
    const uint32_t prdtl = header[0] >> 16;
    const uint32_t table = header[2] & ~0x7Fu;
    std::vector<uint8_t> bytes(0x80 + 16 * size_t{prdtl});
    Env().DeviceRead(table, bytes.data(), bytes.size());
    std::copy_n(bytes.begin(), c.fis.size(), c.fis.begin());
    for (uint32_t i = 0; i < prdtl; ++i) {
        uint32_t entry[4];
        std::memcpy(entry, bytes.data() + 0x80 + 16 * i, sizeof entry);
        c.prds.push_back(Prd{entry[0], (entry[3] & 0x3FFFFF) + 1});
    }
    c.fb = p.fb;
    return c;
}

} // namespace

void AhciHba::Issue(unsigned n) {
    Port& p = ports[n];
    Parsed c = Fetch(p);
    const uint8_t command = c.fis[2];
    auto outcome = PeiCall("AhciCommand", {{"port", n}, {"command", command}});
    commands.push_back(Command{n, c.fis, Covered(c.prds)});
    if (outcome && DescFlag(*outcome, "no_completion")) {
        if (DescFlag(*outcome, "late"))
            p.latePending = true;
        return;
    }
    if (outcome && DescFlag(*outcome, "interface_error")) {
        p.is |= kIsIfs;
        p.tfd = kStatusError | (kAbort << 8);
        return;
    }
    if (outcome && DescFlag(*outcome, "task_file_error")) {
        p.is |= kIsTfes;
        p.tfd = kStatusError | (static_cast<uint32_t>(DescNumber(*outcome, "error", kAbort)) << 8);
        return;
    }
    Complete(n, false);
}

void AhciHba::Complete(unsigned n, bool late) {
    Port& p = ports[n];
    p.latePending = false;
    Parsed c = Fetch(p);
    if (late && !commands.empty())
        c.fis = commands.back().fis;
    const uint8_t command = c.fis[2];
    Outcome out;
    if (!p.drive) {
        out = Abort();
    } else {
        Drive& d = *p.drive;
        switch (command) {
        case 0xEC: // IDENTIFY DEVICE
        case 0xA1: // IDENTIFY PACKET DEVICE
            if (d.atapi != (command == 0xA1)) {
                out = Abort();
                break;
            }
            out.data = d.identify;
            if (d.needsSpinUp && out.data.size() >= 2)
                out.data[0] |= 0x04;
            break;
        case 0xEF: // SET FEATURES
            if (c.fis[3] == 0x07 && d.spinUpBySetFeatures)
                d.needsSpinUp = false;
            else if (c.fis[3] == 0x07)
                out = Abort();
            else if (c.fis[3] == 0x03)
                d.transferMode = c.fis[12];
            break;
        case 0xC8: // READ DMA: the disk's sectors read as zeros here.
            d.needsSpinUp = false;
            out.data.assign(size_t{c.fis[12] ? c.fis[12] : 256u} * 512, 0);
            break;
        case 0xA0: // PACKET
            if (!d.atapi)
                out = Abort();
            break;
        case 0x5C: // TRUSTED RECEIVE
        case 0x5E: // TRUSTED SEND
        case 0x5B: // TRUSTED NON-DATA
        {
            if (d.atapi) {
                out = Abort();
                break;
            }
            const uint32_t blocks = command == 0x5B ? 0 : (c.fis[12] | (uint32_t{c.fis[4]} << 8));
            const uint16_t specific = static_cast<uint16_t>(c.fis[5] | (c.fis[6] << 8));
            const bool receive = command == 0x5C || (command == 0x5B && (c.fis[7] & 1));
            security.push_back(SecurityCommand{n, command, c.fis[3], specific, blocks * 512, receive});
            if (command == 0x5E) {
                p.securityData = Gather(c.prds);
                p.securityData.resize(std::min<size_t>(p.securityData.size(), blocks * 512));
            } else if (command == 0x5C) {
                out.data = p.securityData;
                out.data.resize(blocks * 512, 0);
            }
            break;
        }
        default:
            out = Abort();
            break;
        }
    }
    if (!c.hostToDevice && !out.data.empty())
        Scatter(c.prds, out.data);
    std::array<uint8_t, 20> d2h{};
    d2h[0] = 0x34;
    d2h[1] = 0x40;
    d2h[2] = out.status;
    d2h[3] = out.error;
    for (size_t i = 4; i <= 13; ++i)
        d2h[i] = c.fis[i];
    d2h[11] = 0;
    Env().DeviceWrite(c.fb + 0x40, d2h.data(), d2h.size());
    p.tfd = out.status | (uint32_t{out.error} << 8);
    if (out.status & 0x01) {
        p.is |= kIsTfes;
        return;
    }
    p.ci &= ~1u;
    p.is |= kIsDhrs;
}

} // namespace sim::pei

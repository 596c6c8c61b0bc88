// The volume port of the simulated RAID driver (signature "OrvexVlp"): cache-memory pairing of a
// fast and a slow disk of the RAID disk table, its migration over time, pairing information, the
// disk list, performance counters, validity checks, metadata clearing, and the shared events the
// driver signals when its configuration changes. State: the adapter's "volume_port" section.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/win/WinError.h"
#include "sim/devio/Bytes.h"
#include "sim/devio/Lookup.h"
#include "sim/driver/DriverEvents.h"
#include "sim/driver/RaidState.h"
#include "sim/driver/VolumePortLayout.h"

namespace sim::driver {
namespace {

using devio::ByteReader;
using devio::ByteWriter;
using devio::DriverAnswer;
using devio::DriverRequest;
using namespace volume_port;

enum Code : uint32_t {
    kConcatenate = 0x80000D01,
    kMigrationStatus = 0x80000D02,
    kSeparate = 0x80000D04,
    kGetInfo = 0x80000D06,
    kResetCounters = 0x80000D07,
    kGetCounters = 0x80000D08,
    kPairValid = 0x80000D09,
    kClearMetadata = 0x80000D0A,
    kDisksInfo = 0x80000D0B,
    kPlatformSupported = 0x80000D12,
    kRegisterEvent = 0x80000D13,
    kEventStatus = 0x80000D14,
    kDiskValid = 0x80000D16,
    kGetInfoExt = 0x80000D18,
    kFileCacheSupported = 0x80000D20,
};

// A pairing made or undone changes the volumes, disks and arrays the driver shows besides the pairing.
// The driver's number of the block cache's performance mode.
constexpr int64_t kPerformanceMode = 5;

constexpr uint64_t kPairingChange =
    kEventFlagPairing | kEventFlagVolumes | kEventFlagDisks | kEventFlagArrays;

json& Port(json& adapter) {
    json& vp = adapter["volume_port"];
    if (!vp.is_object())
        vp = json::object();
    return vp;
}

// A disk id is the address word without its port byte.
uint32_t DiskId(const json& disk) {
    return static_cast<uint32_t>((Num(disk, "path", 0) & 0xFF) << 16 | (Num(disk, "target", 0) & 0xFF) << 8 |
                                 (Num(disk, "lun", 0) & 0xFF));
}

// The index of the RAID table's disk with this id, -1 when none.
int64_t FindDisk(const json& raid, uint32_t id) {
    const json& disks = Table(raid, "disks");
    for (size_t i = 0; i < disks.size(); ++i)
        if (DiskId(disks[i]) == (id & 0xFFFFFF))
            return static_cast<int64_t>(i);
    return -1;
}

// The index of the RAID table's volume whose address (path 7 unless it gives its own, target its
// index unless it gives its own) is this id, -1 when none.
int64_t FindVolume(const json& raid, uint32_t id) {
    const json& volumes = Table(raid, "volumes");
    for (size_t i = 0; i < volumes.size(); ++i) {
        const auto path = static_cast<uint32_t>(Num(volumes[i], "path", 7));
        const auto target = static_cast<uint32_t>(Num(volumes[i], "target", static_cast<int64_t>(i)));
        if (((path & 0xFF) << 16 | (target & 0xFF) << 8) == (id & 0xFFFFFF))
            return static_cast<int64_t>(i);
    }
    return -1;
}

// The first disk of the volume's array, -1 when none.
int64_t FirstMember(const json& raid, int64_t volume) {
    const int64_t array = Num(Table(raid, "volumes").at(volume), "array", -1);
    const json& arrays = Table(raid, "arrays");
    if (array < 0 || static_cast<size_t>(array) >= arrays.size())
        return -1;
    const json& members = Table(arrays.at(array), "disks");
    return members.empty() ? -1 : members.at(0).get<int64_t>();
}

bool Present(const json& disk) {
    const auto flags = static_cast<uint32_t>(Num(disk, "state_flags", 0x10));
    return (flags & 0x10) && !(flags & 0x2000000) && !(flags & 0x4);
}

uint64_t Bytes(const json& disk) {
    return DiskSectors(disk) * DiskSectorSize(disk);
}

// The check of one disk for a pair: 0 valid, 2 no such disk, 3 not a plain disk (a RAID member or a
// spare), 4 block size not 512, 5 too small, 6 wrong kind of disk for the role.
uint32_t DiskCheck(const json& raid, uint32_t id, bool fast) {
    const int64_t index = FindDisk(raid, id);
    if (index < 0 || !Present(Table(raid, "disks").at(index)))
        return 2;
    const json& disk = Table(raid, "disks").at(index);
    if (disk.contains("pairing_check"))
        return static_cast<uint32_t>(Num(disk, "pairing_check", 0));
    if (ArrayOfDisk(raid, index) >= 0 || disk.value("spare", false))
        return 3;
    if (DiskSectorSize(disk) != 512)
        return 4;
    if (Bytes(disk) < (uint64_t{16} << 30))
        return 5;
    if (fast != disk.value("solid_state", false))
        return 6;
    return 0;
}

// The check of a pair: 0 valid, 1 the same disk twice, 2 fast disk unsuitable, 3 slow disk
// unsuitable, 4 fast disk larger than the slow one.
uint32_t PairCheck(const json& raid, uint32_t fast, uint32_t slow) {
    if ((fast & 0xFFFFFF) == (slow & 0xFFFFFF))
        return 1;
    if (DiskCheck(raid, fast, true) != 0)
        return 2;
    if (DiskCheck(raid, slow, false) != 0)
        return 3;
    const json& disks = Table(raid, "disks");
    if (Bytes(disks.at(FindDisk(raid, fast))) > Bytes(disks.at(FindDisk(raid, slow))))
        return 4;
    return 0;
}

// The check of a pair whose fast disk already carries the data volume: as PairCheck, the fast
// disk's membership of its own array aside.
uint32_t MemberPairCheck(const json& raid, uint32_t fast, uint32_t slow) {
    const int64_t index = FindDisk(raid, fast);
    if (index < 0 || !Present(Table(raid, "disks").at(index)))
        return 2;
    if ((fast & 0xFFFFFF) == (slow & 0xFFFFFF))
        return 1;
    if (!Table(raid, "disks").at(index).value("solid_state", false))
        return 2;
    if (DiskCheck(raid, slow, false) != 0)
        return 3;
    const json& disks = Table(raid, "disks");
    if (Bytes(disks.at(index)) > Bytes(disks.at(FindDisk(raid, slow))))
        return 4;
    return 0;
}

// Migration after a concatenation: percent done, 100 when none runs.
int32_t MigrationPercent(const json& vp, uint64_t now) {
    auto it = vp.find("migration");
    if (it == vp.end() || !it->is_object())
        return vp.value("enabled", false) ? 100 : 0;
    if (it->contains("progress") && !it->contains("start_ms"))
        return static_cast<int32_t>(Num(*it, "progress", 0));
    const auto start = static_cast<uint64_t>(Num(*it, "start_ms", static_cast<int64_t>(now)));
    const auto duration = static_cast<uint64_t>(Num(*it, "duration_ms", 60000));
    const uint64_t elapsed = now > start ? now - start : 0;
    return duration == 0 ? 100 : static_cast<int32_t>(std::min<uint64_t>(elapsed * 100 / duration, 100));
}

bool MigrationRunning(const json& vp, uint64_t now) {
    return vp.contains("migration") && MigrationPercent(vp, now) < 100;
}

// Joined: enabled, and not separated yet. A separation migrates the blocks back and then dissolves
// the pair, unless the description keeps it ("stays_paired", a driver that fails to let go).
bool Paired(const json& vp, uint64_t now) {
    if (!vp.value("enabled", false))
        return false;
    return !vp.value("separating", false) || MigrationRunning(vp, now) || vp.value("stays_paired", false);
}

// The pairing information's migration type: for a migration a request started, 1 while the blocks
// move into the pair, 2 while they move back out of it, 3 after; else as described (0 by default).
uint32_t MigrationType(const json& vp, uint64_t now) {
    auto it = vp.find("migration");
    if (it == vp.end() || !it->is_object() || !it->contains("start_ms"))
        return static_cast<uint32_t>(Num(vp, "migration_type", 0));
    if (!MigrationRunning(vp, now))
        return 3;
    return vp.value("separating", false) ? 2 : 1;
}

DriverAnswer Handle(DriverRequest& r) {
    const uint32_t code = r.srb->controlCode;
    const bool writes = code == kConcatenate || code == kSeparate || code == kResetCounters ||
                        code == kClearMetadata || code == kRegisterEvent;
    return RunOnController(
        r.port, writes, [&](const json& state, json& adapter, uint64_t now, Announcements& out) {
            ByteReader in(r.buffer);
            ByteWriter w(r.buffer);
            json& vp = Port(adapter);
            const RaidView view(state, RaidOf(adapter));
            const json& raid = *view;
            const json& disks = Table(raid, "disks");
            uint32_t rc = 0;
            switch (code) {
            case kPlatformSupported:
                rc = vp.value("supported", true) ? 1 : 0;
                w.U32(platform_supported::kPlatformSupport,
                      static_cast<uint64_t>(Num(vp, "platform_word", 0)));
                break;
            case kConcatenate: {
                // The first word names the pair's data volume on the fast disk (or, from older
                // hosts, the fast disk itself); the fast disk is then the volume's array's disk.
                uint32_t fast = in.U32(concatenate::kFastDiskId);
                const int64_t dataVolume = FindVolume(raid, fast);
                if (dataVolume >= 0) {
                    const int64_t member = FirstMember(raid, dataVolume);
                    fast = member >= 0 ? DiskId(disks.at(member)) : 0xFFFFFFFF;
                }
                const uint32_t slow = in.U32(concatenate::kSlowDiskId);
                // In sectors of the slow disk.
                const uint64_t cacheSize = in.U64(concatenate::kFileCacheSize);
                if (!vp.value("supported", true))
                    rc = 3;
                else if (Paired(vp, now))
                    rc = 4;
                else if (dataVolume >= 0 ? MemberPairCheck(raid, fast, slow) != 0
                                         : PairCheck(raid, fast, slow) != 0)
                    rc = 1;
                else if (cacheSize * DiskSectorSize(disks.at(FindDisk(raid, slow))) >
                         Bytes(disks.at(FindDisk(raid, fast))))
                    rc = 6;
                if (rc != 0)
                    break;
                const json& slowDisk = disks.at(FindDisk(raid, slow));
                vp["enabled"] = true;
                vp.erase("separating");
                vp["fast"] = fast & 0xFFFFFF;
                vp["slow"] = slow & 0xFFFFFF;
                if (dataVolume >= 0)
                    vp["data_volume"] = dataVolume;
                vp["block_size"] = DiskSectorSize(slowDisk);
                vp["block_count"] = DiskSectors(slowDisk);
                vp["file_cache_offset"] = in.U64(concatenate::kFileCacheOffset);
                vp["file_cache_blocks"] = cacheSize;
                vp["mode"] = in.U32(concatenate::kMode);
                vp["data_location"] = in.U32(concatenate::kDataLocation);
                vp["migration"] = {{"start_ms", now}, {"duration_ms", Num(vp, "migration_ms", 60000)}};
                // The block cache accelerates the data volume in performance mode from the pairing on.
                if (dataVolume >= 0) {
                    json& cache = Raid(adapter)["nv_cache"];
                    if (cache.is_object()) {
                        cache["mode"] = kPerformanceMode;
                        cache["accelerated_volume"] = dataVolume;
                    }
                }
                Announce(adapter, out, kPairingChange);
                break;
            }
            case kSeparate:
                // A pair already separating has nothing left to separate.
                if (!Paired(vp, now) || vp.value("separating", false))
                    rc = 1;
                else if (MigrationRunning(vp, now))
                    rc = 2;
                else {
                    vp["separating"] = true;
                    vp["migration"] = {{"start_ms", now}, {"duration_ms", Num(vp, "migration_ms", 60000)}};
                    // A driver that logged an error while it separated says so with its event.
                    Announce(adapter, out,
                             kPairingChange |
                                 (vp.value("separation_error_event", false) ? kEventFlagOther : 0));
                }
                break;
            case kMigrationStatus:
                w.U32(migration_status::kProgress, static_cast<uint32_t>(MigrationPercent(vp, now)));
                break;
            case kGetInfo: {
                const bool enabled = Paired(vp, now);
                using namespace pairing_info;
                w.U64(kBlockCount, static_cast<uint64_t>(Num(vp, "block_count", 0)));
                w.U64(kFileCacheBlocks, static_cast<uint64_t>(Num(vp, "file_cache_blocks", 0)));
                w.U32(kBlockSize, static_cast<uint64_t>(Num(vp, "block_size", 512)));
                w.U32(kPhysicalBlockSize, static_cast<uint64_t>(Num(vp, "physical_block_size", 4096)));
                w.U32(kPairType, enabled ? 1 : 0);
                w.U32(kPairState, enabled ? static_cast<uint64_t>(Num(vp, "state_word", 1)) : 0);
                if (enabled)
                    w.U32(kMigrationType, MigrationType(vp, now));
                w.U32(kFastDiskId, enabled ? static_cast<uint64_t>(Num(vp, "fast", 0)) : 0);
                w.U32(kSlowDiskId, enabled ? static_cast<uint64_t>(Num(vp, "slow", 0)) : 0);
                w.U8(kVolumeOnSlowDisk, static_cast<uint64_t>(Num(vp, "volume_on_slow", enabled ? 1 : 0)));
                break;
            }
            case kGetInfoExt:
                w.U32(pairing_info_ext::kKind, static_cast<uint64_t>(Num(vp, "ext_kind", 1)));
                w.U32(pairing_info_ext::kValue,
                      static_cast<uint64_t>(Num(vp, "volume_address", Num(vp, "slow", 0))));
                break;
            case kResetCounters:
                vp["counters"] = json::array();
                break;
            case kGetCounters: {
                const json& counters = Table(vp, "counters");
                for (size_t i = 0; i < performance_counters::kCount && i < counters.size(); ++i)
                    w.U64(performance_counters::kCounters + 8 * i, DescValue(counters.at(i)));
                break;
            }
            case kPairValid:
                rc = PairCheck(raid, in.U32(pair_valid::kFastDiskId), in.U32(pair_valid::kSlowDiskId));
                break;
            case kDiskValid: {
                const uint32_t check =
                    DiskCheck(raid, in.U32(disk_valid::kDiskId), in.U32(disk_valid::kMember) == 0);
                // The driver's own codes: 2 no such volume, 3 not a disk, 4 block size, 5 too small,
                // 6 disk type.
                rc = check;
                break;
            }
            case kFileCacheSupported:
                w.U32(file_cache_supported::kResult,
                      static_cast<uint64_t>(Num(vp, "file_cache_supported", 1)));
                break;
            case kClearMetadata: {
                const int64_t index = FindDisk(raid, in.U32(clear_metadata::kDiskId));
                const uint32_t id = in.U32(clear_metadata::kDiskId) & 0xFFFFFF;
                if (index < 0)
                    rc = 1;
                else if (Paired(vp, now) && (Num(vp, "fast", -1) == id || Num(vp, "slow", -1) == id))
                    rc = 2;
                else {
                    json& d = Raid(adapter)["disks"][index];
                    d["claimed"] = false;
                    d["spare"] = false;
                    Announce(adapter, out);
                }
                break;
            }
            case kDisksInfo: {
                // Every present disk outside the RAID arrays is a pairing candidate.
                std::vector<size_t> listed;
                for (size_t i = 0; i < disks.size(); ++i)
                    if (Present(disks[i]) && ArrayOfDisk(raid, i) < 0)
                        listed.push_back(i);
                using namespace disks_info;
                const size_t room =
                    r.buffer.size() > kRecords ? (r.buffer.size() - kRecords) / kRecordSize : 0;
                const size_t asked = std::min<size_t>(in.U8(kNumberOfDisks), room);
                if (asked < listed.size()) {
                    w.U8(kNumberOfDisks, std::min<size_t>(listed.size(), 255));
                    rc = 1;
                    break;
                }
                for (size_t k = 0; k < listed.size(); ++k) {
                    const json& d = disks[listed[k]];
                    const size_t at = kRecords + kRecordSize * k;
                    w.U32(at + kDiskId, DiskId(d));
                    w.U64(at + kBytes, Bytes(d));
                    // Only the members of the pairing have a kind; a candidate has none, so the
                    // host does not take a lone drive for an array member.
                    const int64_t id = DiskId(d);
                    const bool member =
                        Paired(vp, now) && (Num(vp, "fast", -1) == id || Num(vp, "slow", -1) == id);
                    const int64_t kind = member ? (d.value("solid_state", false) ? 2 : 1) : 0;
                    w.U8(at + kPairKind, static_cast<uint64_t>(Num(d, "pairing_type", kind)));
                    w.CString(at + kSerial, d.value("serial", std::string()).substr(0, kSerialLength));
                }
                w.U8(kNumberOfDisks, listed.size());
                break;
            }
            case kRegisterEvent: {
                const std::string name = in.Text(shared_event::kName, shared_event::kNameLength);
                json& events = vp["events"];
                if (!events.is_array())
                    events = json::array();
                if (!name.empty() && std::find(events.begin(), events.end(), name) == events.end())
                    events.push_back(name);
                break;
            }
            case kEventStatus:
                w.U64(event_status::kEventCounter, static_cast<uint64_t>(Num(vp, "event_counter", 0)));
                w.U64(event_status::kValue, static_cast<uint64_t>(Num(vp, "event_value", 0)));
                break;
            default:
                return DriverAnswer{ERROR_INVALID_FUNCTION, 0};
            }
            r.SetReturnCode(rc);
            return DriverAnswer{};
        });
}

} // namespace

void RegisterVolumePortFamily(devio::DriverDispatch& dispatch) {
    for (uint32_t code : {kConcatenate, kMigrationStatus, kSeparate, kGetInfo, kResetCounters, kGetCounters,
                          kPairValid, kClearMetadata, kDisksInfo, kPlatformSupported, kRegisterEvent,
                          kEventStatus, kDiskValid, kGetInfoExt, kFileCacheSupported})
        dispatch.AddMiniport(devio::kRaidDriver, kVolumePortSignature, code, Handle);
}

} // namespace sim::driver

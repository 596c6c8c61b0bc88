// Sequences of exported C calls decoded from the input, on the shipped machine the input's first byte
// chooses: each call's arguments come from the input, a handle either from the handles earlier calls
// gave out or as a raw number. Every outcome is an answer; only a crash or a sanitizer report is a
// finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "middleware/api/UviApi.h"
#include "middleware/api/UviArrayRecords.h"
#include "middleware/api/UviCacheOperations.h"
#include "middleware/api/UviControllerRecords.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/api/UviDiskOperations.h"
#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/UviHybridRecords.h"
#include "middleware/api/UviNvcRecords.h"
#include "middleware/api/UviOperations.h"
#include "middleware/api/UviPhyRecords.h"
#include "middleware/api/UviRaidRecords.h"
#include "middleware/api/UviStatisticsRecords.h"
#include "middleware/api/UviSystemRecords.h"
#include "middleware/api/UviVezkRecords.h"
#include "middleware/api/UviVolumeCreation.h"
#include "middleware/api/UviVolumeOperations.h"
#include "middleware/api/UviVolumeRecords.h"

namespace {

struct Calls {
    moxfuzz::Input& in;
    std::vector<uint32_t> handles;
    std::vector<unsigned> sessions;

    uint32_t Handle() {
        const uint8_t pick = in.U8();
        if (pick < 0xF0 && !handles.empty())
            return handles[pick % handles.size()];
        return in.U32();
    }
    unsigned Session() {
        const uint8_t pick = in.U8();
        if (pick < 0xF0 && !sessions.empty())
            return sessions[pick % sessions.size()];
        return in.U32();
    }
    template <class Get> void List(Get get) {
        uint32_t list[64] = {};
        uint32_t count = in.U8() % 65;
        get(list, &count);
        for (uint32_t i = 0; i < count && i < 64; ++i)
            handles.push_back(list[i]);
    }
    void Name(char* name, size_t size) {
        std::memset(name, 0, size);
        const size_t length = in.U8() % size;
        for (size_t i = 0; i < length; ++i)
            name[i] = static_cast<char>(in.U8());
    }
    std::vector<uint32_t> HandleList() {
        std::vector<uint32_t> list(in.U8() % 9);
        for (auto& h : list)
            h = Handle();
        return list;
    }
};

// Records big enough for any of the calls' records.
union Record {
    uint8_t bytes[8192];
    _UVI_EventRecord event;
};

using Call = std::function<void(Calls&)>;

const std::vector<Call>& Table() {
    static const std::vector<Call> table = {
        [](Calls&) { UviInitialize(); },
        [](Calls&) { UviFinalize(); },
        [](Calls& c) {
            unsigned s = 0;
            if (UviSessionOpen(&s).status == 0)
                c.sessions.push_back(s);
        },
        [](Calls& c) { UviSessionClose(c.Session()); },
        [](Calls& c) {
            c.List([&](uint32_t* l, uint32_t* n) { UviGetControllerHandles(c.Session(), l, n); });
        },
        [](Calls& c) {
            c.List([&](uint32_t* l, uint32_t* n) { UviGetThirdPartyControllerHandles(c.Session(), l, n); });
        },
        [](Calls& c) { c.List([&](uint32_t* l, uint32_t* n) { UviGetRaidInfoHandles(c.Session(), l, n); }); },
        [](Calls& c) {
            c.List([&](uint32_t* l, uint32_t* n) { UviGetEndDeviceHandles(c.Session(), l, n); });
        },
        [](Calls& c) {
            c.List([&](uint32_t* l, uint32_t* n) { UviGetThirdPartyEndDeviceHandles(c.Session(), l, n); });
        },
        [](Calls& c) { c.List([&](uint32_t* l, uint32_t* n) { UviGetArrayHandles(c.Session(), l, n); }); },
        [](Calls& c) {
            const unsigned s = c.Session();
            const uint32_t controller = c.Handle();
            c.List(
                [&](uint32_t* l, uint32_t* n) { UviGetArrayHandlesByControllerHandle(s, controller, l, n); });
        },
        [](Calls& c) { c.List([&](uint32_t* l, uint32_t* n) { UviGetVolumeHandles(c.Session(), l, n); }); },
        [](Calls& c) { c.List([&](uint32_t* l, uint32_t* n) { UviGetPhyHandles(c.Session(), l, n); }); },
        [](Calls& c) { c.List([&](uint32_t* l, uint32_t* n) { UviGetVezkHandles(c.Session(), l, n); }); },
        [](Calls& c) {
            c.List([&](uint32_t* l, uint32_t* n) { UviGetVezkDiskPairHandles(c.Session(), l, n); });
        },
        [](Calls& c) {
            Record r;
            UviGetControllerInfo(c.Session(), c.Handle(), reinterpret_cast<_UVI_ControllerInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetThirdPartyControllerInfo(c.Session(), c.Handle(),
                                           reinterpret_cast<_UVI_ThirdPartyControllerInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetRaidInfo(c.Session(), c.Handle(), reinterpret_cast<_UVI_RaidInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            const unsigned s = c.Session();
            const uint32_t h = c.Handle();
            UviGetRaidLevelInfo(s, h, c.in.U32(), reinterpret_cast<_UVI_RaidLevelInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetNvcInfo(c.Session(), c.Handle(), reinterpret_cast<_UVI_NvcInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetEndDeviceInfo(c.Session(), c.Handle(), reinterpret_cast<_UVI_EndDeviceInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetThirdPartyEndDeviceInfo(c.Session(), c.Handle(),
                                          reinterpret_cast<_UVI_ThirdPartyEndDeviceInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetDiskIdentifyData(c.Session(), c.Handle(), reinterpret_cast<_UVI_DiskIdentifyData*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetZpoddInfo(c.Session(), c.Handle(), reinterpret_cast<_UVI_ZpoddInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetArrayInfo(c.Session(), c.Handle(), reinterpret_cast<_UVI_ArrayInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetVolumeInfo(c.Session(), c.Handle(), reinterpret_cast<_UVI_VolumeInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetPhyInfo(c.Session(), c.Handle(), reinterpret_cast<UVI_PhyInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetVezkInfo(c.Session(), c.Handle(), reinterpret_cast<_UVI_VezkInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetVezkDiskPairInfo(c.Session(), c.Handle(), reinterpret_cast<_UVI_VezkDiskPairInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            const unsigned s = c.Session();
            UviGetSystemInfo(s, c.in.U32(), reinterpret_cast<_UVI_SystemInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetNvCacheStatInfo(c.Session(), reinterpret_cast<NvCacheStatInfo*>(&r));
        },
        [](Calls& c) {
            Record r;
            UviGetVolportPerformanceCounters(c.Session(),
                                             reinterpret_cast<_UVI_VolportPerformanceCounters*>(&r));
        },
        [](Calls& c) { UviDiskClaim(c.Handle()); },
        [](Calls& c) { UviDiskClearMetadata(c.Handle()); },
        [](Calls& c) { UviDiskMarkAsFailed(c.Handle()); },
        [](Calls& c) { UviDiskMarkAsNormal(c.Handle()); },
        [](Calls& c) { UviDiskMarkAsSpare(c.Handle()); },
        [](Calls& c) { UviDiskUnmarkAsSpare(c.Handle()); },
        [](Calls& c) { UviDiskMarkOffline(c.Handle()); },
        [](Calls& c) { UviDiskMarkOnline(c.Handle()); },
        [](Calls& c) { UviDiskSetSmartEvent(c.Handle()); },
        [](Calls& c) { UviDiskResetSmartEvent(c.Handle()); },
        [](Calls& c) {
            _UVI_DiskUnlockInfo info{};
            const uint32_t disk = c.Handle();
            c.Name(reinterpret_cast<char*>(&info), sizeof info);
            UviDiskUnlock(disk, &info);
        },
        [](Calls&) { UviRescan(); },
        [](Calls&) { UviRefreshPartitionInfo(); },
        [](Calls& c) { UviDiskSetCacheMode(c.Handle(), static_cast<_UVI_NvcMode>(c.in.U8() % 8)); },
        [](Calls& c) { UviVolumeSetCacheMode(c.Handle(), static_cast<_UVI_NvcMode>(c.in.U8() % 8)); },
        [](Calls& c) { UviDiskDestroyCache(c.Handle()); },
        [](Calls& c) { UviVolumeDestroyCache(c.Handle()); },
        [](Calls& c) { UviNvcDisassociate(c.Handle()); },
        [](Calls& c) {
            _UVI_VolumeCreateParams p{};
            p.arrayHandle = c.Handle();
            c.Name(p.name, sizeof p.name);
            p.stripSize = c.in.U32();
            p.raidLevel = c.in.U32();
            p.sizeInBytes = c.in.U8() ? 0 : c.in.U32();
            UviVolumeCreate(&p);
        },
        [](Calls& c) {
            const std::vector<uint32_t> disks = c.HandleList();
            _UVI_VolumeCreateFromDisksParams p{};
            p.diskHandles = disks.data();
            p.diskCount = static_cast<uint32_t>(disks.size());
            p.sourceDiskHandle = c.in.U8() ? 0 : c.Handle();
            c.Name(p.name, sizeof p.name);
            p.stripSize = c.in.U32();
            p.raidLevel = c.in.U32();
            p.sizeInBytes = static_cast<uint64_t>(c.in.U32()) << 20;
            UviVolumeCreateFromDisks(p);
        },
        [](Calls& c) {
            const uint32_t array = c.Handle();
            const std::vector<uint32_t> disks = c.HandleList();
            UviAddDisksToArray(array, disks.data(), static_cast<unsigned>(disks.size()));
        },
        [](Calls& c) {
            const uint32_t volume = c.Handle();
            const std::vector<uint32_t> disks = c.HandleList();
            _UVI_RaidLevelModifyParams p{};
            p.stripSize = c.in.U32();
            p.raidLevel = c.in.U32();
            p.diskHandles = disks.empty() ? nullptr : disks.data();
            p.diskCount = static_cast<uint32_t>(disks.size());
            UviRaidLevelModify(volume, &p);
        },
        [](Calls& c) { UviExpandVolume(c.Handle()); },
        [](Calls& c) { UviVolumeDelete(c.Handle()); },
        [](Calls& c) { UviVolumeInitialize(c.Handle()); },
        [](Calls& c) { UviVolumeMarkAsNormal(c.Handle()); },
        [](Calls& c) {
            const uint32_t volume = c.Handle();
            UviVolumeRebuild(volume, c.Handle());
        },
        [](Calls& c) {
            const uint32_t volume = c.Handle();
            UviVolumeVerify(volume, c.in.U8() & 1);
        },
        [](Calls& c) { UviVolumeCancelVerify(c.Handle()); },
        [](Calls& c) {
            const uint32_t volume = c.Handle();
            char name[24];
            c.Name(name, sizeof name);
            UviVolumeRename(volume, name);
        },
        [](Calls& c) {
            const uint32_t volume = c.Handle();
            UviVolumeSetCachePolicy(volume, static_cast<int>(c.in.U32()));
        },
        [](Calls& c) {
            const uint32_t volume = c.Handle();
            UviVolumeSetExportPolicy(volume, static_cast<int>(c.in.U32()));
        },
        [](Calls& c) {
            const uint32_t volume = c.Handle();
            UviVolumeSetBufferFlush(volume, c.in.U8() & 1);
        },
        [](Calls& c) {
            const uint32_t array = c.Handle();
            UviArraySetWriteCacheState(array, static_cast<int>(c.in.U32()));
        },
        [](Calls& c) {
            const unsigned long long events = UviEventSetUpForAllWithHandle();
            _UVI_EventRecord record{};
            UviEventWaitWithHandle(c.in.U8() % 4, events, &record);
            UviEventClose(events);
        },
    };
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    moxfuzz::Input in(data, size);
    auto machine = moxfuzz::OpenShipped(in.U8());
    Calls calls{in, {}, {}};
    const auto& table = Table();
    for (int n = 0; n < 64 && !in.empty(); ++n)
        table[in.U8() % table.size()](calls);
    UviFinalize();
    return 0;
}

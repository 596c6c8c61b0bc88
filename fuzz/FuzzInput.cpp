#include "fuzz/FuzzInput.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

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
#include "sim/MachineBuilder.h"

namespace moxfuzz {

std::vector<uint8_t> Input::Bytes(size_t n) {
    n = std::min(n, size_ - std::min(at_, size_));
    std::vector<uint8_t> out(data_ + at_, data_ + at_ + n);
    at_ += n;
    return out;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

const std::vector<std::string>& ShippedMachines() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const auto& entry : std::filesystem::directory_iterator(sim::MachinesDir()))
            if (entry.path().extension() == ".json")
                out.push_back(entry.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }();
    return names;
}

namespace {

constexpr unsigned kRoom = 256;

template <class Get> std::vector<uint32_t> Handles(Get get) {
    std::vector<uint32_t> list(kRoom);
    uint32_t count = kRoom;
    get(list.data(), &count);
    list.resize(std::min<uint32_t>(count, kRoom));
    return list;
}

} // namespace

void WalkQueries() {
    UviInitialize();
    unsigned session = 0;
    if (UviSessionOpen(&session).status == 0) {
        auto controllers = Handles([&](uint32_t* l, uint32_t* n) { UviGetControllerHandles(session, l, n); });
        for (uint32_t c : controllers) {
            _UVI_ControllerInfo info{};
            UviGetControllerInfo(session, c, &info);
            _UVI_NvcInfo nvc{};
            UviGetNvcInfo(session, c, &nvc);
            _UVI_VezkInfo vezk{};
            UviGetVezkInfo(session, c, &vezk);
            std::vector<_UVI_EndDeviceInfo> devices(kRoom);
            uint32_t count = kRoom;
            UviGetIxoEndDevices(session, c, devices.data(), &count);
            count = kRoom;
            UviGetRdpDictEndDevices(session, c, devices.data(), &count);
            std::vector<_UVI_VolumeInfo> volumes(kRoom);
            unsigned volumeCount = kRoom;
            UviGetIxoVolumes(session, c, volumes.data(), &volumeCount);
            std::vector<_UVI_ArrayInfo> arrays(kRoom);
            unsigned arrayCount = kRoom;
            UviGetIxoArrays(session, c, arrays.data(), &arrayCount);
        }
        for (uint32_t c :
             Handles([&](uint32_t*l, uint32_t*n) { UviGetThirdPartyControllerHandles(session, l, n); })) {
            _UVI_ThirdPartyControllerInfo info{};
            UviGetThirdPartyControllerInfo(session, c, &info);
        }
        for (uint32_t r : Handles([&](uint32_t*l, uint32_t*n) { UviGetRaidInfoHandles(session, l, n); })) {
            _UVI_RaidInfo info{};
            UviGetRaidInfo(session, r, &info);
            for (uint32_t level : {0u, 1u, 5u, 10u}) {
                _UVI_RaidLevelInfo levelInfo{};
                UviGetRaidLevelInfo(session, r, level, &levelInfo);
            }
        }
        for (uint32_t d : Handles([&](uint32_t*l, uint32_t*n) { UviGetEndDeviceHandles(session, l, n); })) {
            _UVI_EndDeviceInfo info{};
            UviGetEndDeviceInfo(session, d, &info);
            _UVI_DiskIdentifyData identify{};
            UviGetDiskIdentifyData(session, d, &identify);
            _UVI_ZpoddInfo zpodd{};
            UviGetZpoddInfo(session, d, &zpodd);
        }
        for (uint32_t d :
             Handles([&](uint32_t*l, uint32_t*n) { UviGetThirdPartyEndDeviceHandles(session, l, n); })) {
            _UVI_ThirdPartyEndDeviceInfo info{};
            UviGetThirdPartyEndDeviceInfo(session, d, &info);
        }
        for (uint32_t a : Handles([&](uint32_t*l, uint32_t*n) { UviGetArrayHandles(session, l, n); })) {
            _UVI_ArrayInfo info{};
            UviGetArrayInfo(session, a, &info);
        }
        for (uint32_t v : Handles([&](uint32_t*l, uint32_t*n) { UviGetVolumeHandles(session, l, n); })) {
            _UVI_VolumeInfo info{};
            UviGetVolumeInfo(session, v, &info);
        }
        for (uint32_t p : Handles([&](uint32_t*l, uint32_t*n) { UviGetPhyHandles(session, l, n); })) {
            UVI_PhyInfo info{};
            UviGetPhyInfo(session, p, &info);
        }
        for (uint32_t p :
             Handles([&](uint32_t*l, uint32_t*n) { UviGetVezkDiskPairHandles(session, l, n); })) {
            _UVI_VezkDiskPairInfo info{};
            UviGetVezkDiskPairInfo(session, p, &info);
        }
        _UVI_SystemInfo system{};
        UviGetSystemInfo(session, 0, &system);
        NvCachePolicyStatInfo policy{};
        UviGetNvCachePolicyStatInfo(session, &policy);
        NvCacheStatInfo stats{};
        UviGetNvCacheStatInfo(session, &stats);
        NvCacheStat2Info stats2{};
        UviGetNvCacheStat2Info(session, &stats2);
        NvCacheUnifiedStats unified{};
        UviGetNvCacheUnifiedStats(session, &unified);
        _UVI_IoClassifierCounters counters{};
        UviGetIoClassifierStats(session, &counters);
        _UVI_VolportPerformanceCounters volport{};
        UviGetVolportPerformanceCounters(session, &volport);
        UviSessionClose(session);
    }
    UviFinalize();
}

} // namespace moxfuzz

namespace moxfuzz {

std::unique_ptr<FuzzMachine> OpenShipped(uint8_t choice, bool everyMachine) {
    struct Described {
        std::string name;
        sim::MachineBuilder description;
    };
    static const std::vector<Described> machines = [] {
        std::vector<Described> out;
        for (const std::string& name : ShippedMachines())
            out.push_back({name, sim::MachineBuilder::FromFile(name)});
        return out;
    }();
    static const std::vector<const Described*> small = [] {
        std::vector<const Described*> out;
        for (const Described& m : machines)
            if (m.name != "large.json")
                out.push_back(&m);
        return out;
    }();
    if (everyMachine)
        return std::make_unique<FuzzMachine>(machines.at(choice % machines.size()).description);
    return std::make_unique<FuzzMachine>(small.at(choice % small.size())->description);
}

size_t WalkRequests(uint8_t choice) {
    static std::map<size_t, size_t> counted;
    const size_t machine = choice % (ShippedMachines().size() - 1);
    if (auto it = counted.find(machine); it != counted.end())
        return it->second;
    auto m = OpenShipped(choice, false);
    WalkQueries();
    const size_t n = std::max<size_t>(1, (**m)->calls().Count("DeviceIoControl"));
    counted[machine] = n;
    return n;
}

void ReplaceAnswer(sim::ScopedMachine& machine, unsigned skip, const std::vector<uint8_t>& answer,
                   std::optional<uint32_t> reported) {
    std::string outcome = "{\"answer\": \"" + Hex(answer) + "\"";
    if (reported)
        outcome += ", \"bytes_returned\": " + std::to_string(*reported);
    outcome += "}";
    machine->faults().Add("{\"kind\": \"DeviceIoControl\", \"skip\": " + std::to_string(skip) +
                          ", \"times\": 1, \"outcome\": " + outcome + "}");
}

} // namespace moxfuzz

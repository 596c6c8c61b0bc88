// The Virtual Disk Service of the simulated machine: one software provider with one pack holding every
// disk Windows sees and every volume on them, all read from the disk model (sim/storage/DiskModel.h)
// at the time of each call, and the clean and shrink operations that change it.
//
// Every method passes the seam as kind "Vds" with selector `method` ("IVdsDisk::QueryExtents") and,
// where they apply, `disk` (device number), `volume` (GUID text), `offset` and `operation` ("clean",
// "shrink"). Outcomes: {"hresult": v} fails the call with v and does nothing; on IVdsAsync::Wait
// {"result": v} ends the operation with v after it did its work (a shrink only {"reclaimed": n}
// bytes of it, a clean all of it).
#include "platform/win/WinVds.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/Schema.h"
#include "sim/devio/Lookup.h"
#include "sim/storage/DiskEntries.h"
#include "sim/storage/DiskModel.h"
#include "sim/win32/ComObject.h"
#include "sim/win32/SimCall.h"
#include "sim/win32/VdsLoader.h"

namespace sim::win32 {

MOX_SIM_INTERFACE(IVdsServiceLoader);
MOX_SIM_INTERFACE(IVdsService);
MOX_SIM_INTERFACE(IEnumVdsObject);
MOX_SIM_INTERFACE(IVdsProvider);
MOX_SIM_INTERFACE(IVdsSwProvider);
MOX_SIM_INTERFACE(IVdsPack);
MOX_SIM_INTERFACE(IVdsDisk);
MOX_SIM_INTERFACE(IVdsAdvancedDisk);
MOX_SIM_INTERFACE(IVdsAdvancedDisk2);
MOX_SIM_INTERFACE(IVdsDiskPartitionMF);
MOX_SIM_INTERFACE(IVdsVolume);
MOX_SIM_INTERFACE(IVdsVolumeShrink);
MOX_SIM_INTERFACE(IVdsAsync);

namespace {

using nlohmann::json;
namespace storage = sim::storage;
namespace schema = sim::schema;

const schema::FaultKind kVdsFaults("Vds", {"method", "disk", "volume", "offset", "operation"},
                                   schema::Object({{"hresult", schema::Word32()},
                                                   {"result", schema::Word32()},
                                                   {"reclaimed", schema::Uint64()}}));

constexpr uint32_t kVdsFileSystemNtfs = 2;
constexpr uint32_t kVdsVolumeSimple = 10;
constexpr uint32_t kVdsStatusOnline = 1;
constexpr uint32_t kVdsHealthHealthy = 1;

std::optional<json> Seam(const char* method, json selectors = json::object()) {
    selectors["method"] = method;
    return platform::SimCall("Vds", selectors);
}

// Every method runs whole, the seam included, inside the guard: a state the disk model cannot read
// fails the call with ERROR_INVALID_DATA in HRESULT form instead of throwing.
template <class Work> HRESULT Guarded(Work&& work) {
    return platform::Guarded(std::forward<Work>(work), [](uint32_t error) {
        return static_cast<HRESULT>(0x80070000u | error); // the HRESULT of a Win32 error
    });
}

HRESULT Number(const std::optional<json>& outcome, const char* key) {
    if (!outcome || !outcome->contains(key))
        return S_OK;
    return static_cast<HRESULT>(platform::OutcomeNumber(*outcome, key, static_cast<uint32_t>(E_FAIL)));
}

GUID ToGuid(const storage::Guid& bytes) {
    GUID g;
    std::memcpy(&g, bytes.data(), sizeof(g));
    return g;
}

storage::Guid FromGuid(const GUID& g) {
    storage::Guid bytes;
    std::memcpy(bytes.data(), &g, sizeof(g));
    return bytes;
}

// The service's own id of a disk.
GUID DiskId(int deviceNumber) {
    storage::Guid id{};
    id[0] = static_cast<uint8_t>(deviceNumber);
    id[1] = static_cast<uint8_t>(deviceNumber >> 8);
    id[8] = 0x80;
    id[15] = 0x44;
    return ToGuid(id);
}

// A text the caller frees with CoTaskMemFree.
LPWSTR TaskString(const std::string& text) {
    auto* out = static_cast<wchar_t*>(std::calloc(text.size() + 1, sizeof(wchar_t)));
    if (out)
        for (size_t i = 0; i < text.size(); ++i)
            out[i] = static_cast<unsigned char>(text[i]);
    return out;
}

std::string VolumeName(const storage::Guid& id) {
    return "\\\\?\\Volume" + storage::GuidText(id) + "\\";
}

// Runs f on the current model of one disk; false when the machine no longer has it.
bool ReadDisk(int deviceNumber, const std::function<void(const storage::Disk&, const json& entry)>& f) {
    bool found = false;
    sim::Current().Read([&](const json& state) {
        if (const json* entry = storage::FindDiskEntry(state, deviceNumber)) {
            found = true;
            f(storage::ReadDisk(state, *entry), *entry);
        }
    });
    return found;
}

// The volume with this id and its partition, read now.
struct VolumeNow {
    int deviceNumber = -1;
    storage::Partition partition;
};
std::optional<VolumeNow> ReadVolume(const storage::Guid& id) {
    std::optional<VolumeNow> found;
    sim::Current().Read([&](const json& state) {
        if (auto ref = storage::FindVolume(state, id))
            if (const json* entry = storage::FindDiskEntry(state, ref->deviceNumber))
                found =
                    VolumeNow{ref->deviceNumber, storage::ReadDisk(state, *entry).partitions.at(ref->index)};
    });
    return found;
}

// Objects handed out through an enumeration, each with the one reference the enumeration keeps.
class Enumeration : public ComObject<IEnumVdsObject> {
public:
    explicit Enumeration(std::vector<IUnknown*> items) : items_(std::move(items)) {}

    HRESULT Next(ULONG count, IUnknown** objects, ULONG* fetched) override {
        if (!objects)
            return E_POINTER;
        ULONG n = 0;
        for (; n < count && next_ < items_.size(); ++n, ++next_) {
            objects[n] = items_[next_];
            objects[n]->AddRef();
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }

protected:
    ~Enumeration() override {
        for (IUnknown* item : items_)
            item->Release();
    }

private:
    std::vector<IUnknown*> items_;
    size_t next_ = 0;
};

template <class Object> IUnknown* AsUnknown(Object* object) {
    void* unknown = nullptr;
    object->QueryInterface(IID_IUnknown, &unknown);
    object->Release();
    return static_cast<IUnknown*>(unknown);
}

// A started clean or shrink; the work is done when the caller waits for it.
class Operation : public ComObject<IVdsAsync> {
public:
    // Does the work (with the seam's outcome) and answers the operation's result.
    using Work = std::function<HRESULT(const std::optional<json>& outcome, VDS_ASYNC_OUTPUT& output)>;

    Operation(json selectors, Work work) : selectors_(std::move(selectors)), work_(std::move(work)) {}

    HRESULT Wait(HRESULT* hrResult, VDS_ASYNC_OUTPUT* output) override {
        return Guarded([&]() -> HRESULT {
            auto outcome = Seam("IVdsAsync::Wait", selectors_);
            if (HRESULT hr = Number(outcome, "hresult"))
                return hr;
            if (!done_) {
                result_ = work_(outcome, output_);
                done_ = true;
            }
            if (hrResult)
                *hrResult = result_;
            if (output)
                *output = output_;
            return S_OK;
        });
    }

private:
    json selectors_;
    Work work_;
    bool done_ = false;
    HRESULT result_ = S_OK;
    VDS_ASYNC_OUTPUT output_{};
};

class Volume : public ComObject<IVdsVolume, IVdsVolumeShrink> {
public:
    explicit Volume(const storage::Guid& id) : id_(id) {}

    HRESULT GetProperties(VDS_VOLUME_PROP* properties) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsVolume::GetProperties", Selectors()), "hresult"))
                return hr;
            if (!properties)
                return E_POINTER;
            auto volume = ReadVolume(id_);
            if (!volume)
                return VDS_E_OBJECT_NOT_FOUND;
            *properties = VDS_VOLUME_PROP{};
            properties->id = ToGuid(id_);
            properties->type = kVdsVolumeSimple;
            properties->status = kVdsStatusOnline;
            properties->health = kVdsHealthHealthy;
            properties->ullSize = volume->partition.length;
            properties->ulFlags = volume->partition.volumeFlags;
            properties->RecommendedFileSystemType = kVdsFileSystemNtfs;
            properties->pwszName = TaskString(VolumeName(id_));
            return S_OK;
        });
    }

    HRESULT Shrink(ULONGLONG desiredBytes, ULONGLONG minBytes, IVdsAsync** async) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsVolumeShrink::Shrink", Selectors()), "hresult"))
                return hr;
            if (!async)
                return E_POINTER;
            auto volume = ReadVolume(id_);
            if (!volume)
                return VDS_E_OBJECT_NOT_FOUND;
            if (desiredBytes < volume->partition.allocationUnit || minBytes > desiredBytes)
                return VDS_E_SHRINK_SIZE_LESS_THAN_MIN;
            // The file system can give up only what it does not use.
            if (minBytes > volume->partition.freeBytes)
                return VDS_E_SHRINK_SIZE_TOO_BIG;
            json selectors = Selectors();
            selectors["operation"] = "shrink";
            const storage::Guid id = id_;
            *async = new Operation(
                selectors, [id, desiredBytes](const std::optional<json>& outcome, VDS_ASYNC_OUTPUT& output) {
                    uint64_t reclaimed = desiredBytes;
                    if (outcome && outcome->contains("reclaimed"))
                        reclaimed = std::min<uint64_t>(DescNumber(*outcome, "reclaimed", 0), desiredBytes);
                    bool shrunk = false;
                    sim::Current().Update([&](json& state) {
                        if (auto ref = storage::FindVolume(state, id))
                            shrunk = storage::ShrinkVolume(state, *ref, reclaimed);
                    });
                    output.type = VDS_ASYNCOUT_SHRINKVOLUME;
                    output.sv.ullReclaimedBytes = shrunk ? reclaimed : 0;
                    return shrunk ? Number(outcome, "result") : VDS_E_OBJECT_NOT_FOUND;
                });
            return S_OK;
        });
    }

private:
    json Selectors() const { return {{"volume", storage::GuidText(id_)}}; }

    storage::Guid id_;
};

class Disk : public ComObject<IVdsDisk, IVdsAdvancedDisk, IVdsAdvancedDisk2, IVdsDiskPartitionMF> {
public:
    explicit Disk(int deviceNumber) : deviceNumber_(deviceNumber) {}

    HRESULT GetProperties(VDS_DISK_PROP* properties) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsDisk::GetProperties", Selectors()), "hresult"))
                return hr;
            if (!properties)
                return E_POINTER;
            *properties = VDS_DISK_PROP{};
            const bool found = ReadDisk(deviceNumber_, [&](const storage::Disk& disk, const json& entry) {
                properties->id = DiskId(deviceNumber_);
                properties->status = kVdsStatusOnline;
                properties->health = kVdsHealthHealthy;
                properties->ullSize = disk.Bytes();
                properties->ulBytesPerSector = disk.sectorSize;
                properties->ulSectorsPerTrack = 63;
                properties->ulTracksPerCylinder = 255;
                properties->ulFlags = disk.flags;
                const bool nvme = DescText(entry, "protocol") == "nvme";
                properties->BusType = static_cast<uint32_t>(DescNumber(entry, "bus_type", nvme ? 17 : 11));
                if (disk.style == storage::kStyleMbr) {
                    properties->PartitionStyle = VDS_PST_MBR;
                    properties->dwSignature = disk.signature;
                } else if (disk.style == storage::kStyleGpt) {
                    properties->PartitionStyle = VDS_PST_GPT;
                    properties->DiskGuid = ToGuid(disk.diskId);
                }
                const std::string drive = "\\\\?\\PhysicalDrive" + std::to_string(deviceNumber_);
                properties->pwszDiskAddress =
                    TaskString("Port" + std::to_string(DescNumber(entry, "port", 0)) + "Path" +
                               std::to_string(DescNumber(entry, "path", 0)) + "Target" +
                               std::to_string(DescNumber(entry, "target", 0)) + "Lun" +
                               std::to_string(DescNumber(entry, "lun", 0)));
                properties->pwszName = TaskString(drive);
                properties->pwszFriendlyName = TaskString(DescText(entry, "model"));
                properties->pwszAdaptorName = TaskString("");
                properties->pwszDevicePath = TaskString(drive);
            });
            return found ? S_OK : VDS_E_OBJECT_NOT_FOUND;
        });
    }

    HRESULT QueryExtents(VDS_DISK_EXTENT** extents, LONG* count) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsDisk::QueryExtents", Selectors()), "hresult"))
                return hr;
            if (!extents || !count)
                return E_POINTER;
            *extents = nullptr;
            *count = 0;
            std::vector<storage::Extent> list;
            if (!ReadDisk(deviceNumber_,
                          [&](const storage::Disk& disk, const json&) { list = storage::Extents(disk); }))
                return VDS_E_OBJECT_NOT_FOUND;
            if (list.empty())
                return S_OK;
            auto* array = static_cast<VDS_DISK_EXTENT*>(std::calloc(list.size(), sizeof(VDS_DISK_EXTENT)));
            if (!array)
                return E_OUTOFMEMORY;
            for (size_t i = 0; i < list.size(); ++i) {
                array[i].diskId = DiskId(deviceNumber_);
                array[i].type = static_cast<VDS_DISK_EXTENT_TYPE>(list[i].type);
                array[i].ullOffset = list[i].offset;
                array[i].ullSize = list[i].size;
                array[i].volumeId = ToGuid(list[i].volumeId);
                array[i].plexId = ToGuid(list[i].volumeId);
            }
            *extents = array;
            *count = static_cast<LONG>(list.size());
            return S_OK;
        });
    }

    HRESULT GetPartitionProperties(ULONGLONG offset, VDS_PARTITION_PROP* properties) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr =
                    Number(Seam("IVdsAdvancedDisk::GetPartitionProperties", Selectors(offset)), "hresult"))
                return hr;
            if (!properties)
                return E_POINTER;
            return WithPartition(offset, [&](const storage::Disk& disk, const storage::Partition& p) {
                *properties = VDS_PARTITION_PROP{};
                properties->ulPartitionNumber = p.number;
                properties->ullOffset = p.offset;
                properties->ullSize = p.length;
                if (disk.style == storage::kStyleGpt) {
                    properties->PartitionStyle = VDS_PST_GPT;
                    properties->Gpt.partitionType = ToGuid(p.type);
                    properties->Gpt.partitionId = ToGuid(p.id);
                    properties->Gpt.attributes = p.attributes;
                    for (size_t i = 0; i < p.name.size() && i < 35; ++i)
                        properties->Gpt.name[i] = static_cast<unsigned char>(p.name[i]);
                } else {
                    properties->PartitionStyle = VDS_PST_MBR;
                    properties->Mbr.partitionType = p.mbrType;
                    properties->Mbr.bootIndicator = p.active;
                    properties->Mbr.recognizedPartition = TRUE;
                    properties->Mbr.hiddenSectors = static_cast<DWORD>(p.offset / disk.sectorSize);
                }
                return S_OK;
            });
        });
    }

    HRESULT ChangeAttributes(ULONGLONG offset, CHANGE_ATTRIBUTES_PARAMETERS* parameters) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsAdvancedDisk::ChangeAttributes", Selectors(offset)), "hresult"))
                return hr;
            if (!parameters)
                return E_POINTER;
            return ChangePartition(offset, parameters->style, [&](json& state, const storage::Partition& p) {
                storage::SetPartitionAttributes(state, deviceNumber_, p.index,
                                                parameters->GptPartInfo.attributes);
            });
        });
    }

    HRESULT ChangePartitionType(ULONGLONG offset, BOOL,
                                CHANGE_PARTITION_TYPE_PARAMETERS* parameters) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr =
                    Number(Seam("IVdsAdvancedDisk2::ChangePartitionType", Selectors(offset)), "hresult"))
                return hr;
            if (!parameters)
                return E_POINTER;
            return ChangePartition(offset, parameters->style, [&](json& state, const storage::Partition& p) {
                storage::SetPartitionType(state, deviceNumber_, p.index,
                                          FromGuid(parameters->GptPartInfo.partitionType));
            });
        });
    }

    HRESULT Clean(BOOL, BOOL, BOOL, IVdsAsync** async) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsAdvancedDisk::Clean", Selectors()), "hresult"))
                return hr;
            if (!async)
                return E_POINTER;
            json selectors = Selectors();
            selectors["operation"] = "clean";
            const int number = deviceNumber_;
            *async = new Operation(
                selectors, [number](const std::optional<json>& outcome, VDS_ASYNC_OUTPUT& output) {
                    bool cleaned = false;
                    sim::Current().Update([&](json& state) { cleaned = storage::CleanDisk(state, number); });
                    output.type = VDS_ASYNCOUT_CLEAN;
                    return cleaned ? Number(outcome, "result") : VDS_E_OBJECT_NOT_FOUND;
                });
            return S_OK;
        });
    }

    HRESULT GetPartitionFileSystemProperties(ULONGLONG offset, VDS_FILE_SYSTEM_PROP* properties) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr =
                    Number(Seam("IVdsDiskPartitionMF::GetPartitionFileSystemProperties", Selectors(offset)),
                           "hresult"))
                return hr;
            if (!properties)
                return E_POINTER;
            return WithPartition(offset, [&](const storage::Disk&, const storage::Partition& p) {
                if (!p.hasVolume)
                    return VDS_E_OBJECT_NOT_FOUND;
                *properties = VDS_FILE_SYSTEM_PROP{};
                properties->type = kVdsFileSystemNtfs;
                properties->volumeId = ToGuid(p.id);
                properties->ulAllocationUnitSize = p.allocationUnit;
                properties->ullTotalAllocationUnits = p.length / p.allocationUnit;
                properties->ullAvailableAllocationUnits = p.freeBytes / p.allocationUnit;
                properties->pwszLabel = TaskString(p.name);
                return S_OK;
            });
        });
    }

private:
    json Selectors() const { return {{"disk", deviceNumber_}}; }
    json Selectors(ULONGLONG offset) const { return {{"disk", deviceNumber_}, {"offset", offset}}; }

    HRESULT WithPartition(ULONGLONG offset,
                          const std::function<HRESULT(const storage::Disk&, const storage::Partition&)>& f) {
        HRESULT hr = VDS_E_OBJECT_NOT_FOUND;
        ReadDisk(deviceNumber_, [&](const storage::Disk& disk, const json&) {
            if (const storage::Partition* p = disk.AtOffset(offset))
                hr = f(disk, *p);
        });
        return hr;
    }

    // Changes the partition at an offset; the parameters' style must be the disk's.
    HRESULT ChangePartition(ULONGLONG offset, VDS_PARTITION_STYLE style,
                            const std::function<void(json&, const storage::Partition&)>& change) {
        HRESULT hr = VDS_E_OBJECT_NOT_FOUND;
        sim::Current().Update([&](json& state) {
            const json* entry = storage::FindDiskEntry(state, deviceNumber_);
            if (!entry)
                return;
            const storage::Disk disk = storage::ReadDisk(state, *entry);
            const storage::Partition* p = disk.AtOffset(offset);
            if (!p)
                return;
            if (disk.style != storage::kStyleGpt || style != VDS_PST_GPT) {
                hr = E_INVALIDARG;
                return;
            }
            change(state, *p);
            hr = S_OK;
        });
        return hr;
    }

    int deviceNumber_;
};

class Pack : public ComObject<IVdsPack> {
public:
    HRESULT QueryDisks(IEnumVdsObject** disks) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsPack::QueryDisks"), "hresult"))
                return hr;
            if (!disks)
                return E_POINTER;
            // Read whole before any object is made, so that a state read that fails leaks none.
            std::vector<int> numbers;
            sim::Current().Read([&](const json& state) {
                if (state.contains("disks") && state.at("disks").is_array())
                    for (const auto& d : state.at("disks"))
                        if (storage::SeenByWindows(d))
                            numbers.push_back(d.value("device_number", -1));
            });
            std::vector<IUnknown*> items;
            for (int number : numbers)
                items.push_back(AsUnknown(new Disk(number)));
            *disks = new Enumeration(std::move(items));
            return S_OK;
        });
    }

    HRESULT QueryVolumes(IEnumVdsObject** volumes) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsPack::QueryVolumes"), "hresult"))
                return hr;
            if (!volumes)
                return E_POINTER;
            std::vector<storage::Guid> ids;
            sim::Current().Read([&](const json& state) {
                for (const storage::VolumeRef& ref : storage::Volumes(state))
                    if (const json* entry = storage::FindDiskEntry(state, ref.deviceNumber))
                        ids.push_back(storage::ReadDisk(state, *entry).partitions.at(ref.index).id);
            });
            std::vector<IUnknown*> items;
            for (const storage::Guid& id : ids)
                items.push_back(AsUnknown(new Volume(id)));
            *volumes = new Enumeration(std::move(items));
            return S_OK;
        });
    }
};

class Provider : public ComObject<IVdsProvider, IVdsSwProvider> {
public:
    HRESULT QueryPacks(IEnumVdsObject** packs) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsSwProvider::QueryPacks"), "hresult"))
                return hr;
            if (!packs)
                return E_POINTER;
            *packs = new Enumeration({AsUnknown(new Pack)});
            return S_OK;
        });
    }
};

class Service : public ComObject<IVdsService> {
public:
    HRESULT WaitForServiceReady() override {
        return Guarded(
            [&]() -> HRESULT { return Number(Seam("IVdsService::WaitForServiceReady"), "hresult"); });
    }

    HRESULT QueryProviders(DWORD queryFlags, IEnumVdsObject** providers) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsService::QueryProviders"), "hresult"))
                return hr;
            if (!providers)
                return E_POINTER;
            std::vector<IUnknown*> items;
            if (queryFlags & VDS_QUERY_SOFTWARE_PROVIDERS)
                items.push_back(AsUnknown(new Provider));
            *providers = new Enumeration(std::move(items));
            return S_OK;
        });
    }

    HRESULT GetObject(GUID id, VDS_OBJECT_TYPE type, IUnknown** object) override {
        return Guarded([&]() -> HRESULT {
            const storage::Guid bytes = FromGuid(id);
            if (HRESULT hr =
                    Number(Seam("IVdsService::GetObject", {{"volume", storage::GuidText(bytes)}}), "hresult"))
                return hr;
            if (!object)
                return E_POINTER;
            *object = nullptr;
            if (type != VDS_OT_VOLUME || !ReadVolume(bytes))
                return VDS_E_OBJECT_NOT_FOUND;
            *object = AsUnknown(new Volume(bytes));
            return S_OK;
        });
    }

    HRESULT Refresh() override {
        return Guarded([&] { return Number(Seam("IVdsService::Refresh"), "hresult"); });
    }
};

class Loader : public ComObject<IVdsServiceLoader> {
public:
    HRESULT LoadService(LPWSTR machineName, IVdsService** service) override {
        return Guarded([&]() -> HRESULT {
            if (HRESULT hr = Number(Seam("IVdsServiceLoader::LoadService"), "hresult"))
                return hr;
            if (!service)
                return E_POINTER;
            *service = nullptr;
            // Only this machine's service can be reached.
            if (machineName && machineName[0] != L'\0')
                return E_INVALIDARG;
            *service = new Service;
            return S_OK;
        });
    }
};

} // namespace

IUnknown* CreateVdsLoader() {
    return AsUnknown(new Loader);
}

} // namespace sim::win32

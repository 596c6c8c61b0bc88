#include "middleware/model/VdsHandler.h"

#include "middleware/model/VdsService.h"
#include "platform/win/Trace.h"

namespace {

// The service's answer for "no more objects" in an enumeration.
constexpr HRESULT kEnumerationEnd = S_FALSE;

CConsolidatedError VdsFault(const char* message, const char* debugFormat, HRESULT hr) {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::GENERAL_FAULT, message);
    error.AddDebugInformation(debugFormat, static_cast<unsigned>(hr));
    return error;
}

// Calls f(object) for each object of an enumeration, one at a time, until f answers false; the
// first failing HRESULT ends the walk and is returned.
template <class F> HRESULT ForEach(IEnumVdsObject* enumeration, F f) {
    for (;;) {
        ComPtr<IUnknown> object;
        ULONG fetched = 0;
        const HRESULT hr = enumeration->Next(1, object.put(), &fetched);
        if (hr == kEnumerationEnd || (SUCCEEDED(hr) && fetched == 0))
            return S_OK;
        if (FAILED(hr))
            return hr;
        const HRESULT result = f(object.get());
        if (result != S_OK)
            return result;
    }
}

// The walk answers S_OK to go on; this marks "stop, found" without being an error.
constexpr HRESULT kStop = 2;

// Runs f on every disk or volume of every pack with its properties (texts already freed) until f
// answers true.
template <class Interface, class Properties, class F>
HRESULT ForEachInPacks(IVdsService* service, HRESULT (IVdsPack::*query)(IEnumVdsObject**), const IID& iid,
                       void (*freeTexts)(Properties&), F f) {
    std::vector<ComPtr<IVdsPack>> packs;
    HRESULT hr = VdsHandler::getPacks(service, packs);
    if (FAILED(hr))
        return hr;
    for (const auto& pack : packs) {
        ComPtr<IEnumVdsObject> objects;
        hr = (pack.get()->*query)(objects.put());
        if (FAILED(hr))
            return hr;
        hr = ForEach(objects.get(), [&](IUnknown* object) {
            ComPtr<Interface> candidate;
            HRESULT step = candidate.queryFrom(object, iid);
            if (FAILED(step))
                return step;
            Properties properties{};
            step = candidate->GetProperties(&properties);
            if (FAILED(step))
                return step;
            freeTexts(properties);
            return f(candidate, properties) ? kStop : S_OK;
        });
        if (hr != S_OK)
            return hr;
    }
    return S_OK;
}

void FreeVolumePropertyStrings(VDS_VOLUME_PROP& properties) {
    CoTaskMemFree(properties.pwszName);
    properties.pwszName = nullptr;
}

// The first disk or volume whose properties match, handed out with a reference of its own: 0 found,
// 1 not found, negative on error.
template <class Interface, class Properties, class Match>
HRESULT FindInPacks(IVdsService* service, HRESULT (IVdsPack::*query)(IEnumVdsObject**), const IID& iid,
                    void (*freeTexts)(Properties&), Match match, Interface** found) {
    *found = nullptr;
    const HRESULT hr = ForEachInPacks<Interface, Properties>(
        service, query, iid, freeTexts, [&](ComPtr<Interface>& candidate, const Properties& properties) {
            if (!match(properties))
                return false;
            *found = candidate.get();
            (*found)->AddRef();
            return true;
        });
    if (FAILED(hr))
        return hr;
    return *found ? 0 : 1;
}

template <class F> HRESULT ForEachDisk(IVdsService* service, F f) {
    return ForEachInPacks<IVdsDisk, VDS_DISK_PROP>(service, &IVdsPack::QueryDisks, IID_IVdsDisk,
                                                   FreeDiskPropertyStrings, f);
}

// The common start of every operation: COM for this thread and the service.
struct Connection {
    ComConnectionHandler com;
    ComPtr<IVdsService> service;
    CConsolidatedError error;

    Connection() {
        const HRESULT hr = loadVdsService(service.put());
        if (FAILED(hr))
            error = VdsFault("Cannot initialize VDS service.", "loadVdsService error code = %#X", hr);
    }
};

} // namespace

void FreeDiskPropertyStrings(VDS_DISK_PROP& properties) {
    for (LPWSTR* text : {&properties.pwszDiskAddress, &properties.pwszName, &properties.pwszFriendlyName,
                         &properties.pwszAdaptorName, &properties.pwszDevicePath}) {
        CoTaskMemFree(*text);
        *text = nullptr;
    }
}

HRESULT VdsHandler::getPacks(IVdsService* service, std::vector<ComPtr<IVdsPack>>& packs) {
    if (!service)
        return VDS_E_PROVIDER_FAILURE;
    ComPtr<IEnumVdsObject> providers;
    HRESULT hr = service->QueryProviders(VDS_QUERY_SOFTWARE_PROVIDERS, providers.put());
    if (FAILED(hr))
        return hr;
    return ForEach(providers.get(), [&](IUnknown* object) {
        ComPtr<IVdsProvider> provider;
        HRESULT step = provider.queryFrom(object, IID_IVdsProvider);
        if (FAILED(step))
            return step;
        ComPtr<IVdsSwProvider> software;
        step = software.queryFrom(provider.get(), IID_IVdsSwProvider);
        if (FAILED(step))
            return step;
        ComPtr<IEnumVdsObject> found;
        step = software->QueryPacks(found.put());
        if (FAILED(step))
            return step;
        return ForEach(found.get(), [&](IUnknown* packObject) {
            ComPtr<IVdsPack> pack;
            const HRESULT q = pack.queryFrom(packObject, IID_IVdsPack);
            if (FAILED(q))
                return q;
            packs.push_back(std::move(pack));
            return S_OK;
        });
    });
}

HRESULT VdsHandler::getDisk(IVdsService* service, const VdsDiskIdentity& identity, IVdsDisk** disk) {
    return FindInPacks<IVdsDisk, VDS_DISK_PROP>(
        service, &IVdsPack::QueryDisks, IID_IVdsDisk, FreeDiskPropertyStrings,
        [&](const VDS_DISK_PROP& properties) {
            const bool gpt = properties.PartitionStyle == VDS_PST_GPT &&
                             identity.partitionStyle == VDS_PST_GPT &&
                             properties.DiskGuid == identity.gptGuid;
            const bool mbr = properties.PartitionStyle == VDS_PST_MBR &&
                             identity.partitionStyle == VDS_PST_MBR &&
                             properties.dwSignature == identity.mbrSignature;
            return gpt || mbr;
        },
        disk);
}

// The service's disk of that identity, through an established connection; the caller names the
// message of a disk the service does not give.
static CConsolidatedError OpenDisk(Connection& connection, const VdsDiskIdentity& identity,
                                   ComPtr<IVdsDisk>& disk,
                                   const char* message = "Cannot get VDS disk object.",
                                   const char* debugFormat = "get disk error code = %#X") {
    if (connection.error.IsError())
        return connection.error;
    const HRESULT hr = VdsHandler::getDisk(connection.service.get(), identity, disk.put());
    if (hr != 0)
        return VdsFault(message, debugFormat, hr);
    return CConsolidatedError();
}

HRESULT VdsHandler::getSystemDisk(IVdsService* service, VDS_DISK_PROP& properties) {
    bool found = false;
    const HRESULT hr = ForEachDisk(service, [&](ComPtr<IVdsDisk>&, const VDS_DISK_PROP& candidate) {
        if (!(candidate.ulFlags & VDS_DF_SYSTEM_DISK))
            return false;
        properties = candidate;
        found = true;
        return true;
    });
    if (FAILED(hr))
        return hr;
    return found ? 0 : 1;
}

HRESULT VdsHandler::getVolume(IVdsService* service, const GUID& volumeId, IVdsVolume** volume) {
    *volume = nullptr;
    if (volumeId == GUID{})
        return 1;
    return FindInPacks<IVdsVolume, VDS_VOLUME_PROP>(
        service, &IVdsPack::QueryVolumes, IID_IVdsVolume, FreeVolumePropertyStrings,
        [&](const VDS_VOLUME_PROP& properties) { return properties.id == volumeId; }, volume);
}

HRESULT VdsHandler::getVolumeIdOfLastDiskExtent(IVdsDisk* disk, VDS_DISK_EXTENT& extent) {
    extent = VDS_DISK_EXTENT{};
    VDS_DISK_EXTENT* extents = nullptr;
    LONG count = 0;
    const HRESULT hr = disk->QueryExtents(&extents, &count);
    if (SUCCEEDED(hr) && extents) {
        for (LONG i = count - 1; i >= 1; --i) {
            const VDS_DISK_EXTENT& candidate = extents[i];
            if (candidate.type == VDS_DET_FREE)
                continue;
            if (candidate.type == VDS_DET_UNKNOWN || candidate.type == VDS_DET_DATA ||
                candidate.type == VDS_DET_OEM)
                extent = candidate;
            break;
        }
    }
    CoTaskMemFree(extents);
    return hr;
}

HRESULT VdsHandler::getIVdsVolumeShrink(IVdsService* service, const GUID& volumeId,
                                        IVdsVolumeShrink** shrink) {
    *shrink = nullptr;
    ComPtr<IUnknown> object;
    HRESULT hr = service->GetObject(volumeId, VDS_OT_VOLUME, object.put());
    if (FAILED(hr))
        return hr;
    ComPtr<IVdsVolume> volume;
    hr = volume.queryFrom(object.get(), IID_IVdsVolume);
    if (FAILED(hr))
        return hr;
    return volume->QueryInterface(IID_IVdsVolumeShrink, reinterpret_cast<void**>(shrink));
}

CConsolidatedError VdsHandler::refresh() {
    Connection connection;
    if (connection.error.IsError())
        return connection.error;
    const HRESULT hr = connection.service->Refresh();
    if (FAILED(hr))
        return VdsFault("Cannot refresh VDS.", "Refresh error code = %#X", hr);
    return CConsolidatedError();
}

CConsolidatedError VdsHandler::cleanDisk(const VdsDiskIdentity& identity) {
    Connection connection;
    ComPtr<IVdsDisk> disk;
    if (CConsolidatedError error = OpenDisk(connection, identity, disk); error.IsError())
        return error;
    HRESULT hr = S_OK;
    ComPtr<IVdsAdvancedDisk> advanced;
    hr = advanced.queryFrom(disk.get(), IID_IVdsAdvancedDisk);
    if (FAILED(hr))
        return VdsFault("Cannot get Advanced VDS disk object.", "get advanced disk error code = %#X", hr);
    ComPtr<IVdsAsync> operation;
    hr = advanced->Clean(TRUE, TRUE, FALSE, operation.put());
    if (FAILED(hr))
        return VdsFault("VDS Failed to clean disk.", "Clean error code = %#X", hr);
    HRESULT result = S_OK;
    VDS_ASYNC_OUTPUT output{};
    hr = operation->Wait(&result, &output);
    if (FAILED(hr) || FAILED(result)) {
        CConsolidatedError error =
            VdsFault("VDS Failed to clean disk.", "Wait for Clean error code = %#X", hr);
        error.AddDebugInformation("Clean error code = %#X", static_cast<unsigned>(result));
        return error;
    }
    return CConsolidatedError();
}

CConsolidatedError VdsHandler::isSystemDisk(const VdsDiskIdentity& identity, bool& isSystem) {
    Connection connection;
    ComPtr<IVdsDisk> disk;
    if (CConsolidatedError error = OpenDisk(connection, identity, disk); error.IsError())
        return error;
    HRESULT hr = S_OK;
    VDS_DISK_PROP properties{};
    hr = disk->GetProperties(&properties);
    if (FAILED(hr))
        return VdsFault("Cannot get Advanced VDS disk properties.",
                        "get advanced disk properties error code = %#X", hr);
    FreeDiskPropertyStrings(properties);
    constexpr ULONG kSystemFlags = VDS_DF_SYSTEM_DISK | VDS_DF_BOOT_DISK | VDS_DF_PAGEFILE_DISK |
                                   VDS_DF_HIBERNATIONFILE_DISK | VDS_DF_CRASHDUMP_DISK |
                                   VDS_DF_BOOT_FROM_DISK;
    static_assert(kSystemFlags == 0x4F80);
    isSystem = (properties.ulFlags & kSystemFlags) != 0;
    return CConsolidatedError();
}

CConsolidatedError VdsHandler::getBootVolumeExtent(const VdsDiskIdentity& identity, uint64_t& offset,
                                                   uint64_t& size) {
    Connection connection;
    ComPtr<IVdsDisk> disk;
    if (CConsolidatedError error =
            OpenDisk(connection, identity, disk, "Cannot find disk.", "getDisk error code = %#X");
        error.IsError())
        return error;
    HRESULT hr = S_OK;
    VDS_DISK_EXTENT* extents = nullptr;
    LONG count = 0;
    hr = disk->QueryExtents(&extents, &count);
    if (FAILED(hr)) {
        CoTaskMemFree(extents);
        return VdsFault("Cannot get disk extents.", "getExtents error code = %#X", hr);
    }
    CConsolidatedError result;
    for (LONG i = 0; i < count && extents; ++i) {
        if (extents[i].volumeId == GUID{})
            continue;
        ComPtr<IVdsVolume> volume;
        hr = getVolume(connection.service.get(), extents[i].volumeId, volume.put());
        if (FAILED(hr)) {
            result = VdsFault("Cannot get volume for extent.", "getVolume error code = %#X", hr);
            break;
        }
        if (hr == 1)
            continue;
        VDS_VOLUME_PROP properties{};
        hr = volume->GetProperties(&properties);
        if (FAILED(hr)) {
            result = VdsFault("Cannot get volume properties.",
                              "VDS_VOLUME_PROP::GetProperties error code = %#X", hr);
            break;
        }
        CoTaskMemFree(properties.pwszName);
        if (properties.ulFlags & VDS_VF_BOOT_VOLUME) {
            offset = extents[i].ullOffset;
            size = extents[i].ullSize;
            break;
        }
    }
    CoTaskMemFree(extents);
    return result;
}

CConsolidatedError VdsHandler::getSystemDiskProperties(VDS_DISK_PROP& properties) {
    properties = VDS_DISK_PROP{};
    Connection connection;
    if (connection.error.IsError())
        return connection.error;
    const HRESULT hr = getSystemDisk(connection.service.get(), properties);
    if (FAILED(hr))
        return VdsFault("Cannot get VDS disk object.", "getDisk error code = %#X", hr);
    if (hr == 1)
        properties = VDS_DISK_PROP{};
    return CConsolidatedError();
}

namespace {

VdsDiskIdentity Identity(uint32_t kind, uint32_t signature, const GUID& guid) {
    VdsDiskIdentity identity;
    identity.partitionStyle = kind;
    identity.mbrSignature = signature;
    identity.gptGuid = guid;
    return identity;
}

} // namespace

CConsolidatedError VdsCleanDisk(uint32_t identityKind, uint32_t mbrSignature, const GUID& identity) {
    return VdsHandler::cleanDisk(Identity(identityKind, mbrSignature, identity));
}

CConsolidatedError VdsGetAdvancedDiskFlags(uint32_t identityKind, uint32_t mbrSignature, const GUID& identity,
                                           bool& isSystemDisk) {
    return VdsHandler::isSystemDisk(Identity(identityKind, mbrSignature, identity), isSystemDisk);
}

CConsolidatedError VdsGetLastVolumeProperties(uint32_t identityKind, uint32_t mbrSignature,
                                              const GUID& identity, uint64_t& offset, uint64_t& size) {
    return VdsHandler::getBootVolumeExtent(Identity(identityKind, mbrSignature, identity), offset, size);
}

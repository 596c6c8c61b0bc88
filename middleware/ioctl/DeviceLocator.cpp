#include "middleware/ioctl/DeviceLocator.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>

#include "middleware/core/CfgMgrDevLocationInfo.h"
#include "middleware/core/CfgMgrPathsGetters.h"
#include "middleware/core/ScopedHandle.h"
#include "middleware/core/TextConversions.h"
#include "middleware/ioctl/AtaRequests.h"
#include "middleware/ioctl/CIoctlStorage.h"
#include "middleware/ioctl/DictionaryBuffer.h"
#include "middleware/ioctl/DictionaryController.h"
#include "middleware/ioctl/InterfaceVersionStoreQuery.h"
#include "middleware/ioctl/IoctlHooks.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/ioctl/NvmeRequests.h"
#include "platform/win/Trace.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinCfgMgr.h"
#include "platform/win/WinError.h"
#include "platform/win/WinSync.h"

namespace {

// One build at a time (under the table's change lock): a thread that comes while another builds
// waits and then finds the table.
std::atomic<bool> g_built{false};

constexpr uint32_t kCapabilityRemovable = 0x4;
constexpr int kLegacyPorts = 16;
// A location walk longer than this is a malformed tree, not a PCI hierarchy.
constexpr int kMaxWalk = 32;
// The largest adapter topology descriptor taken as an identity.
constexpr DWORD kMaxTopologySize = 64 * 1024;

constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

using Identity = std::vector<uint8_t>;

struct LegacyAdapter {
    int32_t port;
    uint32_t flags;
    Identity identity;
};

// Which kind of controller answers on the handle; fills the dictionary when the driver has one.
uint32_t Classify(HANDLE handle, CDictionaryController& dictionary) {
    CDictionaryBuffer buffer(handle, kDictionaryController);
    if (buffer.Invoke().IsSuccessful() && dictionary.PointToInstance(buffer).IsSuccessful()) {
        switch (dictionary.GetValues().controllerType) {
        case kControllerTypeSata:
            return kControllerSataRaid;
        case kControllerTypeNvme:
            return kControllerNvme;
        case kControllerTypeUnkept:
            return kControllerType4;
        case kControllerTypeRemapping:
            return kControllerRemapping;
        default:
            break;
        }
    }
    CIoctlMpGetAhciInfo ahci(handle, 0);
    ahci.SetVerifyOnInvoke(true);
    if (ahci.Invoke().IsSuccessful())
        return kControllerSataRaid;

    CIoctlStorageGetProperty adapter(handle, sizeof(STORAGE_ADAPTER_DESCRIPTOR), StorageAdapterProperty);
    if (adapter.Invoke().IsError() || !adapter.GetOutBuffer() ||
        adapter.GetBytesReturned() <= offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusType))
        return 0;
    switch (adapter.GetOutBuffer()[offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusType)]) {
    case BusTypeRAID:
    case BusTypeSata:
        return kControllerOtherSata;
    case BusTypeNvme:
        return kControllerOtherNvme;
    default:
        return 0;
    }
}

// What tells one adapter from another whatever path it was opened by; empty when nothing does.
// Requests whose accessors throw pass the throw on.
Identity IdentityOf(HANDLE handle, uint32_t flags, const CDictionaryController& dictionary) {
    switch (flags) {
    case kControllerSataRaid:
    case kControllerReserved:
    case kControllerRemapping: {
        const auto& values = dictionary.GetValues();
        const auto* bytes = reinterpret_cast<const uint8_t*>(&values);
        if (bytes[0] == 0)
            return {};
        return Identity(bytes, bytes + sizeof(values));
    }
    case kControllerNvme: {
        CIoctlNvmeGetRemappedDeviceInfo info(handle, 0);
        if (info.Invoke().IsError())
            return {};
        const BYTE* identify = info.GetVerifiedPayload();
        return Identity(identify + 4, identify + 24);
    }
    case kControllerOtherSata: {
        CIoctlStorageGetPropertyOutputSize head(handle, 56, StorageAdapterPhysicalTopologyProperty);
        if (head.Invoke().IsError())
            return {};
        const DWORD size = head.GetSize();
        if (size == 0 || size > kMaxTopologySize)
            return {};
        CIoctlStorageGetProperty whole(handle, size, StorageAdapterPhysicalTopologyProperty);
        if (whole.Invoke().IsError() || !whole.GetOutBuffer())
            return {};
        return Identity(whole.GetOutBuffer(), whole.GetOutBuffer() + size);
    }
    case kControllerOtherNvme: {
        CIoctlStorageGetNvmeIdentifyController identify(handle);
        if (identify.Invoke().IsError())
            return {};
        const BYTE* data = identify.GetIdentifyData();
        return data ? Identity(data + 4, data + 24) : Identity();
    }
    default:
        return {};
    }
}

// The adapters behind "\\.\Scsi0:" to "\\.\Scsi15:" that can be told apart, for controllers whose
// own interface does not name their port.
std::vector<LegacyAdapter> LegacyAdapters() {
    std::vector<LegacyAdapter> list;
    for (int n = 0; n < kLegacyPorts; ++n) {
        char path[32];
        std::snprintf(path, sizeof(path), "\\\\.\\Scsi%d:", n);
        HANDLE raw =
            CreateFileAHook(path, kAccess, kShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw == INVALID_HANDLE_VALUE || raw == nullptr)
            continue;
        ScopedHandle handle(raw);
        try {
            CDictionaryController dictionary;
            const uint32_t flags = Classify(handle.get(), dictionary);
            Identity identity = IdentityOf(handle.get(), flags, dictionary);
            if (!identity.empty())
                list.push_back({n, flags, std::move(identity)});
        } catch (const CConsolidatedError& e) {
            MOX_TRACE(TRACE_LEVEL_WARNING, "%s skipped: identity request failed with 0x%X", path,
                      static_cast<unsigned>(e.GetErrorCode()));
        } catch (const std::exception& e) {
            MOX_TRACE(TRACE_LEVEL_WARNING, "%s skipped: %s", path, e.what());
        }
    }
    return list;
}

// Copies a narrow text into a fixed field, cut to fit with its terminator.
template <size_t N> void CopyText(char (&field)[N], const std::string& text) {
    const size_t length = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

uint32_t RootPortKind(const std::wstring& element) {
    if (element == L"SAT")
        return kRootPortSat;
    if (element == L"RP")
        return kRootPortRp;
    if (element == L"PEG")
        return kRootPortPeg;
    return kRootPortNone;
}

class Builder {
public:
    // The record of one storage-port device, or nothing when the device is not kept. Property reads
    // and identity requests that throw pass the throw on; the caller skips the device.
    std::optional<ControllerLocator> Examine(const MoxCfgMgr::IDev& device);

private:
    std::optional<int32_t> LegacyPort(uint32_t flags, const Identity& identity);

    std::optional<std::vector<LegacyAdapter>> legacy_;
};

std::optional<ControllerLocator> Builder::Examine(const MoxCfgMgr::IDev& device) {
    using namespace MoxCfgMgr;
    static const std::wregex ids(LR"(VEN_(\w{4})&DEV_(\w{4})&SUBSYS_(\w{4}))");
    const std::wstring instanceId = device.getInstanceId();
    std::wsmatch match;
    if (!std::regex_search(instanceId, match, ids))
        return std::nullopt;
    auto hex = [](const std::wstring& text) {
        return static_cast<uint16_t>(std::wcstoul(text.c_str(), nullptr, 16));
    };

    // The nearest device at or above the controller that sits on PCI bus 0.
    DevLocationInfo location(device);
    std::unique_ptr<IDev> above;
    const IDev* current = &device;
    const DevFactory makeParent = MakeCfgMgrDeviceFactory(kLocateNormal, {1, 2, 3, 4, 5});
    for (int steps = 0; location.getBusNumber() != 0; ++steps) {
        if (steps == kMaxWalk)
            throw std::runtime_error("location walk does not reach PCI bus 0");
        std::unique_ptr<IDev> parent =
            makeParent(std::wstring(), current->getProperty(DevProperty::Parent).asString());
        location = DevLocationInfo(*parent);
        above = std::move(parent);
        current = above.get();
    }

    HANDLE raw = CreateFileWHook(device.getInterfacePath().c_str(), kAccess, kShare, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE)
        return std::nullopt;
    ScopedHandle handle(raw);

    CDictionaryController dictionary;
    const uint32_t flags = Classify(handle.get(), dictionary);
    if ((flags & ~kControllerType4) == 0)
        return std::nullopt;
    // Only another vendor's adapter is asked whether it is removable: an unreadable property must
    // not cost the vendor's own controller its record.
    if ((flags & kControllerMaskOtherVendor) &&
        (device.getProperty(DevProperty::Capabilities).asUint32() & kCapabilityRemovable))
        return std::nullopt;

    int32_t port = -1;
    CIoctlDiskGetDiskAddress address(handle.get());
    if (address.Invoke().IsSuccessful()) {
        port = static_cast<int32_t>(address.GetScsiAddress() >> 24);
    } else {
        std::optional<int32_t> legacy = LegacyPort(flags, IdentityOf(handle.get(), flags, dictionary));
        if (!legacy)
            return std::nullopt;
        port = *legacy;
    }

    ControllerLocator record{};
    record.signature = kControllerLocatorSignature;
    record.flags = flags;
    record.portNumber = port;
    record.dictionary = dictionary.GetValues();
    record.rootPortKind = RootPortKind(location.getAcpiElementName());
    record.pciFunction = static_cast<uint8_t>(location.getFunction());
    record.pciDevice = static_cast<uint8_t>(location.getDevice());
    record.pciBus = static_cast<uint8_t>(location.getBusNumber());
    record.rootPortNumber =
        location.getAcpiElementNumber() < 0 ? 0xFF : static_cast<uint8_t>(location.getAcpiElementNumber());
    record.pciVendorId = hex(match[1].str());
    record.pciDeviceId = hex(match[2].str());
    record.pciSubsystemId = hex(match[3].str());

    try {
        CopyText(record.serviceName,
                 ToNarrowString(device.getProperty(DevProperty::Service).asString().substr(0, 63)));
    } catch (const std::exception&) {
        CopyText(record.serviceName, "Unknown Service");
    }
    try {
        CopyText(record.controllerName,
                 ToNarrowString(device.getProperty(DevProperty::DeviceDesc).asString()));
    } catch (const std::exception&) {
        CopyText(record.controllerName, "Unknown Controller");
    }
    try {
        const std::string version = ToNarrowString(device.getProperty(DevProperty::DriverVersion).asString());
        unsigned v[4] = {};
        if (std::sscanf(version.c_str(), "%u.%u.%u.%u", &v[0], &v[1], &v[2], &v[3]) == 4)
            std::copy(std::begin(v), std::end(v), record.driverVersion);
        else
            MOX_TRACE(TRACE_LEVEL_WARNING, "Port %d: driver version \"%s\" is not four numbers", port,
                      version.c_str());
    } catch (const std::exception& e) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "Port %d: driver version not read: %s", port, e.what());
    }

    char name[32];
    std::snprintf(name, sizeof(name), "Scsi%d:_RO", port);
    record.mutex = CreateMutexA(nullptr, FALSE, name);
    if (!record.mutex)
        MOX_TRACE(TRACE_LEVEL_ERROR, "Mutex %s not created, last error %u", name, GetLastError());
    else if (GetLastError() == ERROR_ALREADY_EXISTS)
        MOX_TRACE(TRACE_LEVEL_INFORMATION, "Mutex %s already exists: shared with another process", name);

    record.deviceHandle = handle.release();
    return record;
}

std::optional<int32_t> Builder::LegacyPort(uint32_t flags, const Identity& identity) {
    if (!legacy_)
        legacy_ = LegacyAdapters();
    if (identity.empty())
        return std::nullopt;
    for (const LegacyAdapter& entry : *legacy_)
        if (entry.flags == flags && entry.identity == identity)
            return entry.port;
    return std::nullopt;
}

} // namespace

DeviceLocator::DeviceLocator() {
    if (GetCount() == 0)
        Build();
}

int DeviceLocator::Build() {
    if (g_built.load())
        return GetCount();
    std::lock_guard<std::recursive_mutex> lock(ChangeLock());
    // Built meanwhile, filled by a test, or asked again from inside this thread's own build.
    if (int count = GetCount(); count != 0)
        return count;

    // A device the configuration manager cannot describe is left out, not the whole list.
    const MoxCfgMgr::DevFactory make =
        MakeCfgMgrDeviceFactory(MoxCfgMgr::kLocateNormal, {1, 2, 3, 4, 5, 7, 6, 15});
    MoxCfgMgr::DevEnumerator enumerator(
        std::make_unique<MoxCfgMgr::DevInterfacePathsGetter>(GUID_DEVINTERFACE_STORAGEPORT),
        [&make](const std::wstring& path, const std::wstring& id) -> std::unique_ptr<MoxCfgMgr::IDev> {
            try {
                return make(path, id);
            } catch (const std::exception& e) {
                MOX_TRACE(TRACE_LEVEL_WARNING, "Storage port %ls skipped: %s", path.c_str(), e.what());
                return nullptr;
            }
        });
    const std::vector<std::unique_ptr<MoxCfgMgr::IDev>> devices = enumerator.enumerate();

    Builder builder;
    for (const auto& device : devices) {
        if (!device)
            continue;
        if (GetCount() == kMaxControllers) {
            MOX_TRACE(TRACE_LEVEL_WARNING, "More than %d controllers: the rest are not kept",
                      kMaxControllers);
            break;
        }
        try {
            if (std::optional<ControllerLocator> record = builder.Examine(*device))
                AppendRecord(*record);
        } catch (const CConsolidatedError& e) {
            MOX_TRACE(TRACE_LEVEL_WARNING, "Storage port %ls skipped: request failed with 0x%X",
                      device->getInterfacePath().c_str(), static_cast<unsigned>(e.GetErrorCode()));
        } catch (const std::exception& e) {
            MOX_TRACE(TRACE_LEVEL_WARNING, "Storage port %ls skipped: %s", device->getInterfacePath().c_str(),
                      e.what());
        }
    }

    if (GetCount() == 0) {
        ControllerLocator placeholder{};
        placeholder.signature = kControllerLocatorSignature;
        placeholder.flags = kControllerPlaceholder;
        AppendRecord(placeholder);
    }
    const int count = GetCount();
    for (int i = 0; i < count; ++i) {
        ControllerLocator& record = *GetByIndex(i);
        if (!(record.flags & kControllerMaskReal))
            continue;
        try {
            RegisterInterfaceVersions(record);
        } catch (const CConsolidatedError& e) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "Port %d: interface versions not registered: %s", record.portNumber,
                      e.GetErrorMessage());
        } catch (const std::exception& e) {
            // Whatever fails here, the build must end the version store's bypass below.
            MOX_TRACE(TRACE_LEVEL_ERROR, "Port %d: interface versions not registered: %s", record.portNumber,
                      e.what());
        }
    }
    IoctlInterfaceVersionStore::EndBuildBypass();
    g_built.store(true);
    return count;
}

int DeviceLocator::FindNextByFlags(uint32_t mask, int index) {
    if (mask != kControllerPlaceholder)
        Build();
    const int count = GetCount();
    // Past the last record there is nothing to find (and index + 1 must not overflow).
    for (int i = index < -1 ? 0 : (index >= count ? count : index + 1); i < count; ++i)
        if (GetByIndex(i)->flags & mask)
            return i;
    return -1;
}

void DeviceLocator::ResetForTests() {
    std::lock_guard<std::recursive_mutex> lock(ChangeLock());
    Clear();
    g_built.store(false);
    IoctlInterfaceVersionStore::ResetForTests();
}

#include "middleware/model/NonOrvexDisk.h"

#include <algorithm>
#include <cstring>

#include "middleware/core/ScopedHandle.h"
#include "middleware/ioctl/CIoctlStorage.h"
#include "middleware/ioctl/IoctlHooks.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/WinDiskList.h"
#include "platform/win/Trace.h"

namespace {

constexpr DWORD kDevicePhysicalTopologyProperty = 54;
// The fixed part of the topology descriptor the size query asks for.
constexpr DWORD kTopologyHeadSize = 56;
constexpr DWORD kTopologyMaxSize = 64 * 1024;
// Descriptor bytes: node count, then node 0 (from 16): its device count and device data offset.
constexpr size_t kNodeCount = 8;
constexpr size_t kNode0 = 16;
constexpr size_t kNode0DeviceCount = kNode0 + 16;
constexpr size_t kNode0DeviceDataOffset = kNode0 + 24;
// In a device data record: Model and FirmwareRevision.
constexpr size_t kDeviceModel = 32;
constexpr size_t kDeviceModelSize = 40;
constexpr size_t kDeviceFirmware = 72;
constexpr size_t kDeviceFirmwareSize = 16;

// Identify controller bytes.
constexpr size_t kNvmeSerial = 4;
constexpr size_t kNvmeSerialSize = 20;
constexpr size_t kNvmeModel = 24;
constexpr size_t kNvmeModelSize = 40;
constexpr size_t kNvmeFirmware = 64;
constexpr size_t kNvmeFirmwareSize = 8;

// Windows bus types.
constexpr uint32_t kBusScsi = 1;
constexpr uint32_t kBusSata = 11;
constexpr uint32_t kBusNvme = 17;

CConsolidatedError InvalidValue(const char* message, const char* debug) {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, message, debug);
    return error;
}

std::string Bytes(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

} // namespace

CConsolidatedError NonOrvexDiskExtension::Populate(const std::wstring& devicePath) {
    HANDLE handle = CreateFileWHook(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return InvalidValue(nullptr, "Could not get handle for disk interface");
    ScopedHandle device(handle);
    try {
        return internalPopulate(device.get());
    } catch (const CConsolidatedError& e) {
        // An answer whose offsets lie outside it.
        return e;
    }
}

CConsolidatedError NonOrvexDiskAtaExtension::internalPopulate(HANDLE device) {
    CIoctlStorageGetPropertyOutputSize size(device, kTopologyHeadSize, kDevicePhysicalTopologyProperty);
    CConsolidatedError result = size.Invoke();
    if (result.IsError())
        return result;
    // The size comes from the device: a descriptor smaller than its head or beyond any real one is refused.
    const DWORD descriptorSize = size.GetSize();
    if (descriptorSize < kTopologyHeadSize || descriptorSize > kTopologyMaxSize)
        return InvalidValue(
            "Topology descriptor size out of range in NonOrvexDiskAtaExtension::internalPopulate", nullptr);
    CIoctlStorageGetProperty topology(device, descriptorSize, kDevicePhysicalTopologyProperty);
    result = topology.Invoke();
    if (result.IsError())
        return result;

    // Everything below is read only where the descriptor's answer has it.
    const uint8_t* d = topology.GetOutBuffer();
    const uint64_t length = d ? std::min(topology.GetBytesReturned(), topology.GetOutBufferSize()) : 0;
    if (length < kNode0DeviceDataOffset + 4 || model::Read32(d, kNodeCount) == 0 ||
        model::Read32(d, kNode0DeviceCount) == 0)
        return InvalidValue("Topology descriptor has no nodes in NonOrvexDiskAtaExtension::internalPopulate",
                            nullptr);
    const uint64_t device0 = kNode0 + static_cast<uint64_t>(model::Read32(d, kNode0DeviceDataOffset));
    if (device0 + kDeviceFirmware + kDeviceFirmwareSize > length) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "Topology descriptor: device data at %llu outside its %llu bytes",
                  static_cast<unsigned long long>(device0), static_cast<unsigned long long>(length));
        return InvalidValue("Topology descriptor device data lies outside the descriptor in "
                            "NonOrvexDiskAtaExtension::internalPopulate",
                            nullptr);
    }
    m_ModelNumber = Bytes(d + device0 + kDeviceModel, kDeviceModelSize);
    m_FirmwareRevision = Bytes(d + device0 + kDeviceFirmware, kDeviceFirmwareSize);

    CIoctlStorageGetAtaIndentify identify(device);
    result = identify.Invoke();
    if (result.IsError())
        return result;
    m_RotationRate = identify.GetRotationRate();
    m_SolidState = m_RotationRate == 1;
    return result;
}

CConsolidatedError NonOrvexDiskNvmeExtension::internalPopulate(HANDLE device) {
    m_SolidState = true;
    CIoctlStorageGetNvmeIdentifyController identify(device);
    CConsolidatedError result = identify.Invoke();
    if (result.IsError())
        return result;
    const BYTE* data = identify.GetIdentifyData();
    if (!data)
        return InvalidValue("Identify data cannot be null in NonOrvexDiskNvmeExtension::internalPopulate",
                            nullptr);
    m_SerialNumber = Bytes(data + kNvmeSerial, kNvmeSerialSize);
    m_ModelNumber = Bytes(data + kNvmeModel, kNvmeModelSize);
    m_FirmwareRevision = Bytes(data + kNvmeFirmware, kNvmeFirmwareSize);
    return result;
}

NonOrvexDisk::NonOrvexDisk(std::unique_ptr<RaidDiskConfig> raidConfig,
                           std::unique_ptr<NonOrvexDiskExtension> extension,
                           std::unique_ptr<HybridDiskExtension> hybrid)
    : Disk(std::move(raidConfig), std::move(hybrid)), m_Extension(std::move(extension)) {}

CConsolidatedError NonOrvexDisk::internalPopulate(HANDLE target) {
    return m_Hybrid ? m_Hybrid->Populate(target) : CConsolidatedError();
}

CConsolidatedError NonOrvexDisk::internalWinDiskPopulate(const WinDiskInterface& view) {
    const uint32_t bus = view.getBusType();
    if (bus == kBusScsi || bus == kBusSata) {
        m_DiskKind = kKindAta;
    } else if (bus == kBusNvme) {
        m_DiskKind = kKindNvme;
    } else {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, nullptr);
        error.AddErrorMessage("Unsupported bus type in NonOrvexDisk::internalWinDiskPopulate: %d",
                              static_cast<int>(bus));
        return error;
    }
    return m_Extension ? m_Extension->Populate(view.getDevicePath()) : CConsolidatedError();
}

void NonOrvexDisk::getModelNumber(std::string& model) {
    if (m_Extension)
        model = m_Extension->getModelNumber();
}

void NonOrvexDisk::getFirmwareRevision(std::string& firmware) {
    if (m_Extension)
        firmware = m_Extension->getFirmwareRevision();
}

void NonOrvexDisk::isSolidState(bool& solidState) {
    if (m_Extension)
        solidState = m_Extension->isSolidState();
}

void NonOrvexDisk::getSectorSizes(uint32_t& logical, uint32_t& physical) {
    if (!m_WinDisk)
        return;
    logical = m_WinDisk->getLogicalSectorSize();
    physical = m_WinDisk->getPhysicalSectorSize();
}

const char* NonOrvexDisk::getNvmeSerialNumber() const {
    return m_Extension && !m_Extension->getSerialNumber().empty() ? m_Extension->getSerialNumber().c_str()
                                                                  : nullptr;
}

std::unique_ptr<Disk> MakeNonOrvexDisk(int32_t kindCode) {
    if (kindCode == kNonOrvexKindSata)
        return std::make_unique<NonOrvexDisk>(nullptr, std::make_unique<NonOrvexDiskAtaExtension>(), nullptr);
    if (kindCode == kNonOrvexKindNvme)
        return std::make_unique<NonOrvexDisk>(nullptr, std::make_unique<NonOrvexDiskNvmeExtension>(),
                                              std::make_unique<HybridDiskExtensionNonOrvex>());
    return nullptr;
}

std::vector<std::shared_ptr<Disk>> PopulateNonOrvexDisks(const WinDiskList& winDisks, HANDLE target,
                                                         int32_t storagePort, int32_t kindCode,
                                                         uint32_t controllerHandle, uint32_t busCode) {
    std::vector<std::shared_ptr<Disk>> disks;
    for (const WinDiskInterface& view : winDisks) {
        const PackedScsiAddress address = view.getScsiAddress();
        if (address == kNoScsiAddress || static_cast<int32_t>(address >> 24) != storagePort)
            continue;
        std::unique_ptr<Disk> disk = MakeNonOrvexDisk(kindCode);
        if (!disk)
            continue;
        try {
            if (disk->Populate(target, address, controllerHandle, busCode, winDisks).IsSuccessful())
                disks.push_back(std::move(disk));
        } catch (const CConsolidatedError& e) {
            MOX_TRACE(TRACE_LEVEL_WARNING, "Disk at 0x%08X left out: 0x%X", address,
                      static_cast<unsigned>(e.GetErrorCode()));
        }
    }
    return disks;
}

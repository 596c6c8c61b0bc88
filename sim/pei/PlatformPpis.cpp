#include "sim/pei/PlatformPpis.h"

#include <cstring>

#include "sim/Schema.h"
#include "sim/pei/PeiCall.h"
#include "sim/pei/PeiEnvironment.h"

namespace sim::pei {
namespace {

using namespace sim::schema;

const FaultKind kPath("ControllerPathGetPath", {"index"}, Object({{"error", Uint16()}}));
const FaultKind kPchn({"PchnStorageGetDeviceBase", "PchnStorageGetDeviceInfo"}, {"index"},
                      Object({{"error", Uint16()}}));

PlatformPpis& Platform() {
    return Environment::Current().platform();
}

EFI_STATUS EFIAPI PpiGetControllerPath(ControllerPathPpi* This, UINT32 Index, UINT32* Length,
                                       EFI_DEVICE_PATH_PROTOCOL** Path) {
    (void)This;
    return Entered("ControllerPathPpi", [&] { return Platform().GetControllerPath(Index, Length, Path); });
}

EFI_STATUS EFIAPI PpiGetDeviceBase(PchnStoragePpi* This, UINT32 DeviceIndex, UINT32* MmioBase) {
    (void)This;
    return Entered("PchnStoragePpi function 0",
                   [&] { return Platform().GetDeviceBase(DeviceIndex, MmioBase); });
}

EFI_STATUS EFIAPI PpiGetDeviceInfo(PchnStoragePpi* This, UINT32 DeviceIndex, UINT32* Info0, UINT32* Info1) {
    (void)This;
    return Entered("PchnStoragePpi function 1",
                   [&] { return Platform().GetDeviceInfo(DeviceIndex, Info0, Info1); });
}

// ACPI PNP0A03 UID 0, PCI function 0 device 0x17, end.
const std::vector<uint8_t> kControllerPath = {0x02, 0x01, 0x0C, 0x00, 0xD0, 0x41, 0x03, 0x0A,
                                              0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x06, 0x00,
                                              0x00, 0x17, 0x7F, 0xFF, 0x04, 0x00};

void Fill(EFI_PEI_PPI_DESCRIPTOR& d, EFI_GUID* guid, void* ppi) {
    d.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
    d.Guid = guid;
    d.Ppi = ppi;
}

} // namespace

PlatformPpis::PlatformPpis(Environment& env) : controllerPath(kControllerPath), env_(env) {
    controllerPathPpi_.Revision = 1;
    controllerPathPpi_.GetControllerPath = PpiGetControllerPath;
}

PlatformPpis::~PlatformPpis() = default;

EFI_STATUS PlatformPpis::InstallControllerPath() {
    // The path stays where the platform put it for the rest of the PEI phase.
    controllerPathInstalled_ = controllerPath;
    Fill(controllerPathDescriptor_, &gControllerPathPpiGuid, &controllerPathPpi_);
    return env_.ppis().Install(&controllerPathDescriptor_);
}

EFI_STATUS PlatformPpis::InstallPchnStorage() {
    const size_t bytes = PCHN_STORAGE_ENTRY_OFFSET + PCHN_STORAGE_ENTRY_SIZE * pchnDevices.size();
    // 8-byte words, so that the interface 4 bytes in is aligned for the 32-bit firmware that reads it.
    pchnRecord_.assign((bytes + 7) / 8, 0);
    auto* record = reinterpret_cast<uint8_t*>(pchnRecord_.data());
    std::memcpy(record, &pchnSignature, 4);
    const PchnStoragePpi interface { PpiGetDeviceBase, PpiGetDeviceInfo };
    static_assert(PCHN_STORAGE_INTERFACE_OFFSET + sizeof interface <= PCHN_STORAGE_ENTRY_OFFSET,
                  "the interface lies before the entries");
    std::memcpy(record + PCHN_STORAGE_INTERFACE_OFFSET, &interface, sizeof interface);
    for (size_t i = 0; i < pchnDevices.size(); ++i) {
        uint8_t* entry = record + PCHN_STORAGE_ENTRY_OFFSET + PCHN_STORAGE_ENTRY_SIZE * i;
        entry[PCHN_STORAGE_ENTRY_BUS] = pchnDevices[i].bus;
        entry[PCHN_STORAGE_ENTRY_FUNCTION] = pchnDevices[i].function;
        entry[PCHN_STORAGE_ENTRY_DEVICE] = pchnDevices[i].device;
    }
    Fill(pchnDescriptor_, &gPchnStoragePpiGuid, record + PCHN_STORAGE_INTERFACE_OFFSET);
    return env_.ppis().Install(&pchnDescriptor_);
}

EFI_STATUS PlatformPpis::InstallSmmHandoffSignal() {
    Fill(signalDescriptor_, &gSmmHandoffSignalPpiGuid, &signalPpi_);
    return env_.ppis().Install(&signalDescriptor_);
}

EFI_STATUS PlatformPpis::GetControllerPath(UINT32 index, UINT32* length, EFI_DEVICE_PATH_PROTOCOL** path) {
    if (auto status = PeiFault("ControllerPathGetPath", {{"index", index}}))
        return *status;
    if (!length || !path)
        return EFI_INVALID_PARAMETER;
    if (EFI_ERROR(controllerPathStatus))
        return controllerPathStatus;
    if (index != 0)
        return EFI_NOT_FOUND;
    *length = static_cast<UINT32>(controllerPathInstalled_.size());
    *path = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(controllerPathInstalled_.data());
    return controllerPathStatus;
}

EFI_STATUS PlatformPpis::GetDeviceBase(UINT32 index, UINT32* base) {
    if (auto status = PeiFault("PchnStorageGetDeviceBase", {{"index", index}}))
        return *status;
    if (!base)
        return EFI_INVALID_PARAMETER;
    if (index >= pchnDevices.size())
        return pchnEndStatus;
    if (!EFI_ERROR(pchnDevices[index].baseStatus))
        *base = pchnDevices[index].mmioBase;
    return pchnDevices[index].baseStatus;
}

EFI_STATUS PlatformPpis::GetDeviceInfo(UINT32 index, UINT32* info0, UINT32* info1) {
    if (auto status = PeiFault("PchnStorageGetDeviceInfo", {{"index", index}}))
        return *status;
    if (!info0 || !info1)
        return EFI_INVALID_PARAMETER;
    if (index >= pchnDevices.size())
        return EFI_NOT_FOUND;
    *info0 = index;
    *info1 = 0;
    return pchnDevices[index].infoStatus;
}

} // namespace sim::pei

#include "middleware/model/AhciPort.h"

#include <cstdio>
#include <cstring>

#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/ioctl/Rtd3Request.h"
#include "middleware/ioctl/ZpoddInfo.h"

namespace {

// The longest port key text; longer keys are cut.
constexpr size_t kKeyCharacters = 30;

// Sends a request the port keeps with its answer checked; a failure drops it with the debug text.
template <class Request>
bool SendKept(std::unique_ptr<Request>& kept, std::unique_ptr<Request> request, CConsolidatedError& result,
              const char* debug, bool clearWin32Failure) {
    request->SetVerifyOnInvoke(true);
    result = request->Invoke();
    if (result.IsSuccessful()) {
        kept = std::move(request);
        return true;
    }
    result.AddDebugInformation("%s", debug);
    if (clearWin32Failure && result.GetErrorCode() == CConsolidatedError::WIN32_ERROR)
        result.ClearError();
    return false;
}

// Sends a capabilities request with its answer checked and copies the start of its data.
template <size_t N>
CConsolidatedError ReadCapabilityData(CIoctlMpGetSetCapabilities&& request, std::array<uint8_t, N>& into) {
    request.SetVerifyOnInvoke(true);
    CConsolidatedError result = request.Invoke();
    if (result.IsSuccessful())
        std::memcpy(into.data(), request.GetCapabilityData(), N);
    return result;
}

ControllerLocator& RecordForAddress(PackedScsiAddress address) {
    DeviceLocator table;
    ControllerLocator* record = DeviceLocator::FindByPort(static_cast<int32_t>(address >> 24));
    if (!record) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, nullptr,
                       "No controller for the port of the address");
        throw error;
    }
    return *record;
}

} // namespace

CConsolidatedError AhciPort::Populate(HANDLE target, PackedScsiAddress address, uint8_t phyIdentifier) {
    m_Address = address;
    char key[kKeyCharacters + 1];
    std::snprintf(key, sizeof(key), "Port_%4.4d%4.4d_%lld", static_cast<int>((address >> 16) & 0xFF),
                  static_cast<int>((address >> 8) & 0xFF),
                  static_cast<long long>(reinterpret_cast<intptr_t>(target)));
    m_Handle = HandleRegistry::instance().getHandle(HandleKindPort, key);

    CConsolidatedError result = internalPopulate(target);
    if (result.IsError())
        return result;
    getDevicePresent(m_DevicePresent);

    if (IoctlInterfaceVersionStore::CheckInterfaceSupport(target, kCsmiSasSignature))
        readSataSignature(target, phyIdentifier);
    if (m_PortCapabilities && m_DevicePresent && (m_PortCapabilities->GetCapabilityData()[3] & 0x01) == 0)
        readRtd3Info(target);
    return CConsolidatedError();
}

CConsolidatedError AhciPort::internalPopulate(HANDLE target) {
    CConsolidatedError result;
    bool readAhciData = true;
    if (!SendKept(m_ConnectionInfo, std::make_unique<CIoctlReMapPortGetConnectionInfo>(target, m_Address),
                  result, "Could not get Remapped Port info in AhciPort::internalPopulate", false))
        result.ClearError();
    else if (getConnectionType() != kConnectionAhci)
        readAhciData = false;

    if (readAhciData && IoctlInterfaceVersionStore::CheckInterfaceSupport(target, kAtaSignature)) {
        if (SendKept(m_PortCapabilities, std::make_unique<CIoctlMpGetPortCapabilities>(target, m_Address),
                     result, "Could not get portCaps info in AhciPort::internalPopulate", false) &&
            SendKept(m_PortDeviceMap, std::make_unique<CIoctlMpGetPortDeviceMap>(target, m_Address), result,
                     "Could not get portDeviceMap info in AhciPort::internalPopulate", true))
            SendKept(m_PortSpeed, std::make_unique<CIoctlMpSpeed>(target, m_Address), result,
                     "Could not get portSpeed info in AhciPort::internalPopulate", true);

        result = ReadCapabilityData(CIoctlMpGetAhciInfo(target, m_Address), m_AhciInfo);
        if (result.IsError())
            return result;
        result = ReadCapabilityData(CIoctlMpGetPortRegisters(target, m_Address), m_PortRegisters);
        if (result.IsError())
            return result;
    }

    if (IoctlInterfaceVersionStore::CheckFeatureSupport(target, kFeatureAhciPortLocation)) {
        CConsolidatedError location = ReadRemapDeviceLocation(m_DeviceLocation, target, m_Address);
        if (location.IsError())
            return location;
    }
    return result;
}

void AhciPort::getDevicePresent(bool& present) const {
    present = m_PortDeviceMap != nullptr || getConnectionType() == kConnectionRemappedNvme;
}

bool AhciPort::isRemappedNvmePort() const {
    return m_ConnectionInfo && getConnectionType() == kConnectionRemappedNvme;
}

ULONG AhciPort::getConnectionType() const {
    return m_ConnectionInfo ? m_ConnectionInfo->GetConnectionType() : 0;
}

ULONG AhciPort::getDeviceMapWord() const {
    if (!m_PortDeviceMap)
        return 0;
    ULONG word = 0;
    std::memcpy(&word, m_PortDeviceMap->GetVerifiedPayload(), sizeof(word));
    return word;
}

void AhciPort::readSataSignature(HANDLE target, uint8_t phyIdentifier) {
    CIoctlCsmiGetSataSignature request(target, kCsmiSasSignature, 0, phyIdentifier);
    const bool sent = request.Invoke().IsSuccessful();
    m_SataSignature = CSMI_SAS_SATA_SIGNATURE_BUFFER{};
    m_SataSignature.IoctlHeader.ReturnCode = 0xFFFFFFFF;
    if (sent)
        m_SataSignature = request.GetOutputRecordUnverified();
}

void AhciPort::readRtd3Info(HANDLE target) {
    CIoctlRtd3Info request(target, m_Address);
    if (request.Invoke().IsSuccessful())
        m_Rtd3Info = request.GetInfo();
}

AhciInfo ReadAhciInfoForAddress(PackedScsiAddress address) {
    ControllerLocator& record = RecordForAddress(address);
    AhciInfo info{};
    CConsolidatedError result = ReadCapabilityData(CIoctlMpGetAhciInfo(&record, address), info);
    if (result.IsError())
        throw result;
    return info;
}

uint64_t ReadRtd3InfoForAddress(PackedScsiAddress address) {
    ControllerLocator& record = RecordForAddress(address);
    CIoctlRtd3Info request(&record, address);
    CConsolidatedError result = request.Invoke();
    if (result.IsError())
        throw result;
    return request.GetInfo();
}

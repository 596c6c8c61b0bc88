#include "middleware/model/AhciDisk.h"

#include <cstring>

#include "middleware/core/ScopedHandle.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/ioctl/ScsiPassThroughRequests.h"
#include "middleware/ioctl/ZpoddRequest.h"

namespace {

constexpr size_t kSerialWord = 10;
constexpr size_t kSerialWords = 10;
constexpr size_t kFirmwareWord = 23;
constexpr size_t kFirmwareWords = 4;
constexpr size_t kModelWord = 27;
constexpr size_t kModelWords = 20;
constexpr size_t kTrustedComputingWord = 48;
// The discovery answer the disk must give at least: header and one descriptor header.
constexpr DWORD kMinimumDiscovery = 44;
// Byte 4 of the Locking feature descriptor: bit 2 locked.
constexpr uint8_t kLockedBit = 0x04;

void SwapWordBytes(const uint8_t* identify, size_t firstWord, size_t words, char* out) {
    for (size_t i = 0; i < words; ++i) {
        out[2 * i] = static_cast<char>(identify[2 * (firstWord + i) + 1]);
        out[2 * i + 1] = static_cast<char>(identify[2 * (firstWord + i)]);
    }
}

} // namespace

AhciDisk::AhciDisk(std::unique_ptr<RaidDiskConfig> raidConfig) : Disk(std::move(raidConfig), nullptr) {}

CConsolidatedError AhciDisk::internalPopulate(HANDLE target) {
    m_Identify = std::make_unique<CIoctlMpIdentify>(target, m_ScsiAddress);
    m_Identify->SetVerifyOnInvoke(true);
    CConsolidatedError result = m_Identify->Invoke();
    if (result.IsError())
        throw result;
    if (m_SerialNumber[0] == '\0')
        SwapWordBytes(m_Identify->GetVerifiedPayload(), kSerialWord, kSerialWords, m_SerialNumber);

    m_Speed = std::make_unique<CIoctlMpSpeed>(target, m_ScsiAddress);
    m_Speed->SetVerifyOnInvoke(true);
    result = m_Speed->Invoke();
    if (result.IsError())
        result.AddDebugInformation("Could not get diskSpeed info in AhciDisk::internalPopulate");

    if (IoctlInterfaceVersionStore::CheckInterfaceSupport(target, kAtaSignature)) {
        CIoctlZeroPowerOdd zpodd(target, m_ScsiAddress);
        result = zpodd.Invoke();
        if (result.IsSuccessful())
            m_Zpodd = zpodd.GetInfo();
    }
    return result;
}

CConsolidatedError AhciDisk::internalWinDiskPopulate(const WinDiskInterface& view) {
    // A disk whose security state cannot be read is listed without it.
    static_cast<void>(FillOpalSecurityInformation(view));
    return CConsolidatedError();
}

CConsolidatedError AhciDisk::FillOpalSecurityInformation(const WinDiskInterface& view) {
    m_OpalState = kOpalUnknown;
    CConsolidatedError result;
    if (!m_Identify || !m_Identify->IsVerified()) {
        result.SetError(CConsolidatedError::GENERAL_INSUFF_MEM,
                        "There is no Identify Data object in AhciDisk::FillOpalSecurityInformation");
        return result;
    }
    const uint8_t* identify = m_Identify->GetVerifiedPayload();
    if ((identify[2 * kTrustedComputingWord] & 0x01) == 0)
        return result;

    HANDLE handle = view.openHandle();
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return result;
    ScopedHandle device(handle);
    CIoctlScsiSecurityProtocolIn discovery(device.get(), kMinimumDiscovery);
    result = discovery.Invoke();
    if (result.IsSuccessful()) {
        if (const BYTE* locking = discovery.FindLockingFeature())
            m_OpalState = (locking[4] & kLockedBit) != 0 ? kOpalLocked : kOpalUnlocked;
    }
    return result;
}

std::string AhciDisk::identifyText(size_t firstWord, size_t words) const {
    if (!m_Identify || !m_Identify->IsVerified())
        return std::string();
    std::string text(2 * words, '\0');
    SwapWordBytes(m_Identify->GetVerifiedPayload(), firstWord, words, text.data());
    return text.substr(0, text.find('\0'));
}

void AhciDisk::getModelNumber(std::string& model) {
    model = identifyText(kModelWord, kModelWords);
}

void AhciDisk::getFirmwareRevision(std::string& firmware) {
    firmware = identifyText(kFirmwareWord, kFirmwareWords);
}

uint32_t AhciDisk::getDeviceType() const {
    return kDeviceTypeAhci;
}

void AhciDisk::getZpoddInfo(_ZPODD_INFO& info) const {
    info = m_Zpodd;
}

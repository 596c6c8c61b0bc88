// The system record: product settings from the registry, whether the driver's link power settings
// are in effect, the OEM reserved volume, feature bits and the worst status of a session. On its way
// it applies the reserved volume's export policy and the stored buffer flush settings again.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "middleware/api/CapabilityBlock.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/SystemOperations.h"
#include "middleware/api/UviSystemRecords.h"
#include "middleware/api/UviVolumeRecords.h"
#include "middleware/api/VolumeSetters.h"
#include "middleware/api/VolumeStateRules.h"
#include "middleware/api/WorstStatus.h"
#include "middleware/core/Registry.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/ZrcRemapRequestCache.h"
#include "platform/win/WinError.h"
#include "platform/win/WinRegistry.h"

namespace {

constexpr const char* kXqjdSettingsKey = "SOFTWARE\\Orvex\\Xqjd";
constexpr const char* kFlushPoliciesKey = "SOFTWARE\\Orvex\\Bexl\\VolumeFlushPolicies";
constexpr uint32_t kRecordVersion = 10;
constexpr size_t kOemNameBytes = 17;
// The export policy the OEM reserved volume must have.
constexpr uint32_t kReservedVolumeExportPolicy = 96;
// Word 148 of the 172-byte device configuration, past its 4-byte address.
constexpr size_t kExportPolicyWord = 144;
// Volume record words the RAID level is computed from.
constexpr size_t kRawLevel = 24, kDiskCount = 40, kDomains = 80, kFlags = 108;

// Passes when the value is missing or reads as 1.
bool LinkPowerValuePasses(HKEY key, const std::wstring& name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status =
        RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
    return status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && value == 1);
}

// Whether the link power settings the library wrote are the driver's: true as soon as one
// controller has link power controller numbers, false when a setting of one of them is off or a key
// cannot be read.
bool LinkPowerManagementEnabled(Session& session) {
    bool enabled = false;
    for (const auto& [numbers, locator] : LinkPowerControllers(session)) {
        enabled = true;
        if (!locator)
            continue;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, LinkPowerServiceKey(*locator).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        const LSTATUS opened =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, LinkPowerKey(*locator).c_str(), 0, KEY_READ, &key);
        // Without settings of its own the driver keeps link power management on.
        if (opened == ERROR_FILE_NOT_FOUND)
            continue;
        if (opened != ERROR_SUCCESS)
            return false;
        bool passes = true;
        for (int n : numbers)
            for (int phy = 0; phy < kLpmPhyCount && passes; ++phy)
                passes = LinkPowerValuePasses(key, LinkPowerValueName(n, phy, L"HIPM")) &&
                         LinkPowerValuePasses(key, LinkPowerValueName(n, phy, L"DIPM"));
        RegCloseKey(key);
        if (!passes)
            return false;
    }
    return enabled;
}

// The name in "OemReservedVolume", empty when it is missing or longer than a volume name.
std::string OemReservedVolumeName() {
    char buffer[255] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer;
    if (RegistryQueryValue(HKEY_LOCAL_MACHINE, kProductSettingsKey, "OemReservedVolume", &type, buffer,
                           &size) != ERROR_SUCCESS ||
        size > kOemNameBytes)
        return std::string();
    return std::string(buffer, strnlen(buffer, size));
}

bool ReadFlag(const char* key, const char* valueName) {
    DWORD value = 0;
    return RegistryReadDword(HKEY_LOCAL_MACHINE, key, valueName, &value) == ERROR_SUCCESS && value != 0;
}

bool XqjdMode(const Controller& controller) {
    return (ReadCapabilityBlock(controller.getControllerDictionary().oromVersion).wordC >> 2) & 1;
}

// The reserved volume must be exported with its policy; only a RAID 0 volume is one.
void ApplyReservedVolume(const Controller& controller, const RaidVolume& volume, _UVI_SystemInfo& info) {
    const volume_rules::RaidLevel level = volume_rules::ComputeRaidLevel(
        volume.getRecordWord(kRawLevel), volume.getRecordWord(kDomains), volume.getRecordWord(kDiskCount),
        volume.getRecordWord(kFlags), controller.getVezkVolume().get() == &volume);
    if (level.code != UVI_RAID_LEVEL_0)
        return;
    std::memcpy(info.oemReservedVolume, volume.getName().c_str(),
                std::min(volume.getName().size(), sizeof info.oemReservedVolume - 1));
    uint32_t policy = 0;
    if (volume.getDeviceConfig())
        std::memcpy(&policy, volume.getDeviceConfig()->record + kExportPolicyWord, sizeof policy);
    if (policy == kReservedVolumeExportPolicy)
        return;
    const uint32_t handle = volume.getHandle();
    // Refused or failed, the system record is still read: the next call tries again.
    try {
        static_cast<void>(runWithSession(0, [handle](Session& own) {
            return internalUviVolumeSetExportPolicy(own, handle,
                                                    static_cast<int>(kReservedVolumeExportPolicy));
        }));
    } catch (...) {
    }
}

// Windows forgets a disk's buffer flush setting when the disk comes back; the stored value is the
// library's own.
void ApplyStoredBufferFlush(const RaidVolume& volume) {
    DWORD value = 0;
    if (RegistryReadDword(HKEY_LOCAL_MACHINE, kFlushPoliciesKey, volume.getName(), &value) != ERROR_SUCCESS)
        return;
    const uint32_t handle = volume.getHandle();
    try {
        static_cast<void>(runWithSession(0, [handle, value](Session& own) {
            return internalUviVolumeSetBufferFlush(&own, handle, value != 0);
        }));
    } catch (...) {
        // A setting that cannot be applied now is applied at the next call.
    }
}

CConsolidatedError FillSystemInfo(Session& session, _UVI_SystemInfo& info) {
    info.linkPowerManagementEnabled = LinkPowerManagementEnabled(session) ? 1 : 0;
    info.recordVersion = kRecordVersion;
    info.reserved4 = 0;
    const std::string reserved = OemReservedVolumeName();
    for (const auto& controller : session.getControllers()) {
        if (!controller)
            continue;
        info.xqjdMode = XqjdMode(*controller) ? 1 : 0;
        for (const auto& volume : controller->getVolumes()) {
            if (!volume)
                continue;
            if (!reserved.empty() && volume->getName() == reserved)
                ApplyReservedVolume(*controller, *volume, info);
            ApplyStoredBufferFlush(*volume);
        }
    }
    const char* settings = info.xqjdMode ? kXqjdSettingsKey : kProductSettingsKey;
    info.emailDisabled = ReadFlag(settings, "DisableEmail") ? 1 : 0;
    info.performanceModeDisabled = ReadFlag(settings, "DisablePerformanceMode") ? 1 : 0;
    info.rohiDisabled = ReadFlag(settings, "DisableROHI") ? 1 : 0;
    info.reserved26 = 0;

    uint32_t features = 0;
    if (!info.emailDisabled)
        features |= UVI_FEATURE_EMAIL;
    if (info.xqjdMode)
        features |= UVI_FEATURE_XQJD_MODE;
    if (!info.performanceModeDisabled)
        features |= UVI_FEATURE_PERFORMANCE_MODE;
    if (info.reserved26)
        features |= UVI_FEATURE_RESERVED_26;
    if (session.getZrcRemapBiosVariables() && session.getZrcRemapBiosVariables()->isRemapSupported())
        features |= UVI_FEATURE_CONTROLLER_REMAP;
    info.features = features;

    int worst = 0;
    CConsolidatedError error = computeWorstStatus(session, worst);
    if (error.IsError()) {
        error.SetError(CConsolidatedError::UVI_INVALIDSESSION,
                       "Error in getting the session data in UviGetSystemInfo");
        return error;
    }
    info.worstStatus = static_cast<uint32_t>(worst);
    return error;
}

} // namespace

extern "C" _UVI_Error UviGetSystemInfo(unsigned int session, uint32_t version, _UVI_SystemInfo* info) {
    if (session == 0 || version != UVI_SYSTEM_INFO_VERSION)
        return RunExportedCall([] { return CConsolidatedError(CConsolidatedError::UVI_INVALIDHANDLE); });
    if (!info)
        return RunExportedCall([] {
            CConsolidatedError error;
            error.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, nullptr);
            error.AddDebugInformation("Get system info: system info is null");
            return error;
        });
    std::memset(info, 0, sizeof *info);
    return RunSessionCall(session, [info](Session& s) { return FillSystemInfo(s, *info); });
}

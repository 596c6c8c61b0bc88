// The PHYs of the own-driver controllers (their ports and the disks attached through them) and the
// two runtime power reads that go straight to the driver.
#include <cstring>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviPhyRecords.h"
#include "middleware/model/AhciController.h"
#include "middleware/model/AhciPort.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/Session.h"

namespace {

// PxCMD bits.
constexpr uint32_t kCmdAutoPartialToSlumber = 1u << 23;
constexpr uint32_t kCmdAtapi = 1u << 24;
constexpr uint32_t kCmdAlpe = 1u << 26;
constexpr uint32_t kCmdAsp = 1u << 27;
constexpr unsigned kCmdPortMultiplier = 17;
constexpr unsigned kCmdHotPlug = 18;
constexpr unsigned kCmdMechanicalSwitch = 19;
constexpr unsigned kCmdColdPresence = 20;
constexpr unsigned kCmdExternal = 21;
constexpr unsigned kCmdFisSwitching = 22;
// CAP bit 28: mechanical presence switch supported.
constexpr unsigned kCapMechanicalSwitch = 28;
// PxDEVSLP in the port register block.
constexpr size_t kDevSleepRegister = 0x44;
constexpr uint32_t kConnectionPcie = 3;

uint8_t Bit(uint32_t word, unsigned bit) {
    return (word >> bit) & 1;
}
uint32_t Bits(uint32_t word, unsigned first, unsigned count) {
    return (word >> first) & ((1u << count) - 1);
}

uint32_t Limited(uint32_t value, uint32_t low, uint32_t high) {
    return value >= low && value <= high ? value : 0;
}

CConsolidatedError Failure(CConsolidatedError::KEDO2_ERRORS code, const char* message) {
    CConsolidatedError error;
    error.SetError(code, nullptr);
    if (message)
        error.AddErrorMessage("%s", message);
    return error;
}

bool IsPlaceholder(const Disk& disk) {
    const auto& config = disk.getRaidDiskConfig();
    return config && (config->isNotPresent() || config->isMissing());
}

void FillSpeed(CIoctlMpSpeed& request, UVI_PhyInfo& info) {
    const MP_SPEED_DATA speed = request.GetSpeed();
    info.maximumLinkRate = Limited(speed.ControllerMaxSpeed, 1, 3);
    info.negotiatedLinkRate = Limited(speed.Speed, 1, 3);
    info.linkRate = info.negotiatedLinkRate;
}

void FillConnection(AhciPort& port, UVI_PhyInfo& info) {
    const REMAPPORT_IOCTL_GET_CONNECTION_INFO answer = port.getConnectionInfo()->GetConnectionInfo();
    info.connectionKind = Limited(answer.ConnectionKind, 1, 3);
    info.portInterface = answer.PortInterface <= 1 ? 1 : Limited(answer.PortInterface, 2, 3);
    info.busWidth = Limited(answer.BusWidth, 1, 4);
    info.busSpeed = Limited(answer.BusSpeed, 1, 5);
    if (info.connectionKind == kConnectionPcie)
        info.externalPort = 0;
}

void FillLocation(const AhciPort& port, UVI_PhyInfo& info) {
    const RemapDeviceLocation& location = port.getDeviceLocation();
    info.locationType = Limited(location.kind, 1, 4);
    info.locationPort = location.portNumber;
    info.locationCycleRouter = location.cycleRouterNumber;
    info.locationBus = location.rootPortBus;
    info.locationDevice = location.rootPortDevice;
    info.locationFunction = location.rootPortFunction;
    info.locationSocket = location.socket;
    info.locationController = location.controller;
    info.locationSlot = location.physicalSlot;
}

void FillAddress(PackedScsiAddress address, UVI_PhyInfo& info) {
    info.targetId = (address >> 8) & 0xFF;
    info.pathId = (address >> 16) & 0xFF;
    info.portNumber = (address >> 24) & 0xFF;
}

// The record of a port. Zeroed first, so no byte of the caller's buffer is passed off as the port's.
void FillPort(const Controller& controller, AhciPort& port, UVI_PhyInfo& info) {
    std::memset(&info, 0, sizeof info);
    info.controllerHandle = controller.getHandle();
    info.handle = PhyHandleOfPort(port.getHandle());
    const PackedScsiAddress address = port.getAddress();
    info.lun = address & 0xFF;
    FillAddress(address, info);
    info.pathIdWord = info.pathId;
    info.one28 = 1;
    if (port.isDevicePresent()) {
        info.portHandle = PortHandleOfPort(port.getHandle());
        info.deviceAttached = 1;
    }
    info.attachedKind = 1;
    info.attachedHandle = controller.getHandle();
    if (auto* capabilities = port.getPortCapabilities()) {
        const uint32_t cmd = model::Read32(capabilities->GetCapabilityData(), 0);
        info.externalPort = Bit(cmd, kCmdExternal);
        info.hotPlugCapable = Bit(cmd, kCmdHotPlug);
        info.coldPresenceDetection = Bit(cmd, kCmdColdPresence);
        info.portMultiplierAttached = Bit(cmd, kCmdPortMultiplier);
        info.atapiDevice = (cmd & kCmdAtapi) != 0;
        info.fisBasedSwitchingCapable = Bit(cmd, kCmdFisSwitching);
        info.aggressiveSlumberPartial = (cmd & kCmdAsp) != 0;
        info.aggressiveLinkPowerManagement = (cmd & kCmdAlpe) != 0;
        info.mechanicalPresenceSwitchAttached = Bit(cmd, kCmdMechanicalSwitch);
        info.automaticPartialToSlumber = (cmd & kCmdAutoPartialToSlumber) != 0;
        info.portCommand = cmd;
    }
    info.one48 = 1;
    info.one56 = 1;
    if (auto* speed = port.getPortSpeed())
        FillSpeed(*speed, info);
    if (const auto* ahci = dynamic_cast<const AhciController*>(&controller))
        if (auto* request = ahci->getAhciInfoRequest())
            info.mechanicalPresenceSwitchSupported =
                Bit(model::Read32(request->GetCapabilityData(), 0), kCapMechanicalSwitch);
    if (port.getConnectionInfo())
        FillConnection(port, info);
    info.csmiPhyIdentifier = port.getSataSignature().Signature.bPhyIdentifier;
    info.csmiReturnCode = port.getSataSignature().IoctlHeader.ReturnCode;
    info.ahciInfoBits = model::Read32(port.getAhciInfo().data(), 8) & 0xF;
    const uint64_t rtd3 = port.getRtd3Info();
    info.rtd3Capable = ((rtd3 >> 32) & 0xFF) != 0 && ((rtd3 >> 40) & 0xFF) != 0;
    const uint32_t devSleep = model::Read32(port.getPortRegisters().data(), kDevSleepRegister);
    info.aggressiveDeviceSleep = Bit(devSleep, 0);
    info.deviceSleepPresent = Bit(devSleep, 1);
    info.deviceSleepExitTimeout = Bits(devSleep, 2, 8);
    info.minimumDeviceSleepAssertionTime = Bits(devSleep, 10, 5);
    info.deviceSleepIdleTimeout = Bits(devSleep, 15, 10);
    info.deviceSleepIdleTimeoutMultiplier = Bits(devSleep, 25, 4);
    FillLocation(port, info);
}

} // namespace

CConsolidatedError fillPhyInfofromAhciDisks(const Controller& controller, const Disk& disk,
                                            UVI_PhyInfo* info) {
    if (!info)
        return Failure(CConsolidatedError::GENERAL_NULL_PARAMETER, "Provided UVI_PhyInfo is null");
    CConsolidatedError result;
    std::memset(info, 0, sizeof *info);
    info->controllerHandle = controller.getHandle();
    info->handle = PhyHandleOfDisk(disk.getHandle());
    FillAddress(disk.getScsiAddress(), *info);
    info->one28 = 1;
    info->portHandle = PortHandleOfDisk(disk.getHandle());
    info->deviceAttached = 1;
    info->attachedKind = 2;
    info->attachedHandle = disk.getHandle();
    std::shared_ptr<AhciPort> port;
    for (const auto& candidate : controller.getPorts())
        if (candidate->getAddress() == disk.getScsiAddress()) {
            port = candidate;
            break;
        }
    info->one48 = 1;
    info->one56 = 1;
    if (port && port->getPortCapabilities() && port->getPortSpeed()) {
        const uint32_t cmd = model::Read32(port->getPortCapabilities()->GetCapabilityData(), 0);
        info->externalPort = Bit(cmd, kCmdExternal);
        info->hotPlugCapable = Bit(cmd, kCmdHotPlug);
        FillSpeed(*port->getPortSpeed(), *info);
    } else {
        result.AddDebugInformation("Could not get port for the disk in  fillPhyInfofromAhciDisks");
    }
    if (port) {
        if (port->getConnectionInfo())
            FillConnection(*port, *info);
        FillLocation(*port, *info);
    }
    return result;
}

CConsolidatedError internalUviGetPhyHandles(Session* session, uint32_t* list, uint32_t* count) {
    if (!session)
        return Failure(CConsolidatedError::UVI_INVALIDSESSION,
                       "NULL session passed into internalUviGetPhyHandles");
    if (!count || (*count != 0 && !list))
        return Failure(CConsolidatedError::UVI_INVALIDPARAMETER,
                       "NULL handleList was passed for a non-zero handleCount");
    const uint32_t capacity = *count;
    uint32_t position = 0;
    uint32_t needed = 0;
    CConsolidatedError error;
    for (const auto& controller : session->getControllers()) {
        const uint32_t objects =
            static_cast<uint32_t>(controller->getPorts().size() + controller->getDisks().size());
        if (capacity < objects) {
            needed += objects;
            error = Failure(CConsolidatedError::UVI_BUFFERTOOSMALL,
                            "Buffer to fill the phy handles was too small");
            continue;
        }
        for (const auto& port : controller->getPorts()) {
            if (capacity < position + 1) {
                needed += position + 1;
                error = Failure(CConsolidatedError::GENERAL_INSUFF_MEM, nullptr);
                break;
            }
            list[position++] = PhyHandleOfPort(port->getHandle());
        }
        if (error.IsError())
            continue;
        for (const auto& disk : controller->getDisks()) {
            if (capacity < position + 1) {
                needed += position + 1;
                error = Failure(CConsolidatedError::GENERAL_INSUFF_MEM, nullptr);
                break;
            }
            if (IsPlaceholder(*disk))
                continue;
            list[position++] = PhyHandleOfDisk(disk->getHandle());
        }
    }
    *count = error.IsError() ? needed : position;
    return error;
}

CConsolidatedError internalUviGetPhyInfo(Session& session, uint32_t phyHandle, UVI_PhyInfo* info) {
    for (const auto& controller : session.getControllers()) {
        for (const auto& port : controller->getPorts())
            if (PhyHandleOfPort(port->getHandle()) == phyHandle) {
                if (!info)
                    return Failure(CConsolidatedError::GENERAL_NULL_PARAMETER,
                                   "Provided UVI_PhyInfo is null");
                FillPort(*controller, *port, *info);
                return {};
            }
        for (const auto& disk : controller->getDisks())
            if (PhyHandleOfDisk(disk->getHandle()) == phyHandle)
                return fillPhyInfofromAhciDisks(*controller, *disk, info);
    }
    return InvalidHandleError("Invalid Handle passed in internalUviGetPhyInfo, Received: %d", phyHandle);
}

extern "C" MOX_EXPORT _UVI_Error UviGetPhyHandles(unsigned int session, unsigned int* handleList,
                                                  unsigned int* handleCount) {
    return RunSessionCall(session,
                          [=](Session& s) { return internalUviGetPhyHandles(&s, handleList, handleCount); });
}

extern "C" MOX_EXPORT _UVI_Error UviGetPhyInfo(unsigned int session, unsigned int phyHandle,
                                               UVI_PhyInfo* info) {
    return RunSessionCall(session, [=](Session& s) { return internalUviGetPhyInfo(s, phyHandle, info); });
}

extern "C" MOX_EXPORT bool UviGetIsRTD3HotEnabled(uint32_t address) {
    try {
        return (ReadRtd3InfoForAddress(address) & 0xFFFFFFFF) == 1;
    } catch (...) {
        // A device whose runtime D3 information cannot be read does not have it enabled.
        return false;
    }
}

extern "C" MOX_EXPORT int32_t UviUpdatePmInterfaceFields(UVI_PmInterfaceFields* record) {
    if (!record)
        return 0;
    try {
        const AhciInfo info = ReadAhciInfoForAddress(record->address);
        record->field1 = Bits(model::Read32(info.data(), 4), 8, 4);
        record->field2 = Bits(model::Read32(info.data(), 8), 8, 4);
        return static_cast<int32_t>(record->field1);
    } catch (...) {
        // Nothing is written when the controller's AHCI information cannot be read.
        return 0;
    }
}

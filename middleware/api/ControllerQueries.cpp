#include "middleware/api/ControllerQueries.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/CapabilityBlock.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/RaidInfoQueries.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/model/AhciController.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/ZrcController.h"
#include "middleware/model/ZrcRemapRequestCache.h"
#include "platform/win/WinBase.h"

namespace {

// Flag byte positions, as offsets into the record minus 424.
constexpr int kFlag(int offset) {
    return offset - 424;
}

bool Bit(uint32_t word, int bit) {
    return (word >> bit) & 1u;
}

// Bit 25 of capability word A: SSD caching.
constexpr int kSsdCachingBitOfA = 25;
// A volume record's flag word and the flag of a cache volume the driver keeps for itself.
constexpr size_t kVolumeFlagsWord = 0x6C;
constexpr uint32_t kDriverCacheVolumeFlag = 0x10000;

void CopyText(char* field, size_t size, const std::string& text) {
    std::snprintf(field, size, "%s", text.c_str());
}

void FillDisplayName(char (&name)[256], const Controller& controller) {
    std::snprintf(name, sizeof name, "%s \\\\Scsi%d", controller.getName().c_str(),
                  static_cast<int>(controller.getPortNumber()));
}

// What both controller records carry alike: handle, port, display name, PCI identity, driver
// version numbers, root-port location and the remap mark.
template <class Record> void FillIdentity(Record& r, const Controller& controller) {
    r.controllerHandle = controller.getHandle();
    r.portNumber = static_cast<uint8_t>(controller.getPortNumber());
    FillDisplayName(r.name, controller);
    r.vendorId = controller.getVendorId();
    r.deviceId = controller.getDeviceId();
    r.subsystemId = controller.getSubsystemId();
    r.revisionId = controller.getRevisionId();
    r.subClass = controller.getSubClassCode();
    r.subsystemVendorId = controller.getSubsystemVendorId();
    for (int i = 0; i < 4; ++i)
        r.driverVersionNumbers[i] = controller.getDriverVersion()[i];
    const ZrcPciLocation& location = controller.getPciLocation();
    r.rootPortBus = location.bus;
    r.rootPortDevice = location.device;
    r.rootPortFunction = location.function;
    r.scheduledForRemap = controller.isScheduledForZrcRemap() ? 1 : 0;
}

bool RemapPossible(const Session& session, const Controller& controller) {
    const auto* remapRequests = session.getZrcRemapBiosVariables();
    return remapRequests && remapRequests->isRemapSupported() && session.hasZrcController() &&
           controller.isRemapCapable();
}

// The flags the capability blocks give; both the option ROM's and the driver's block must have a
// bit for its flag to be set.
void FillBlockFlags(_UVI_ControllerInfo& info, const CapabilityBlocks& blocks, bool raidCapable) {
    const uint32_t a = blocks.orom.wordA & blocks.driver.wordA;
    const uint32_t b = blocks.orom.wordB & blocks.driver.wordB;
    const uint32_t c = blocks.orom.wordC & blocks.driver.wordC;
    uint8_t* f = info.capabilities;
    f[kFlag(432)] = Bit(b, 0);
    f[kFlag(439)] = Bit(a, 26);
    f[kFlag(440)] = Bit(a, 29);
    f[kFlag(448)] = Bit(c, 5);
    f[kFlag(449)] = Bit(a, kSsdCachingBitOfA);
    f[kFlag(450)] = Bit(c, 11) && (!raidCapable || info.volumePortSupported);
    f[kFlag(452)] = Bit(c, 3);
    f[kFlag(453)] = Bit(c, 7);
    f[kFlag(454)] = Bit(c, 4);
    f[kFlag(456)] = Bit(c, 9);
    for (int bit = 0; bit <= 4; ++bit)
        f[kFlag(470) + bit] = Bit(a, bit);
    for (int bit = 1; bit <= 12; ++bit)
        f[kFlag(476) + bit - 1] = Bit(info.stripSizeMask, bit);
    f[kFlag(488)] = Bit(c, 14);
    info.featuresTableBit6OfC = Bit(blocks.features.wordC, 6);
    info.capabilityBit3OfB = Bit(b, 3);
}

CConsolidatedError FillAhciPart(const Controller& controller, _UVI_ControllerInfo& info) {
    CConsolidatedError result;
    const auto* ahci = dynamic_cast<const AhciController*>(&controller);
    if (!ahci) {
        result.SetError(CConsolidatedError::UVI_INTERNALERROR, "Controller not AHCI type");
        return result;
    }
    CIoctlMpGetAhciInfo* request = ahci->getAhciInfoRequest();
    if (!request) {
        result.SetError(CConsolidatedError::UVI_INTERNALERROR, "Cannot obtain AhciInfo from controller");
        return result;
    }
    // A kept answer that fails verification throws; the exported framing returns it.
    const BYTE* data = request->GetCapabilityData();
    uint32_t cap = 0, portsImplemented = 0, cap2 = 0;
    std::memcpy(&cap, data, 4);
    std::memcpy(&portsImplemented, data + 12, 4);
    std::memcpy(&cap2, data + 16, 4);
    info.ahciCommandSlots = (cap >> 8) & 0x1F;
    info.ahciPortCount = (cap & 0x1F) + 1;
    info.ahciPortsImplemented = portsImplemented;
    info.ahciInterfaceSpeed = (cap >> 20) & 0xF;
    uint8_t* f = info.capabilities;
    f[kFlag(457)] = Bit(cap, 26);
    f[kFlag(458)] = Bit(cap2, 2);
    f[kFlag(459)] = Bit(cap2, 4);
    f[kFlag(460)] = Bit(cap2, 3);
    f[kFlag(461)] = Bit(cap2, 5);
    f[kFlag(462)] = Bit(cap2, 0);
    f[kFlag(463)] = Bit(cap, 7);
    f[kFlag(464)] = Bit(cap, 6);
    f[kFlag(465)] = Bit(cap2, 1);
    f[kFlag(466)] = Bit(cap, 13);
    f[kFlag(467)] = Bit(cap, 15);
    f[kFlag(468)] = Bit(cap, 14);
    f[kFlag(469)] = Bit(cap, 27);

    const CSMI_SAS_CNTLR_CONFIG& config = controller.getCsmiControllerConfig();
    info.csmiBiosRevision[0] = config.usBIOSMajorRevision;
    info.csmiBiosRevision[1] = config.usBIOSMinorRevision;
    info.csmiBiosRevision[2] = config.usBIOSBuildRevision;
    info.csmiBiosRevision[3] = config.usBIOSReleaseRevision;
    info.csmiBoardId = config.uBoardID;
    info.csmiIoBusType = config.bIoBusType;
    info.csmiControllerClass = config.bControllerClass;
    info.csmiControllerFlags = config.uControllerFlags;
    info.csmiRevision[0] = config.usMajorRevision;
    info.csmiRevision[1] = config.usMinorRevision;
    info.csmiRevision[2] = config.usBuildRevision;
    info.csmiRevision[3] = config.usReleaseRevision;
    info.csmiRromBiosRevision[0] = config.usRromBIOSMajorRevision;
    info.csmiRromBiosRevision[1] = config.usRromBIOSMinorRevision;
    info.csmiRromBiosRevision[2] = config.usRromBIOSBuildRevision;
    info.csmiRromBiosRevision[3] = config.usRromBIOSReleaseRevision;
    info.csmiRromRevision[0] = config.usRromMajorRevision;
    info.csmiRromRevision[1] = config.usRromMinorRevision;
    info.csmiRromRevision[2] = config.usRromBuildRevision;
    info.csmiRromRevision[3] = config.usRromReleaseRevision;
    std::memcpy(info.csmiSerialNumber, config.szSerialNumber, sizeof info.csmiSerialNumber);
    info.csmiSlotNumber = config.usSlotNumber;
    const CSMI_SAS_CNTLR_STATUS& status = controller.getCsmiControllerStatus();
    info.csmiOfflineReason = status.uOfflineReason;
    info.csmiStatus = status.uStatus;
    return result;
}

} // namespace

uint8_t ControllerAccelerationByte(const Controller& controller) {
    const ControllerDictionaryValues& dictionary = controller.getControllerDictionary();
    if (dictionary.valid == 0)
        return 0;
    const CapabilityBlocks blocks = ReadCapabilityBlocks(dictionary);
    return Bit(blocks.orom.wordA & blocks.driver.wordA, kSsdCachingBitOfA) ? 1 : 0;
}

bool BlockCacheKeptByDriver(const Controller& controller) {
    const auto blockCache = controller.getBlockCacheVolume();
    return blockCache && (blockCache->getRecordWord(kVolumeFlagsWord) & kDriverCacheVolumeFlag) != 0 &&
           ControllerAccelerationByte(controller) == 0;
}

std::shared_ptr<Controller> FindDefaultController(const Session& session) {
    for (const auto& c : session.getControllers())
        if (dynamic_cast<ZrcController*>(c.get()))
            return c;
    for (const auto& c : session.getControllers())
        if (dynamic_cast<AhciController*>(c.get()))
            return c;
    return nullptr;
}

uint64_t PackCapabilityFlags(const uint8_t (&flags)[UVI_CAPABILITY_FLAG_COUNT]) {
    uint64_t mask = 0;
    auto set = [&](int flag, int bit) {
        if (flags[flag] == 1)
            mask |= uint64_t{1} << bit;
    };
    for (int i = 0; i <= 5; ++i)
        set(i, i);
    set(kFlag(455), 6);
    for (int i = kFlag(430); i <= kFlag(450); ++i)
        set(i, 7 + i - kFlag(430));
    set(kFlag(488), 29);
    set(kFlag(489), 30);
    return mask;
}

CConsolidatedError internalUviGetControllerHandles(Session* session, uint32_t* handleList,
                                                   uint32_t* handleCount) {
    CConsolidatedError result;
    if (!session) {
        result.SetError(UVI_STATUS_INVALID_SESSION,
                        "NULL Session passed into internalUviGetControllerHandles", nullptr);
        return result;
    }
    const auto& controllers = session->getControllers();
    uint32_t i = 0;
    for (const auto& controller : controllers) {
        if (*handleCount < controllers.size()) {
            result.SetError(CConsolidatedError::GENERAL_INSUFF_MEM,
                            "Insufficient handle count passed into get controller handles\n");
            *handleCount = static_cast<uint32_t>(controllers.size());
            return result;
        }
        if (handleList)
            handleList[i] = controller->getHandle();
        ++i;
    }
    *handleCount = i;
    return result;
}

CConsolidatedError internalUviGetControllerInfo(Session& session, uint32_t controllerHandle,
                                                _UVI_ControllerInfo* info) {
    CConsolidatedError result;
    const std::shared_ptr<Controller> controller = controllerHandle == 0
                                                       ? FindDefaultController(session)
                                                       : session.getControllerByHandle(controllerHandle);
    if (!controller) {
        return InvalidHandleError("Invalid Handle passed in internalUviGetControllerInfo, Received: %d",
                                  controllerHandle);
    }
    _UVI_ControllerInfo& r = *info;
    std::memset(&r, 0, sizeof r);
    r.volumeCount = static_cast<uint32_t>(controller->getVolumeCount());
    r.arrayCount = static_cast<uint32_t>(controller->getArrayCount());
    r.memberDiskCount = static_cast<uint32_t>(controller->getDiskCount());
    FillIdentity(r, *controller);
    r.interfaceNotSupported = controller->isDriverInterfaceSupported() ? 0 : 1;
    r.ataSupported = controller->isAtaSupported();
    r.ataSupportedCopy = controller->isAtaSupported();
    r.raidSupported = controller->isRaidSupported();
    r.remapPortSupported = controller->isRemapPortSupported();
    r.nvmeSupported = controller->isNvmeSupported();
    r.volumePortSupported = controller->isVolumePortSupported();
    r.csmiSupported = controller->isCsmiAllSupported();
    r.csmiSasSupported = controller->isCsmiSasSupported();
    r.safeMode = GetSystemMetrics(SM_CLEANBOOT) != 0 ? 1 : 0;
    const int type = controller->getType();
    r.type = (type == Controller::kTypeAhci || type == Controller::kTypeNvme || type == Controller::kTypeZrc)
                 ? static_cast<uint32_t>(type)
                 : 0;
    if (!controller->getVersionText().empty())
        CopyText(r.driverVersion, sizeof r.driverVersion, controller->getVersionText());
    r.raidInfoHandle = RaidInfoHandle(controller->getHandle());
    r.portCount = static_cast<uint32_t>(controller->getPorts().size());
    r.volumesCreatable = static_cast<uint32_t>(controller->getRemainingVolumes());
    r.constantThree = static_cast<uint32_t>(controller->getFixedCount());

    _UVI_RaidInfo limits{};
    result = internalUviRaidInfo(session, r.raidInfoHandle, &limits);
    if (result.IsError()) {
        result.AddDebugInformation("Could not get RaidInfo values from Raidinfo Handle");
        return result;
    }
    r.maxDisksTotal = limits.maxDisksTotal;
    r.maxVolumesPerController = limits.maxVolumesPerController;
    r.maxDisksPerArray = limits.maxDisksPerArray;
    r.maxVolumesPerArray = limits.maxVolumesPerArray;

    r.raidLevelMask = computeRaidLevelMask(*controller);
    r.remapPathMask = controller->getImplementedPathMask();
    r.reserved524 = 0;

    const ControllerDictionaryValues& dictionary = controller->getControllerDictionary();
    const bool dictionaryValid = dictionary.valid != 0;
    const CapabilityBlocks blocks = ReadCapabilityBlocks(dictionary);
    if (dictionaryValid) {
        const uint16_t* v = blocks.orom.version;
        std::snprintf(r.optionRomVersion, sizeof r.optionRomVersion, "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
        for (int i = 0; i < 4; ++i)
            r.optionRomVersionNumbers[i] = v[i];
        r.prebootDriverType = dictionary.prebootDriverType;
        r.dictionaryControllerType = dictionary.controllerType;
        r.maxPhysPerPort = dictionary.maxPhysPerPort;
        r.buildType = dictionary.buildType;
        r.fuaDisabled = dictionary.fuaEnabled == 0 ? 1 : 0;
    }
    r.rohiPolicy = controller->getRohiPolicy() ? 1 : 0;

    const uint32_t both = (blocks.orom.wordA & blocks.driver.wordA);
    const uint32_t bothC = (blocks.orom.wordC & blocks.driver.wordC);
    const bool raidCapable = controller->isRaidSupported() &&
                             (r.raidLevelMask != 0 || (dictionaryValid && (Bit(both, 25) || Bit(bothC, 11))));
    if (dictionaryValid)
        r.stripSizeMask = static_cast<uint16_t>(blocks.orom.stripMask & blocks.driver.stripMask);
    if (dictionaryValid)
        FillBlockFlags(r, blocks, raidCapable);
    uint8_t* f = r.capabilities;
    for (int offset : {424, 428, 436, 437, 441, 443, 444, 445})
        f[kFlag(offset)] = raidCapable;
    f[kFlag(429)] = raidCapable && (r.raidLevelMask & 0xF) != 0;
    f[kFlag(489)] = RemapPossible(session, *controller);

    if (type == Controller::kTypeAhci && controller->isDriverInterfaceSupported()) {
        result = FillAhciPart(*controller, r);
        if (result.IsError())
            return result;
    }
    r.capabilityMask = PackCapabilityFlags(r.capabilities);
    return result;
}

CConsolidatedError internalUviGetThirdPartyControllerHandles(Session& session, uint32_t* handleList,
                                                             uint32_t* handleCount) {
    std::vector<uint32_t> handles;
    for (const auto& controller : session.getThirdPartyControllers())
        handles.push_back(controller->getHandle());
    return FillHandlesWhenAllFit(handles, handleList, handleCount);
}

CConsolidatedError internalUviGetThirdPartyControllerInfo(Session& session, uint32_t controllerHandle,
                                                          _UVI_ThirdPartyControllerInfo* info) {
    CConsolidatedError result;
    const auto controller = session.getThirdPartyControllerByHandle(controllerHandle);
    if (!controller) {
        return InvalidHandleError("Can't find controller with handle [%d] in GetThirdPartyControllerInfo",
                                  controllerHandle);
    }
    _UVI_ThirdPartyControllerInfo& r = *info;
    std::memset(&r, 0, sizeof r);
    FillIdentity(r, *controller);
    r.type = static_cast<uint32_t>(controller->getType());
    CopyText(r.driverVersion, sizeof r.driverVersion, controller->getVersionText());
    r.capabilities[kFlag(489)] = RemapPossible(session, *controller);
    r.capabilityMask = PackCapabilityFlags(r.capabilities);
    return result;
}

extern "C" {

_UVI_Error UviGetControllerHandles(unsigned int session, uint32_t* handleList, uint32_t* handleCount) {
    if (!handleCount)
        return NullParameterError("handleCount cannot be null in GetControllerHandles");
    return RunSessionCall(
        session, [&](Session& s) { return internalUviGetControllerHandles(&s, handleList, handleCount); });
}

_UVI_Error UviGetControllerInfo(unsigned int session, uint32_t controllerHandle, _UVI_ControllerInfo* info) {
    if (!info)
        return NullParameterError("controllerInfo cannot be null in GetControllerInfo");
    return RunSessionCall(
        session, [&](Session& s) { return internalUviGetControllerInfo(s, controllerHandle, info); });
}

_UVI_Error UviGetThirdPartyControllerHandles(unsigned int session, uint32_t* handleList,
                                             uint32_t* handleCount) {
    if (!handleCount)
        return NullParameterError("handleCount cannot be null in GetThirdPartyControllerHandles");
    return RunSessionCall(session, [&](Session& s) {
        return internalUviGetThirdPartyControllerHandles(s, handleList, handleCount);
    });
}

_UVI_Error UviGetThirdPartyControllerInfo(unsigned int session, uint32_t controllerHandle,
                                          _UVI_ThirdPartyControllerInfo* info) {
    if (!info)
        return NullParameterError("controllerInfo cannot be null in GetThirdPartyControllerInfo");
    return RunSessionCall(session, [&](Session& s) {
        return internalUviGetThirdPartyControllerInfo(s, controllerHandle, info);
    });
}
}

#include "middleware/api/RaidInfoQueries.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/CapabilityBlock.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/RaidLevelTable.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"

namespace {

constexpr uint32_t kSingleDiskRaid0Bit = 1u << 25;  // of capability word A
constexpr uint32_t kSingleDiskRaid0BitC = 1u << 11; // of capability word C

std::shared_ptr<Controller> ControllerOfRaidInfoHandle(Session& session, uint32_t raidInfoHandle) {
    for (const auto& controller : session.getControllers())
        if (controller && RaidInfoHandle(controller->getHandle()) == raidInfoHandle)
            return controller;
    return nullptr;
}

} // namespace

uint64_t computeRaidLevelMask(const Controller& controller) {
    uint64_t mask = 0;
    const ControllerDictionaryValues& dictionary = controller.getControllerDictionary();
    if (dictionary.valid == 0)
        return mask;
    const CapabilityBlocks blocks = ReadCapabilityBlocks(dictionary);
    const uint8_t both = blocks.orom.raidLevels & blocks.driver.raidLevels;
    if (both & 0x01)
        mask |= 0x1;
    if (both & 0x02)
        mask |= 0x2;
    if (both & 0x04)
        mask |= 0x4;
    if (both & 0x08)
        mask |= 0x2000;
    if (both & 0x10)
        mask |= 0x8;
    if (controller.isVezkSupported())
        mask |= 0x20;
    if ((blocks.orom.wordA & blocks.driver.wordA & kSingleDiskRaid0Bit) ||
        (blocks.orom.wordC & blocks.driver.wordC & kSingleDiskRaid0BitC))
        mask |= 0x40000;
    return mask;
}

CConsolidatedError internalUviGetRaidInfoHandles(Session* session, uint32_t* handleList,
                                                 uint32_t* handleCount) {
    CConsolidatedError result;
    if (!session) {
        result.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, nullptr,
                        "Get raid info handles: session is null");
        return result;
    }
    if (!handleCount) {
        result.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, "handleCount cannot be null");
        return result;
    }
    if (*handleCount != 0 && !handleList) {
        result.SetError(CConsolidatedError::UVI_BUFFERTOOSMALL,
                        "NULL handleList was passed for a non-zero handleCount");
        return result;
    }
    const auto& controllers = session->getControllers();
    const auto needed = static_cast<uint32_t>(controllers.size());
    if (*handleCount < needed) {
        *handleCount = needed;
        result.SetError(CConsolidatedError::UVI_BUFFERTOOSMALL,
                        "Insufficient handle count passed into get raid handles\n");
        return result;
    }
    for (uint32_t i = 0; i < needed; ++i)
        handleList[i] = RaidInfoHandle(controllers[i]->getHandle());
    *handleCount = needed;
    return result;
}

CConsolidatedError internalUviRaidInfo(Session& session, uint32_t raidInfoHandle, _UVI_RaidInfo* info) {
    CConsolidatedError result;
    const auto controller = ControllerOfRaidInfoHandle(session, raidInfoHandle);
    if (!controller) {
        return InvalidHandleError("Invalid Handle passed in internalUviRaidInfo, Received: %d",
                                  raidInfoHandle);
    }
    if (!info) {
        result.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, "RaidInfo cannot be null");
        return result;
    }
    std::memset(info, 0, sizeof *info);
    info->raidInfoHandle = raidInfoHandle;
    const ControllerDictionaryValues& dictionary = controller->getControllerDictionary();
    if (dictionary.valid == 0 || controller->getType() == Controller::kTypeNvme) {
        info->raidSupported = 0;
        return result;
    }
    const CapabilityBlocks blocks = ReadCapabilityBlocks(dictionary);
    const CapabilityBlock& o = blocks.orom;
    const CapabilityBlock& d = blocks.driver;
    uint32_t perArray = d.disksPerArray;
    uint32_t total = d.disksTotal;
    // An option ROM block that reports fewer disks in total than in one array says nothing useful.
    if (o.disksTotal > o.disksPerArray) {
        perArray = std::min(o.disksPerArray, d.disksPerArray);
        total = std::min(o.disksTotal, d.disksTotal);
    }
    info->maxDisksPerArray = std::min(perArray, total);
    info->maxDisksTotal = total;
    info->maxVolumesPerArray = std::min(o.volumesPerArray, d.volumesPerArray);
    info->maxVolumesPerController = std::min(o.volumesPerController, d.volumesPerController);
    info->raidSupported = 1;
    info->byte21 = 0;
    info->byte22 = 1;
    info->byte23 = 1;
    info->reserved24 = 0;
    return result;
}

CConsolidatedError internalUviGetRaidLevelInfo(Session& session, uint32_t raidInfoHandle, uint32_t raidLevel,
                                               _UVI_RaidLevelInfo* info) {
    CConsolidatedError result;
    const auto controller = ControllerOfRaidInfoHandle(session, raidInfoHandle);
    if (!controller) {
        return InvalidHandleError("Invalid Handle passed in internalUviGetRaidLevelInfo, Received: %d",
                                  raidInfoHandle);
    }
    // An NVMe controller offers no RAID levels; its record is left as the caller gave it.
    if (controller->getType() == Controller::kTypeNvme)
        return result;

    std::memset(info, 0, sizeof *info);
    const uint64_t mask = computeRaidLevelMask(*controller);
    info->supported = (raidLevel & mask) != 0 ? 1 : 0;
    if (!info->supported)
        return result;
    _UVI_RaidInfo limits{};
    result = internalUviRaidInfo(session, raidInfoHandle, &limits);
    if (result.IsError())
        return result;
    if (limits.raidSupported == 0)
        info->supported = 0;
    const RaidLevelRow* row = GetRaidLevelDescriptor(raidLevel);
    if (!row) {
        info->supported = 0;
        return result;
    }
    const ControllerDictionaryValues& dictionary = controller->getControllerDictionary();
    const CapabilityBlocks blocks = ReadCapabilityBlocks(dictionary);
    info->minDisks = row->minDisks;
    info->maxDisks = std::min(row->maxDisks, limits.maxDisksPerArray);
    info->migrationMask = static_cast<uint32_t>(row->migrationMask & mask);
    info->secondMask = static_cast<uint32_t>(row->secondMask & mask);
    info->flag0 = row->evenDiskCount;
    info->flag1 = row->zeroFlag;
    info->stripMask = row->stripMask & blocks.orom.stripMask & blocks.driver.stripMask;
    std::copy(std::begin(row->stripValues1), std::end(row->stripValues1), info->stripValues1);
    std::copy(std::begin(row->stripValues2), std::end(row->stripValues2), info->stripValues2);
    info->redundantFlag = row->redundant;
    info->copies = row->domainsOrMirrors;
    info->redundancy = row->levelClass;
    return result;
}

extern "C" {

_UVI_Error UviGetRaidInfoHandles(unsigned int session, uint32_t* handleList, uint32_t* handleCount) {
    return RunSessionCall(
        session, [&](Session& s) { return internalUviGetRaidInfoHandles(&s, handleList, handleCount); });
}

_UVI_Error UviGetRaidInfo(unsigned int session, uint32_t raidInfoHandle, _UVI_RaidInfo* info) {
    return RunSessionCall(session, [&](Session& s) { return internalUviRaidInfo(s, raidInfoHandle, info); });
}

_UVI_Error UviGetRaidLevelInfo(unsigned int session, uint32_t raidInfoHandle, uint32_t raidLevel,
                               _UVI_RaidLevelInfo* info) {
    if (!info)
        return NullParameterError("raidLevelInfo cannot be null in GetRaidLevelInfo");
    return RunSessionCall(
        session, [&](Session& s) { return internalUviGetRaidLevelInfo(s, raidInfoHandle, raidLevel, info); });
}
}

#include "middleware/api/ActionValidator.h"

#include <algorithm>
#include <exception>

#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/HybridDiskSet.h"
#include "middleware/model/PciRootControllerSet.h"
#include "middleware/model/Session.h"
#include "middleware/model/ZrcRemapRequestCache.h"

namespace UviActionValidator {

namespace {

CConsolidatedError ErrorWithMessage(KEDO2_ERRORS code, const std::string& message) {
    CConsolidatedError error(code);
    if (!message.empty())
        error.AddErrorMessage("%s", message.c_str());
    return error;
}

std::vector<uint32_t> HandleList(const uint32_t* handles, unsigned count) {
    if (!handles || count == 0)
        return {};
    return std::vector<uint32_t>(handles, handles + count);
}

RuleSet HybridDiskRules(std::vector<uint32_t> diskHandles) {
    return {std::make_shared<DiskIsHybridNvmeDiskRule>(std::move(diskHandles))};
}

} // namespace

void DiskIsHybridNvmeDiskRule::Validate(Session& session) {
    for (uint32_t handle : m_DiskHandles) {
        const auto disk = session.getEndDeviceByHandle(handle);
        if (disk && disk->getHybridDiskExtension() && disk->getHybridDiskExtension()->isHybridDisk())
            throw ErrorWithMessage(CConsolidatedError::UVI_ACTION_VALIDATOR_RAID_ACTION_ON_TG,
                                   "Cannot perform action with hybrid disk disk member");
    }
}

void ZrcRemapSupported::Validate(Session& session) {
    const ZrcRemapRequestCache* cache = session.getZrcRemapBiosVariables();
    if (!cache || !cache->isRemapSupported())
        throw CConsolidatedError(CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOT_SUPPORTED);
}

void ZrcAnyControllerRemapable::Validate(Session& session) {
    if (!session.hasZrcController())
        throw ErrorWithMessage(CConsolidatedError::UVI_ACTION_ZRC_REMAP_OPERATION_NO_ZRC_ON_SYSTEM,
                               "Cannot perform action, no ZRC on system");
    Session::ControllerList controllers;
    if (m_AllControllers)
        controllers = session.getAllControllers();
    else
        for (uint32_t handle : m_ControllerHandles)
            controllers.push_back(session.getAnyControllerByHandle(handle));

    CConsolidatedError unsupported(CConsolidatedError::UVI_ACTION_ZRC_REMAP_UNSUPPORTED_CONTROLLER);
    for (const auto& controller : controllers) {
        if (!controller)
            throw ErrorWithMessage(CConsolidatedError::UVI_INVALIDHANDLE,
                                   "Cannot perform action, controller is null");
        if (controller->isRemapCapable())
            return;
        unsupported.AddErrorMessage(
            "Cannot perform action, controller with handle [%d] does not support ZRC remapping",
            static_cast<int>(controller->getHandle()));
    }
    throw unsupported;
}

void ZrcRemapInOneCommand::Validate(Session& session) {
    if (m_AllControllers)
        for (const auto& controller : session.getAllControllers())
            m_Selected.insert(controller->getHandle());
    GetGroups(session);
    if (m_Violations.empty())
        return;
    std::string lines;
    for (const Violation& violation : m_Violations)
        lines += "Controllers selected: " + controllerListText(session, violation.selected) +
                 " must be remapped together with: " + controllerListText(session, violation.missing) +
                 " in one command\n";
    throw ErrorWithMessage(GetErrorCode(), lines);
}

bool ZrcRemapInOneCommand::checkGroup(std::vector<uint32_t> group) {
    std::sort(group.begin(), group.end());
    std::vector<uint32_t> selected;
    std::set_intersection(group.begin(), group.end(), m_Selected.begin(), m_Selected.end(),
                          std::back_inserter(selected));
    if (selected.empty())
        return false;
    std::vector<uint32_t> missing;
    std::set_difference(group.begin(), group.end(), m_Selected.begin(), m_Selected.end(),
                        std::back_inserter(missing));
    if (!missing.empty())
        m_Violations.push_back({std::move(selected), std::move(missing)});
    return true;
}

std::string ZrcRemapInOneCommand::controllerListText(const Session& session,
                                                     const std::vector<uint32_t>& handles) {
    std::string text;
    for (uint32_t handle : handles) {
        const auto controller = session.getAnyControllerByHandle(handle);
        text += "[Scsi" +
                (controller ? std::to_string(controller->getPortNumber()) : std::string("unknown")) + "]";
    }
    return text;
}

void ZrcRemapHybridAsOne::GetGroups(Session& session) {
    for (const auto& set : session.getHybridDiskSets()) {
        const std::vector<uint32_t> group = set->getControllerHandles();
        if (checkGroup(group) && set->getDiskHandles().size() < 2)
            throw ErrorWithMessage(CConsolidatedError::UVI_ACTION_ZRC_REMAP_HYBRID_MISSING_MEMBER,
                                   "Hybrid set must have at least 2 member disks. Disks are missing for " +
                                       controllerListText(session, group));
    }
}

void ZrcRemapPciSwitchAsOne::GetGroups(Session& session) {
    for (const auto& set : session.getPciRootControllerSets())
        checkGroup(set->getControllerHandles());
}

RuleSet RulesForVolumeCreateFromDisks(const uint32_t* diskHandles, unsigned count) {
    return HybridDiskRules(HandleList(diskHandles, count));
}

RuleSet RulesForAddDisksToArray(const uint32_t* diskHandles, unsigned count) {
    return HybridDiskRules(HandleList(diskHandles, count));
}

RuleSet RulesForRaidLevelModify(const uint32_t* diskHandles, unsigned count) {
    return HybridDiskRules(HandleList(diskHandles, count));
}

RuleSet RulesForDiskMarkAsSpare(uint32_t diskHandle) {
    return HybridDiskRules({diskHandle});
}

RuleSet RulesForVezkAccelerate(uint32_t diskHandle, int metadataKind) {
    if (metadataKind == 2)
        return {};
    return HybridDiskRules({diskHandle});
}

RuleSet RulesForZrcRemapController(const std::vector<uint32_t>& controllerHandles) {
    return {std::make_shared<ZrcRemapSupported>(),
            std::make_shared<ZrcAnyControllerRemapable>(controllerHandles),
            std::make_shared<ZrcRemapHybridAsOne>(controllerHandles),
            std::make_shared<ZrcRemapPciSwitchAsOne>(controllerHandles)};
}

RuleSet RulesForZrcRemapControllerAll() {
    return {std::make_shared<ZrcRemapSupported>(), std::make_shared<ZrcAnyControllerRemapable>(),
            std::make_shared<ZrcRemapHybridAsOne>(), std::make_shared<ZrcRemapPciSwitchAsOne>()};
}

RuleSet RulesForZrcRemapRevert(const std::vector<uint32_t>& controllerHandles) {
    return {std::make_shared<ZrcRemapHybridAsOne>(controllerHandles),
            std::make_shared<ZrcRemapPciSwitchAsOne>(controllerHandles)};
}

} // namespace UviActionValidator

void ActionValidator::Validate(Session& session, const UviActionValidator::RuleSet& rules) {
    std::vector<CConsolidatedError> failures;
    for (const auto& rule : rules) {
        try {
            rule->Validate(session);
        } catch (const CConsolidatedError& failure) {
            failures.push_back(failure);
        } catch (const std::exception& e) {
            CConsolidatedError failure(CConsolidatedError::UVI_INTERNALERROR);
            failure.AddErrorMessage("Exception caught in ActionValidator::Validate. Msg: %s", e.what());
            failures.push_back(failure);
        }
    }
    if (failures.empty())
        return;
    if (failures.size() == 1)
        throw failures.front();
    CConsolidatedError combined(failures.front().GetErrorCode());
    int number = 0;
    for (const CConsolidatedError& failure : failures) {
        ++number;
        combined.AddErrorMessage("Validation error no. #%d. %s", number,
                                 failure.getErrorTypeSummary().c_str());
        combined.AddErrorMessage("%s", failure.GetErrorMessage());
        combined.AddDebugInformation("Validation error no. %d debug info", number);
        combined.AddDebugInformation("%s", failure.GetDebugInformation());
    }
    throw combined;
}

CConsolidatedError ValidateThenRun(Session& session,
                                   const std::function<UviActionValidator::RuleSet()>& buildRules,
                                   const std::function<CConsolidatedError()>& action) {
    try {
        ActionValidator::Validate(session, buildRules());
    } catch (const CConsolidatedError& failure) {
        return failure;
    } catch (const std::exception& e) {
        CConsolidatedError failure;
        failure.SetError(CConsolidatedError::UVI_INTERNALERROR, e.what());
        return failure;
    }
    return action();
}

#include "middleware/api/ZrcRemapExports.h"

#include <functional>
#include <string>
#include <vector>

#include "middleware/api/ActionValidator.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/ZrcRemapStore.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Session.h"
#include "middleware/model/ZrcRemapAddress.h"

namespace {

CConsolidatedError Refused(KEDO2_ERRORS code, const char* message, const std::string& debug = {}) {
    CConsolidatedError error;
    error.SetError(code, message, debug.empty() ? nullptr : debug.c_str());
    return error;
}

using StoreOperation = CConsolidatedError (*)(ZrcRemapRequestCache&, const std::vector<uint16_t>&);

CConsolidatedError WithCache(Session& session,
                             const std::function<CConsolidatedError(ZrcRemapRequestCache&)>& work) {
    ZrcRemapRequestCache* cache = session.getZrcRemapBiosVariables();
    if (!cache)
        return Refused(CConsolidatedError::GENERAL_NULL_PARAMETER, nullptr, "remap request cache null");
    return work(*cache);
}

// Looks up the controllers in order and hands their location words to the store; the first
// failed lookup ends the call before the store is touched.
template <typename Each>
CConsolidatedError StoreLocations(Session& session, const Each& controllers, StoreOperation operation) {
    std::vector<uint16_t> locations;
    for (const auto& controller : controllers) {
        ControllerLocator record{};
        const CConsolidatedError found = ZrcRemapController(session, controller, record);
        if (found.IsError())
            return found;
        locations.push_back(MakeZrcRemapAddress(record));
    }
    return WithCache(session, [&](ZrcRemapRequestCache& cache) { return operation(cache, locations); });
}

// The list forms: the arguments are checked before any session is opened, so a bad list is
// answered also while the library is not started, and nothing of the caller's list is read past
// `count`.
_UVI_Error RunForList(const char* exportName, const uint32_t* list, int count,
                      UviActionValidator::RuleSet (*rules)(const std::vector<uint32_t>&),
                      StoreOperation operation) {
    return RunExportedCall([&]() -> CConsolidatedError {
        if (!list)
            return Refused(CConsolidatedError::UVI_INVALIDPARAMETER,
                           (std::string(exportName) + " controllerHandleList cannot be null").c_str());
        if (count < 0)
            return Refused(CConsolidatedError::UVI_INVALIDPARAMETER,
                           (std::string(exportName) + " count cannot be negative").c_str());
        return runWithNewSession([&](Session& session) {
            const std::vector<uint32_t> handles(list, list + count);
            return ValidateThenRun(
                session, [&] { return rules(handles); },
                [&] { return StoreLocations(session, handles, operation); });
        });
    });
}

} // namespace

CConsolidatedError ZrcRemapController(Session& session, const Controller* controller,
                                      ControllerLocator& record) {
    if (!controller)
        return Refused(CConsolidatedError::GENERAL_NULL_PARAMETER, "controller null in ZrcRemapController");
    if (!session.hasControllerTable())
        return Refused(CConsolidatedError::GENERAL_NULL_PARAMETER, nullptr,
                       "finder null in ZrcRemapController");
    const ControllerLocator* found = controller->getControllerLocator();
    // A null reference would find the table's placeholder record; only a record of the table counts.
    if (!found || !DeviceLocator::Contains(found))
        return Refused(CConsolidatedError::GENERAL_NULL_PARAMETER, nullptr,
                       "controller locator null in ZrcRemapController for handle,: " +
                           std::to_string(static_cast<int>(controller->getHandle())));
    record = *found;
    return CConsolidatedError();
}

CConsolidatedError ZrcRemapController(Session& session, uint32_t controllerHandle,
                                      ControllerLocator& record) {
    const auto controller = session.getAnyControllerByHandle(controllerHandle);
    if (!controller)
        return Refused(
            CConsolidatedError::UVI_INVALIDHANDLE,
            ("Invalid handle provided: " + std::to_string(static_cast<int>(controllerHandle))).c_str());
    return ZrcRemapController(session, controller.get(), record);
}

extern "C" _UVI_Error UviZrcRemapController(const uint32_t* controllerHandleList, int count) {
    return RunForList("UviZrcRemapController", controllerHandleList, count,
                      UviActionValidator::RulesForZrcRemapController, scheduleZrcRemap);
}

extern "C" _UVI_Error UviZrcRemapControllerRevert(const uint32_t* controllerHandleList, int count) {
    return RunForList("UviZrcRemapControllerRevert", controllerHandleList, count,
                      UviActionValidator::RulesForZrcRemapRevert, revertZrcRemap);
}

extern "C" _UVI_Error UviZrcRemapControllerAll(void) {
    return RunOwnSessionCall([](Session& session) {
        return ValidateThenRun(session, UviActionValidator::RulesForZrcRemapControllerAll, [&] {
            // Own-driver controllers first, each list in the session's order.
            std::vector<const Controller*> taken;
            for (const auto& controller : session.getAllControllers())
                if (controller->isRemapCapable() && !controller->isScheduledForZrcRemap())
                    taken.push_back(controller.get());
            return StoreLocations(session, taken, scheduleZrcRemap);
        });
    });
}

extern "C" _UVI_Error UviZrcRemapControllerAllRevert(void) {
    return RunOwnSessionCall([](Session& session) { return WithCache(session, clearZrcRemapRequest); });
}

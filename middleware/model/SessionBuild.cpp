// Building a session: one attempt populates every controller of the controller table; a failed
// attempt is retried a second later, up to a minute.
#include <new>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/model/Controller.h"
#include "middleware/model/ControllerFactory.h"
#include "middleware/model/HybridDiskSet.h"
#include "middleware/model/PciRootControllerSet.h"
#include "middleware/model/Session.h"
#include "middleware/model/WinDiskList.h"
#include "middleware/model/ZrcRemapAddress.h"
#include "middleware/model/ZrcRemapRequestCache.h"
#include "platform/win/Trace.h"
#include "platform/win/WinBase.h"

namespace {

constexpr const char* kNoLocatorMessage = "Unable to get device locatorSession::populateControllerContainer";

bool IsOtherVendor(uint32_t flags) {
    return (flags & kControllerMaskOtherVendor) != 0;
}

CConsolidatedError NoLocator() {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::GENERAL_UNKNOWN_ERROR, kNoLocatorMessage);
    return error;
}

// Populates each candidate set and keeps those that succeed, in order; the others are traced.
template <class Set, class TraceDropped>
void KeepPopulated(std::vector<std::unique_ptr<Set>> candidates, std::vector<std::shared_ptr<Set>>& kept,
                   const TraceDropped& traceDropped) {
    for (auto& candidate : candidates) {
        const CConsolidatedError result = candidate->Populate();
        if (result.IsError())
            traceDropped(*candidate, result);
        else
            kept.push_back(std::move(candidate));
    }
}

} // namespace

CConsolidatedError Session::Create(Session*& session, ZrcRemapRequestCache* remapRequests) {
    session = nullptr;
    CConsolidatedError result;
    for (int attempt = 1; attempt <= kBuildAttempts; ++attempt) {
        if (attempt > 1) {
            MOX_TRACE(TRACE_LEVEL_WARNING, "Session build attempt %d failed: 0x%X %s (%s)", attempt - 1,
                      static_cast<unsigned>(result.GetErrorCode()), result.GetErrorMessage(),
                      result.GetDebugInformation());
            Sleep(kRetryPauseMs);
        }
        Session* candidate = new (std::nothrow) Session(remapRequests);
        if (!candidate)
            return CConsolidatedError(CConsolidatedError::GENERAL_INSUFF_MEM);
        try {
            result = candidate->Populate();
        } catch (const CConsolidatedError& thrown) {
            result = thrown;
        } catch (...) {
            delete candidate;
            throw;
        }
        if (result.IsSuccessful() || result.GetErrorCode() == CConsolidatedError::UVI_NO_CONTROLLER_FOUND) {
            session = candidate;
            return result;
        }
        delete candidate;
    }
    MOX_TRACE(TRACE_LEVEL_ERROR, "Session build failed after %d attempts: 0x%X %s", kBuildAttempts,
              static_cast<unsigned>(result.GetErrorCode()), result.GetErrorMessage());
    return result;
}

CConsolidatedError Session::Populate() {
    m_DeviceLocator = std::make_unique<DeviceLocator>();
    bool foundOwnController = false;
    CConsolidatedError result = populateControllerContainer(foundOwnController);
    // A failure before the first own record of the table is a failed attempt, not a machine
    // without controllers.
    if (!foundOwnController && result.IsError() &&
        DeviceLocator::FindNextByFlags(kControllerMaskVendor, -1) != -1)
        return result;
    if (!foundOwnController) {
        CConsolidatedError none;
        none.SetError(CConsolidatedError::UVI_NO_CONTROLLER_FOUND, nullptr,
                      "Failed to find any MOX controller");
        return none;
    }
    for (const auto& controller : getAllControllers()) {
        controller->setScheduledForZrcRemap(
            m_RemapRequests &&
            m_RemapRequests->isScheduled(MakeZrcRemapAddress(controller->getPciLocation())));
    }
    static_cast<void>(populateHybridDiskSets());        // always succeeds
    static_cast<void>(populatePciRootControllerSets()); // always succeeds
    return result;
}

CConsolidatedError Session::populateControllerContainer(bool& foundOwnController) {
    if (!m_DeviceLocator)
        return NoLocator();

    // The Windows view of every disk, handed to each controller's populate and dropped afterwards;
    // an empty or partial list is no failure.
    WinDiskList winDisks(MakeWinDiskEnumerator());
    static_cast<void>(winDisks.Populate());

    for (int index = DeviceLocator::FindNextByFlags(0xFFFFFFFF, -1); index != -1;
         index = DeviceLocator::FindNextByFlags(0xFFFFFFFF, index)) {
        ControllerLocator* record = DeviceLocator::GetByIndex(index);
        if (!record)
            return NoLocator();
        const uint32_t flags = DeviceLocator::GetFlags(record);
        if (flags & kControllerMaskVendor)
            foundOwnController = true;
        if (flags == kControllerRemapping)
            m_HasZrcController = true;

        std::unique_ptr<Controller> controller;
        try {
            controller =
                ControllerFactory(flags, record, IoctlInterfaceVersionStore::AllRequiredSupported(*record));
        } catch (const CConsolidatedError& thrown) {
            return thrown;
        }
        if (!controller) {
            CConsolidatedError error;
            error.SetError(CConsolidatedError::GENERAL_INSUFF_MEM, nullptr,
                           "Not enough memory to create AHCI controller");
            return error;
        }

        bool inProgress = false;
        CConsolidatedError result = controller->isActionInProgress(inProgress);
        if (result.IsError())
            return result;
        if (inProgress) {
            CConsolidatedError busy;
            busy.SetError(UVI_STATUS_INVALID_SESSION, "Actions in progress",
                          "Actions in progress in Session::populateControllerContainer");
            return busy;
        }

        uint64_t before = 0;
        static_cast<void>(controller->getEventCounter(before)); // an unreadable counter counts as 0
        result = controller->Populate(winDisks);
        if (result.IsError())
            return result;
        uint64_t after = 0;
        static_cast<void>(controller->getEventCounter(after));
        if (after != before) {
            // The driver changed something while the controller was read: keep the controller only
            // when what was read still fits together.
            result = controller->checkPopulationConsistency();
            if (result.IsError())
                return result;
        }

        (IsOtherVendor(flags) ? m_ThirdPartyControllers : m_Controllers).push_back(std::move(controller));
        if (index >= DeviceLocator::kMaxControllers)
            break;
    }
    return CConsolidatedError();
}

CConsolidatedError Session::populateHybridDiskSets() {
    KeepPopulated(HybridDiskSet::build(getAllControllers()), m_HybridDiskSets,
                  [](const HybridDiskSet& set, const CConsolidatedError& result) {
                      MOX_TRACE(TRACE_LEVEL_WARNING, "Hybrid disk set \"%s\" left out: %s",
                                set.getMasterSerial().c_str(), result.GetErrorMessage());
                  });
    return CConsolidatedError();
}

CConsolidatedError Session::populatePciRootControllerSets() {
    KeepPopulated(PciRootControllerSet::build(getAllControllers()), m_PciRootControllerSets,
                  [](const PciRootControllerSet&, const CConsolidatedError& result) {
                      MOX_TRACE(TRACE_LEVEL_VERBOSE, "PCI root-port controller set left out: 0x%X %s",
                                static_cast<unsigned>(result.GetErrorCode()), result.GetErrorMessage());
                  });
    return CConsolidatedError();
}

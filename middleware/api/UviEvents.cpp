// The event interface: subscriptions to the driver's change notifications over the process's event
// context. These entry points use no session and work whether or not the library is initialised.
#include <cstring>
#include <exception>
#include <functional>

#include "middleware/api/EventContext.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviApi.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "platform/win/Trace.h"

namespace {

using UviEvents::SourceList;

constexpr unsigned kFlagShift = 20;
constexpr uint64_t kFlagBits = 0x7F;

// Subscribes a new client to the sources the call gets; 0 on any failure, with a client made before
// the failure removed again.
unsigned long long SetUp(const char* entry, const std::function<SourceList(EventContext&)>& getSources) {
    EventContext* context = nullptr;
    uint64_t id = 0;
    try {
        context = &EventContext::instance();
        const SourceList sources = getSources(*context);
        if (sources.empty()) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "%s: no event source", entry);
            return 0;
        }
        id = context->clientManager->createClient();
        for (const auto& source : sources)
            source->subscribe(id, context->clientManager->getClient(id));
        return id;
    } catch (const CConsolidatedError& e) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "%s failed with 0x%X: %s", entry,
                  static_cast<unsigned>(e.GetErrorCode()), e.GetErrorMessage());
    } catch (const std::exception& e) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "%s failed: %s", entry, e.what());
    } catch (...) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "%s failed by an unknown exception", entry);
    }
    if (context && id != 0) {
        try {
            context->sourceManager.unsubscribeClient(id);
            context->clientManager->closeClient(id);
        } catch (...) {
            // The subscription already failed; its client is only left behind.
        }
    }
    return 0;
}

void FillRecord(const UviEvents::EventRecord& event, _UVI_EventRecord& record) {
    record.controllerPort = event.deviceId >> 24;
    switch (event.deviceType) {
    case UviEvents::DEVICE_TYPE_CONTROLLER:
        record.kind = event.deviceType;
        record.firstData = event.firstData;
        record.secondData = event.secondData;
        record.flags = static_cast<uint32_t>((event.secondData >> kFlagShift) & kFlagBits);
        break;
    case UviEvents::DEVICE_TYPE_NVME_DISK: {
        record.kind = event.deviceType;
        // Only the low 4 bytes carry the address; the caller's upper bytes stay.
        const uint32_t address = event.deviceId;
        std::memcpy(reinterpret_cast<unsigned char*>(&record) + offsetof(_UVI_EventRecord, firstData),
                    &address, sizeof(address));
        record.secondData = event.secondData;
        break;
    }
    case UviEvents::DEVICE_TYPE_CUSTOM:
        record.kind = event.deviceType;
        record.firstData = event.secondData;
        break;
    default:
        break;
    }
}

CConsolidatedError Wait(unsigned int milliseconds, unsigned long long handle, _UVI_EventRecord* record) {
    // A null record is refused before the wait, which would take the event from the queue.
    if (!record) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "UviEventWaitWithHandle: no record for handle %llu", handle);
        return CConsolidatedError(CConsolidatedError::UVI_INVALIDHANDLE);
    }
    std::shared_ptr<UviEvents::Client> client = EventContext::instance().clientManager->getClient(handle);
    if (!client) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "UviEventWaitWithHandle: unknown handle %llu", handle);
        return CConsolidatedError(CConsolidatedError::UVI_INVALIDHANDLE);
    }
    const UviEvents::EventRecord event = client->wait(milliseconds);
    switch (event.waitCode) {
    case UviEvents::WAIT_CODE_EVENT:
        FillRecord(event, *record);
        return CConsolidatedError();
    case UviEvents::WAIT_CODE_TIMEOUT:
        return CConsolidatedError(CConsolidatedError::UVI_EVENT_TIMEOUT);
    case UviEvents::WAIT_CODE_FAILURE:
    case UviEvents::WAIT_CODE_CLIENT_CLOSED:
    case UviEvents::WAIT_CODE_STOPPED:
        return CConsolidatedError(CConsolidatedError::UVI_EVENT_WAIT_FAILED);
    default:
        return CConsolidatedError();
    }
}

} // namespace

extern "C" {

unsigned long long UviEventSetUpForAllWithHandle() {
    return SetUp("UviEventSetUpForAllWithHandle",
                 [](EventContext& context) { return context.sourceManager.getSourcesForAll(); });
}

unsigned long long UviEventSetUpForKindWithHandle(int controllerPort) {
    return SetUp("UviEventSetUpForKindWithHandle", [controllerPort](EventContext& context) {
        return context.sourceManager.getSourcesForHandle(
            PackScsiAddress(static_cast<uint32_t>(controllerPort), 0, 0, 0));
    });
}

_UVI_Error UviEventWaitWithHandle(unsigned int milliseconds, unsigned long long eventHandle,
                                  _UVI_EventRecord* record) {
    return RunExportedCall([&] { return Wait(milliseconds, eventHandle, record); });
}

_UVI_Error UviEventClose(unsigned long long eventHandle) {
    // Closing always succeeds: a handle that cannot be closed is one nobody can wait on.
    return RunExportedCall([&] {
        try {
            EventContext& context = EventContext::instance();
            context.sourceManager.unsubscribeClient(eventHandle);
            context.clientManager->closeClient(eventHandle);
        } catch (...) {
            const CConsolidatedError error = ErrorOfException(std::current_exception());
            MOX_TRACE(TRACE_LEVEL_ERROR, "UviEventClose of handle %llu: 0x%X %s", eventHandle,
                      static_cast<unsigned>(error.GetErrorCode()), error.GetErrorMessage());
        }
        return CConsolidatedError();
    });
}
}

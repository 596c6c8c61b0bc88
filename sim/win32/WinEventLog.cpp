#include "platform/win/WinEventLog.h"

#include <memory>
#include <string>

#include "sim/EventLog.h"
#include "sim/Schema.h"
#include "sim/WideText.h"
#include "sim/win32/HandleTable.h"
#include "sim/win32/SimCall.h"

namespace {

class EventSource : public platform::KernelObject {
public:
    explicit EventSource(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

} // namespace

HANDLE RegisterEventSourceW(LPCWSTR serverName, LPCWSTR sourceName) {
    return platform::Guarded(
        [&]() -> HANDLE {
            if (!sourceName) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            const std::string source = sim::ToUtf8(sourceName);
            if (auto outcome = platform::SimCall("RegisterEventSource", {{"source", source}})) {
                SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE));
                return nullptr;
            }
            if (serverName && *serverName) {
                SetLastError(RPC_S_SERVER_UNAVAILABLE);
                return nullptr;
            }
            return platform::InsertHandle(std::make_shared<EventSource>(source));
        },
        platform::LastErrorAnd<HANDLE>(nullptr));
}

BOOL ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID, WORD numStrings,
                  DWORD dataSize, LPCWSTR* strings, LPVOID rawData) {
    return platform::Guarded(
        [&]() -> BOOL {
            auto source = platform::LookupHandleAs<EventSource>(eventLog);
            if (!source) {
                SetLastError(ERROR_INVALID_HANDLE);
                return FALSE;
            }
            if ((numStrings > 0 && !strings) || (dataSize > 0 && !rawData)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            sim::eventlog::Entry entry;
            entry.source = source->name();
            entry.type = type;
            entry.category = category;
            entry.eventId = eventId;
            for (WORD i = 0; i < numStrings; ++i) {
                if (!strings[i]) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return FALSE;
                }
                entry.strings.push_back(sim::ToUtf8(strings[i]));
            }
            const auto* bytes = static_cast<const uint8_t*>(rawData);
            entry.data.assign(bytes, bytes + (bytes ? dataSize : 0));
            if (auto outcome = platform::SimCall("ReportEvent", {{"source", entry.source},
                                                                 {"event_id", eventId},
                                                                 {"type", type},
                                                                 {"category", category}})) {
                SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE));
                return FALSE;
            }
            sim::eventlog::Append(std::move(entry));
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}

BOOL DeregisterEventSource(HANDLE eventLog) {
    if (!platform::LookupHandleAs<EventSource>(eventLog)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    platform::RemoveHandle(eventLog);
    return TRUE;
}

namespace {

using namespace sim::schema;

const FaultKind kSourceFaults("RegisterEventSource", {"source"}, Object({{"win32_error", Uint32()}}));
const FaultKind kReportFaults("ReportEvent", {"source", "event_id", "type", "category"},
                              Object({{"win32_error", Uint32()}}));

} // namespace

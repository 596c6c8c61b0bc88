#include "middleware/core/EventLogger.h"

#include <array>
#include <sstream>

#include "platform/win/WinEventLog.h"
#include "platform/win/WinProcess.h"

namespace {

const std::wstring& SourceName() {
    static const std::wstring name = L"MOX Middleware";
    return name;
}

// Event ids of the source's message file (severity in bits 31-30, facility in 27-16, number in 15-0).
constexpr std::array<DWORD, 25> kEventIds = {
    0x40010010, 0xC0010011, 0x40010012, 0xC0010013, 0x40010014, 0xC0010015, 0x40010016,
    0x40090017, 0x40090018, 0x400B0019, 0x400B001A, 0x400B001B, 0x400B001C, 0x4001001D,
    0x4001001E, 0x8007001F, 0x800B1B5A, 0x800B1C25, 0x800B1C26, 0x800B1B5F, 0x800B1B60,
    0x800B1C85, 0x800B1C86, 0x800B1C88, 0x800B1C89,
};

WORD EventType(uint32_t kind) {
    switch (kind) {
    case 0:
        return EVENTLOG_SUCCESS;
    case 2:
        return EVENTLOG_WARNING_TYPE;
    case 3:
        return EVENTLOG_ERROR_TYPE;
    case 4:
        return EVENTLOG_AUDIT_SUCCESS;
    case 5:
        return EVENTLOG_AUDIT_FAILURE;
    default:
        return EVENTLOG_INFORMATION_TYPE;
    }
}

std::vector<std::wstring> Widen(const std::vector<std::string>& strings) {
    std::vector<std::wstring> wide;
    wide.reserve(strings.size());
    for (const auto& text : strings) {
        // Each character on its own, as the byte's own code point.
        std::wostringstream stream;
        for (char c : text)
            stream << static_cast<wchar_t>(static_cast<unsigned char>(c));
        wide.push_back(stream.str());
    }
    return wide;
}

} // namespace

MoxMwEventLogger::MoxMwEventLogger() : source_(RegisterEventSourceW(nullptr, SourceName().c_str())) {}

MoxMwEventLogger::~MoxMwEventLogger() {
    if (source_)
        DeregisterEventSource(source_);
}

std::unique_ptr<IEventLogger> MoxMwEventLogger::create() {
    return std::unique_ptr<IEventLogger>(new MoxMwEventLogger());
}

DWORD MoxMwEventLogger::EventId(uint32_t eventIndex) {
    return eventIndex < kEventIds.size() ? kEventIds[eventIndex] : 0;
}

IEventLogger& MoxMwEventLogger::attachProcessName() {
    wchar_t name[256] = {};
    if (K32GetModuleBaseNameW(GetCurrentProcess(), nullptr, name, 256) == 0)
        processName_.clear();
    else
        processName_ = name;
    return *this;
}

void MoxMwEventLogger::log(uint32_t kind, uint32_t flag, uint32_t eventIndex,
                           const std::vector<std::wstring>& strings) {
    if (!source_)
        return;
    std::vector<LPCWSTR> inserts;
    inserts.reserve(strings.size() + 1);
    for (const auto& text : strings)
        inserts.push_back(text.c_str());
    if (!processName_.empty())
        inserts.push_back(processName_.c_str());
    if (inserts.size() > 0xFFFF)
        inserts.resize(0xFFFF);
    // The writer never disturbs the operation that logs: the report's outcome is not looked at.
    ReportEventW(source_, EventType(kind), flag == 0 ? 1 : 0, EventId(eventIndex), nullptr,
                 static_cast<WORD>(inserts.size()), 0, inserts.empty() ? nullptr : inserts.data(), nullptr);
}

void MoxMwEventLogger::log(uint32_t kind, uint32_t flag, uint32_t eventIndex,
                           const std::vector<std::string>& strings) {
    log(kind, flag, eventIndex, Widen(strings));
}

void MoxMwEventLogger::logStrings(uint32_t kind, uint32_t flag, uint32_t eventIndex,
                                  const std::vector<std::string>& strings) {
    log(kind, flag, eventIndex, strings);
}

void MoxMwEventLogger::logStrings(uint32_t kind, uint32_t flag, uint32_t eventIndex,
                                  const std::vector<std::wstring>& strings) {
    log(kind, flag, eventIndex, strings);
}

void MoxMwEventLogger::log(uint32_t kind, uint32_t flag, uint32_t eventIndex) {
    log(kind, flag, eventIndex, std::vector<std::wstring>());
}

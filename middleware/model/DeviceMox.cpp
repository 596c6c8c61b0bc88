#include "middleware/model/DeviceMox.h"

#include <cstdio>

#include "platform/win/WinBase.h"
#include "platform/win/WinSync.h"

namespace UviEvents {

namespace {

constexpr size_t kEventNameChars = 255;

} // namespace

DeviceMox::DeviceMox(std::shared_ptr<GuidSource> guidSource, uint32_t id,
                     std::shared_ptr<DeviceLocator> locator)
    : m_GuidSource(std::move(guidSource)), m_Id(id), m_Locator(std::move(locator)) {}

DeviceMox::~DeviceMox() = default;

ControllerLocator* DeviceMox::findRecord() const {
    return DeviceLocator::FindByPort(static_cast<int32_t>(m_Id >> 24));
}

ControllerLocator& DeviceMox::requireRecord() const {
    ControllerLocator* record = findRecord();
    if (!record)
        throw CConsolidatedError(CConsolidatedError::UVI_INTERNALERROR);
    return *record;
}

CConsolidatedError DeviceMox::createRegisteredEvent(
    const std::function<CConsolidatedError(ControllerLocator&, const std::string&)>& enrol) {
    ControllerLocator* record = findRecord();
    if (!record)
        return CConsolidatedError(CConsolidatedError::UVI_INTERNALERROR);
    try {
        return enrol(*record, createGlobalEvent());
    } catch (const CConsolidatedError& error) {
        return error;
    }
}

std::string DeviceMox::createGlobalEvent() {
    if (m_Event) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::UVI_INTERNALERROR, "Creating event more than once");
        throw error;
    }
    std::string guid;
    CConsolidatedError made =
        m_GuidSource ? m_GuidSource->newGuidString(guid) : CConsolidatedError(CConsolidatedError::UVI_FAILED);
    if (made.IsError())
        throw made;
    char name[kEventNameChars] = {};
    std::snprintf(name, sizeof(name), "%s\\%s", "Global", guid.c_str());
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
    if (!event || event == INVALID_HANDLE_VALUE) {
        CConsolidatedError error;
        error.SetError(KEDO2_ERROR_TYPE_WIN32, GetLastError(), nullptr);
        error.AddErrorMessage("CreateEvent failed");
        throw error;
    }
    m_Event = event;
    return guid;
}

} // namespace UviEvents

#include "middleware/api/ApiHelpers.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>

#include "middleware/core/HandleRegistry.h"
#include "middleware/core/Registry.h"
#include "middleware/ioctl/CIoctlStorage.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Session.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"

namespace {

constexpr const char* kVolumeFlushPoliciesKey = "SOFTWARE\\Orvex\\Bexl\\VolumeFlushPolicies";

uint32_t NamedHandle(HandleKind kind, const char* format, uint32_t number) {
    char name[32];
    std::snprintf(name, sizeof name, format, static_cast<int>(number));
    return HandleRegistry::instance().getHandle(kind, name);
}

} // namespace

uint32_t PhyHandleOfDisk(uint32_t diskHandle) {
    return NamedHandle(HandleKindPhy, "Disk-%d", diskHandle);
}

uint32_t PortHandleOfDisk(uint32_t diskHandle) {
    return NamedHandle(HandleKindPort, "Disk.%d", diskHandle);
}

uint32_t PhyHandleOfPort(uint32_t portHandle) {
    return NamedHandle(HandleKindPhy, "Port-%d", portHandle);
}

uint32_t PortHandleOfPort(uint32_t portHandle) {
    return NamedHandle(HandleKindPort, "Port.%d", portHandle);
}

uint32_t RaidInfoHandle(uint32_t controllerHandle) {
    return NamedHandle(HandleKindRaidInfo, "RaidInfo%d", controllerHandle);
}

int SetVolumeFlushPolicy(const char* valueName, bool enabled) {
    try {
        return RegistryWriteDword(HKEY_LOCAL_MACHINE, kVolumeFlushPoliciesKey, valueName ? valueName : "",
                                  enabled ? 1 : 0, KEY_ALL_ACCESS);
    } catch (...) {
        return 1;
    }
}

int ReadVolumeFlushPolicy(const char* valueName, uint32_t* value) {
    try {
        return RegistryReadDword(HKEY_LOCAL_MACHINE, kVolumeFlushPoliciesKey, valueName ? valueName : "",
                                 value);
    } catch (...) {
        return 1;
    }
}

int DeleteVolumeFlushPolicy(const char* valueName) {
    try {
        return RegistryDeleteValue(HKEY_LOCAL_MACHINE, kVolumeFlushPoliciesKey, valueName ? valueName : "");
    } catch (...) {
        return 1;
    }
}

void callDiskUpdatePropertiesIoctl(int driveNumber, CConsolidatedError& error) {
    char path[64];
    std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%d", driveNumber);
    HANDLE drive = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (drive == INVALID_HANDLE_VALUE) {
        error.SetError(
            CConsolidatedError::GENERAL_INVALID_VALUE,
            "Received invalid handle for disk update properties IOCTL in callDiskUpdatePropertiesIoctl");
        return;
    }
    auto request =
        std::unique_ptr<CIoctlDiskUpdateProperties>(new (std::nothrow) CIoctlDiskUpdateProperties(drive));
    if (!request)
        error.SetError(CConsolidatedError::GENERAL_INSUFF_MEM,
                       "Could not create Disk Update Properties object in callDiskUpdatePropertiesIoctl");
    else
        error = request->Invoke();
    request.reset();
    CloseHandle(drive);
}

int FlagPairToTriState(uint8_t first, uint8_t second) {
    if (first == 0)
        return 0;
    return second != 0 ? 1 : 2;
}

bool VolumeStateIsNormal(const _UVI_VolumeInfo& volume) {
    return volume.state == UVI_VOLUME_STATE_NORMAL || volume.state == UVI_VOLUME_STATE_MANUAL_NORMAL;
}

CConsolidatedError NullParameterError(const char* message) {
    CConsolidatedError result;
    result.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, message);
    return result;
}

CConsolidatedError InvalidHandleError(const char* format, uint32_t handle) {
    CConsolidatedError result;
    result.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, nullptr);
    result.AddErrorMessage(format, static_cast<int>(handle));
    return result;
}

CConsolidatedError FillHandlesWhenAllFit(const std::vector<uint32_t>& handles, uint32_t* list,
                                         uint32_t* count) {
    CConsolidatedError result;
    if (!list && *count != 0) {
        result.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, "Input buffer can't be null");
        return result;
    }
    const uint32_t capacity = *count;
    *count = static_cast<uint32_t>(handles.size());
    if (capacity < handles.size()) {
        result.SetError(CConsolidatedError::UVI_BUFFERTOOSMALL, nullptr);
        return result;
    }
    for (size_t i = 0; i < handles.size(); ++i)
        if (handles[i] != 0)
            list[i] = handles[i];
    return result;
}

size_t ScratchRoom(const Session& session, uint32_t controllerHandle, uint32_t capacity,
                   const std::function<size_t(const Controller&)>& of) {
    size_t there = 0;
    for (const auto& controller : session.getControllers())
        if (controllerHandle == 0 || controller->getHandle() == controllerHandle)
            there += of(*controller);
    return std::min<size_t>(capacity, there);
}

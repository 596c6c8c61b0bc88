#include "platform/win/WinCfgMgr.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "sim/DeviceTree.h"
#include "sim/win32/SimCall.h"

namespace {

constexpr ULONG kLocateFlags =
    CM_LOCATE_DEVNODE_PHANTOM | CM_LOCATE_DEVNODE_CANCELREMOVE | CM_LOCATE_DEVNODE_NOVALIDATION;

CONFIGRET ListSize(CONFIGRET result, const std::vector<wchar_t>& list, PULONG length) {
    if (result == CR_SUCCESS)
        *length = static_cast<ULONG>(list.size());
    return result;
}

// Copies a list into the caller's buffer when it fits; a list that does not fit leaves it untouched.
CONFIGRET ListFill(CONFIGRET result, const std::vector<wchar_t>& list, PZZWSTR buffer, ULONG bufferLength) {
    if (result != CR_SUCCESS)
        return result;
    if (list.size() > bufferLength)
        return CR_BUFFER_SMALL;
    std::copy(list.begin(), list.end(), buffer);
    return CR_SUCCESS;
}

CONFIGRET CheckPropertyArguments(const DEVPROPKEY* key, DEVPROPTYPE* type, PBYTE buffer, PULONG bufferSize,
                                 ULONG flags) {
    if (!key || !type || !bufferSize)
        return CR_INVALID_POINTER;
    if (!buffer && *bufferSize != 0)
        return CR_INVALID_POINTER;
    if (flags != 0)
        return CR_INVALID_FLAG;
    return CR_SUCCESS;
}

CONFIGRET PropertyAnswer(CONFIGRET result, const sim::devices::PropertyValue& value, DEVPROPTYPE* type,
                         PBYTE buffer, PULONG bufferSize) {
    if (result != CR_SUCCESS)
        return result;
    *type = value.type;
    const ULONG needed = static_cast<ULONG>(value.bytes.size());
    if (needed > *bufferSize) {
        *bufferSize = needed;
        return CR_BUFFER_SMALL;
    }
    if (needed)
        std::memcpy(buffer, value.bytes.data(), needed);
    *bufferSize = needed;
    return CR_SUCCESS;
}

// The device tree's answer; a tree it cannot read gives CR_INVALID_DATA.
template <class Work> CONFIGRET FromTree(Work&& work) {
    return platform::Guarded(work, [](uint32_t) { return CR_INVALID_DATA; });
}

} // namespace

CONFIGRET CM_Get_Device_ID_List_SizeW(PULONG length, PCWSTR filter, ULONG flags) {
    if (!length)
        return CR_INVALID_POINTER;
    *length = 0;
    std::vector<wchar_t> list;
    return ListSize(FromTree([&] { return sim::devices::DeviceIdList(true, filter, flags, list); }), list,
                    length);
}

CONFIGRET CM_Get_Device_ID_ListW(PCWSTR filter, PZZWSTR buffer, ULONG bufferLength, ULONG flags) {
    if (!buffer || bufferLength == 0)
        return CR_INVALID_POINTER;
    std::vector<wchar_t> list;
    return ListFill(FromTree([&] { return sim::devices::DeviceIdList(false, filter, flags, list); }), list,
                    buffer, bufferLength);
}

CONFIGRET CM_Get_Device_Interface_List_SizeW(PULONG length, LPGUID interfaceClass, DEVINSTID_W deviceId,
                                             ULONG flags) {
    if (!length || !interfaceClass)
        return CR_INVALID_POINTER;
    *length = 0;
    std::vector<wchar_t> list;
    return ListSize(
        FromTree([&] { return sim::devices::InterfaceList(true, *interfaceClass, deviceId, flags, list); }),
        list, length);
}

CONFIGRET CM_Get_Device_Interface_ListW(LPGUID interfaceClass, DEVINSTID_W deviceId, PZZWSTR buffer,
                                        ULONG bufferLength, ULONG flags) {
    if (!interfaceClass || !buffer || bufferLength == 0)
        return CR_INVALID_POINTER;
    std::vector<wchar_t> list;
    return ListFill(
        FromTree([&] { return sim::devices::InterfaceList(false, *interfaceClass, deviceId, flags, list); }),
        list, buffer, bufferLength);
}

CONFIGRET CM_Get_Device_Interface_PropertyW(LPCWSTR interfacePath, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                            PBYTE buffer, PULONG bufferSize, ULONG flags) {
    if (!interfacePath)
        return CR_INVALID_POINTER;
    if (CONFIGRET bad = CheckPropertyArguments(key, type, buffer, bufferSize, flags))
        return bad;
    sim::devices::PropertyValue value;
    CONFIGRET result = FromTree(
        [&] { return sim::devices::InterfaceProperty(interfacePath, *key, buffer == nullptr, value); });
    return PropertyAnswer(result, value, type, buffer, bufferSize);
}

CONFIGRET CM_Get_DevNode_PropertyW(DEVINST devInst, const DEVPROPKEY* key, DEVPROPTYPE* type, PBYTE buffer,
                                   PULONG bufferSize, ULONG flags) {
    if (CONFIGRET bad = CheckPropertyArguments(key, type, buffer, bufferSize, flags))
        return bad;
    sim::devices::PropertyValue value;
    CONFIGRET result =
        FromTree([&] { return sim::devices::NodeProperty(devInst, *key, buffer == nullptr, value); });
    return PropertyAnswer(result, value, type, buffer, bufferSize);
}

CONFIGRET CM_Locate_DevNodeW(PDEVINST devInst, DEVINSTID_W deviceId, ULONG flags) {
    if (!devInst)
        return CR_INVALID_POINTER;
    *devInst = 0;
    if (flags & ~kLocateFlags)
        return CR_INVALID_FLAG;
    return FromTree([&] { return sim::devices::Locate(deviceId, flags, *devInst); });
}

CONFIGRET CM_Locate_DevNodeA(PDEVINST devInst, DEVINSTID_A deviceId, ULONG flags) {
    // Instance ids are ASCII; anything else cannot name a device.
    std::wstring wide;
    if (deviceId)
        for (const char* p = deviceId; *p; ++p) {
            if (static_cast<unsigned char>(*p) >= 0x80) {
                if (devInst)
                    *devInst = 0;
                return devInst ? CR_INVALID_DEVICE_ID : CR_INVALID_POINTER;
            }
            wide.push_back(static_cast<wchar_t>(*p));
        }
    return CM_Locate_DevNodeW(devInst, deviceId ? wide.data() : nullptr, flags);
}

CONFIGRET CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags) {
    return FromTree([&] { return sim::devices::Reenumerate(devInst, flags); });
}

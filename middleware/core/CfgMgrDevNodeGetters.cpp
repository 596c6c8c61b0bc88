#include "middleware/core/CfgMgrDevNodeGetters.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "middleware/core/CfgMgrException.h"

namespace MoxCfgMgr {
namespace {

const DEVPROPKEY* PropertyKey(int id) {
    static const DEVPROPKEY* const keys[] = {
        &DEVPKEY_Device_IsPresent,
        &DEVPKEY_Device_Service,
        &DEVPKEY_Device_Address,
        &DEVPKEY_Device_BusNumber,
        &DEVPKEY_Device_Parent,
        &DEVPKEY_Device_LocationPaths,
        &DEVPKEY_Device_DeviceDesc,
        &DEVPKEY_Device_DriverVersion,
        &DEVPKEY_PciDevice_SubClass,
        &DEVPKEY_PciDevice_CurrentLinkSpeed,
        &DEVPKEY_PciDevice_CurrentLinkWidth,
        &DEVPKEY_Device_HardwareIds,
        &DEVPKEY_Device_FriendlyName,
        &DEVPKEY_Device_CompatibleIds,
        &DEVPKEY_Device_ContainerId,
        &DEVPKEY_Device_Capabilities,
    };
    if (id < 0 || id >= static_cast<int>(std::size(keys)))
        return nullptr;
    return keys[id];
}

int ValueKind(DEVPROPTYPE type) {
    switch (type) {
    case DEVPROP_TYPE_STRING:
        return DevPropertyValue::kString;
    case DEVPROP_TYPE_UINT32:
        return DevPropertyValue::kUint32;
    case DEVPROP_TYPE_STRING_LIST:
        return DevPropertyValue::kStringList;
    case DEVPROP_TYPE_BOOLEAN:
        return DevPropertyValue::kBoolean;
    case DEVPROP_TYPE_GUID:
        return DevPropertyValue::kGuid;
    default:
        throw CfgMgrException("invalid type : " + std::to_string(type));
    }
}

} // namespace

std::wstring DevInstancePathResolver::resolve(const std::wstring& interfacePath) const {
    auto failed = [](CONFIGRET result) {
        return CfgMgrException("resolving device instance path failed with: " + std::to_string(result));
    };
    DEVPROPTYPE type = DEVPROP_TYPE_EMPTY;
    ULONG size = 0;
    CONFIGRET result = CM_Get_Device_Interface_PropertyW(interfacePath.c_str(), &DEVPKEY_Device_InstanceId,
                                                         &type, nullptr, &size, 0);
    if (result != CR_BUFFER_SMALL)
        throw failed(result);
    std::vector<BYTE> buffer(size, 0);
    result = CM_Get_Device_Interface_PropertyW(interfacePath.c_str(), &DEVPKEY_Device_InstanceId, &type,
                                               buffer.data(), &size, 0);
    if (result != CR_SUCCESS || type != DEVPROP_TYPE_STRING)
        throw failed(result);
    std::wstring id(std::min<size_t>(size, buffer.size()) / sizeof(wchar_t), L'\0');
    std::memcpy(id.data(), buffer.data(), id.size() * sizeof(wchar_t));
    return id.substr(0, id.find(L'\0'));
}

DEVINST DevInstanceGetter::getDevNode(const std::wstring& instanceId, int locateFlag) const {
    ULONG flags;
    if (locateFlag == kLocateNormal)
        flags = CM_LOCATE_DEVNODE_NORMAL;
    else if (locateFlag == kLocatePhantom)
        flags = CM_LOCATE_DEVNODE_PHANTOM;
    else
        throw CfgMgrException("invalid flag provided" + std::to_string(locateFlag));
    std::wstring id = instanceId;
    DEVINST devInst = 0;
    CONFIGRET result = CM_Locate_DevNodeW(&devInst, id.data(), flags);
    if (result != CR_SUCCESS)
        throw CfgMgrException("Locate dev node failed with: " + std::to_string(result));
    return devInst;
}

DevPropertyValue DevPropGetterDevNode::getProperty(const IDev& device, int id) const {
    const DEVPROPKEY* key = PropertyKey(id);
    if (!key)
        throw CfgMgrException("could not resolve device property, got: " + std::to_string(id));
    auto failed = [](CONFIGRET result) {
        return CfgMgrException("get dev node property failed with: " + std::to_string(result));
    };
    const DEVINST devInst = device.getDevNode();
    DEVPROPTYPE type = DEVPROP_TYPE_EMPTY;
    ULONG size = 0;
    std::vector<uint8_t> bytes;
    CONFIGRET result = CM_Get_DevNode_PropertyW(devInst, key, &type, nullptr, &size, 0);
    if (result == CR_BUFFER_SMALL) {
        bytes.assign(size, 0);
        result = CM_Get_DevNode_PropertyW(devInst, key, &type, bytes.data(), &size, 0);
        if (result != CR_SUCCESS)
            throw failed(result);
        // The value may have shrunk between the two calls.
        bytes.resize(std::min<size_t>(size, bytes.size()));
    } else if (result != CR_SUCCESS) {
        throw failed(result);
    }
    DevPropertyValue value;
    value.kind = ValueKind(type);
    value.bytes = std::move(bytes);
    return value;
}

} // namespace MoxCfgMgr

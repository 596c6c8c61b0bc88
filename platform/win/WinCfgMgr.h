#pragma once
// The configuration manager: device instance ids and device nodes, device interfaces, and the typed
// device properties. Backed by the "devices" section of the simulated machine.
//
// Texts are wide. Lists are multi-strings: NUL-separated texts ending in an extra NUL (an empty list
// is one NUL). List lengths are in characters; property buffers are in bytes, and a text inside a
// property value is made of wchar_t characters, terminator included.
#include <cstddef>

#include "platform/win/WinTypes.h"

using CONFIGRET = DWORD;
using DEVINST = DWORD;
using DEVNODE = DEVINST;
using PDEVINST = DEVINST*;
using DEVPROPTYPE = ULONG;
using DEVPROPID = ULONG;
using PZZWSTR = wchar_t*;
using DEVINSTID_W = wchar_t*;
using DEVINSTID_A = char*;
using LPGUID = GUID*;
using PBYTE = BYTE*;

struct DEVPROPKEY {
    GUID fmtid;
    DEVPROPID pid;
};
static_assert(sizeof(DEVPROPKEY) == 20);
static_assert(offsetof(DEVPROPKEY, fmtid) == 0);
static_assert(offsetof(DEVPROPKEY, pid) == 16);

inline bool operator==(const DEVPROPKEY& a, const DEVPROPKEY& b) {
    return a.fmtid == b.fmtid && a.pid == b.pid;
}

// Results.
constexpr CONFIGRET CR_SUCCESS = 0x00;
constexpr CONFIGRET CR_DEFAULT = 0x01;
constexpr CONFIGRET CR_OUT_OF_MEMORY = 0x02;
constexpr CONFIGRET CR_INVALID_POINTER = 0x03;
constexpr CONFIGRET CR_INVALID_FLAG = 0x04;
constexpr CONFIGRET CR_INVALID_DEVNODE = 0x05;
constexpr CONFIGRET CR_INVALID_DEVINST = CR_INVALID_DEVNODE;
constexpr CONFIGRET CR_INVALID_RES_DES = 0x06;
constexpr CONFIGRET CR_INVALID_LOG_CONF = 0x07;
constexpr CONFIGRET CR_INVALID_ARBITRATOR = 0x08;
constexpr CONFIGRET CR_INVALID_NODELIST = 0x09;
constexpr CONFIGRET CR_DEVNODE_HAS_REQS = 0x0A;
constexpr CONFIGRET CR_INVALID_RESOURCEID = 0x0B;
constexpr CONFIGRET CR_NO_SUCH_DEVNODE = 0x0D;
constexpr CONFIGRET CR_NO_SUCH_DEVINST = CR_NO_SUCH_DEVNODE;
constexpr CONFIGRET CR_NO_MORE_LOG_CONF = 0x0E;
constexpr CONFIGRET CR_NO_MORE_RES_DES = 0x0F;
constexpr CONFIGRET CR_ALREADY_SUCH_DEVNODE = 0x10;
constexpr CONFIGRET CR_INVALID_RANGE_LIST = 0x11;
constexpr CONFIGRET CR_INVALID_RANGE = 0x12;
constexpr CONFIGRET CR_FAILURE = 0x13;
constexpr CONFIGRET CR_NO_SUCH_LOGICAL_DEV = 0x14;
constexpr CONFIGRET CR_CREATE_BLOCKED = 0x15;
constexpr CONFIGRET CR_REMOVE_VETOED = 0x17;
constexpr CONFIGRET CR_APM_VETOED = 0x18;
constexpr CONFIGRET CR_INVALID_LOAD_TYPE = 0x19;
constexpr CONFIGRET CR_BUFFER_SMALL = 0x1A;
constexpr CONFIGRET CR_NO_ARBITRATOR = 0x1B;
constexpr CONFIGRET CR_NO_REGISTRY_HANDLE = 0x1C;
constexpr CONFIGRET CR_REGISTRY_ERROR = 0x1D;
constexpr CONFIGRET CR_INVALID_DEVICE_ID = 0x1E;
constexpr CONFIGRET CR_INVALID_DATA = 0x1F;
constexpr CONFIGRET CR_INVALID_API = 0x20;
constexpr CONFIGRET CR_DEVLOADER_NOT_READY = 0x21;
constexpr CONFIGRET CR_NEED_RESTART = 0x22;
constexpr CONFIGRET CR_NO_MORE_HW_PROFILES = 0x23;
constexpr CONFIGRET CR_DEVICE_NOT_THERE = 0x24;
constexpr CONFIGRET CR_NO_SUCH_VALUE = 0x25;
constexpr CONFIGRET CR_WRONG_TYPE = 0x26;
constexpr CONFIGRET CR_INVALID_PRIORITY = 0x27;
constexpr CONFIGRET CR_NOT_DISABLEABLE = 0x28;
constexpr CONFIGRET CR_FREE_RESOURCES = 0x29;
constexpr CONFIGRET CR_QUERY_VETOED = 0x2A;
constexpr CONFIGRET CR_CANT_SHARE_IRQ = 0x2B;
constexpr CONFIGRET CR_NO_DEPENDENT = 0x2C;
constexpr CONFIGRET CR_SAME_RESOURCES = 0x2D;
constexpr CONFIGRET CR_NO_SUCH_REGISTRY_KEY = 0x2E;
constexpr CONFIGRET CR_INVALID_MACHINENAME = 0x2F;
constexpr CONFIGRET CR_REMOTE_COMM_FAILURE = 0x30;
constexpr CONFIGRET CR_MACHINE_UNAVAILABLE = 0x31;
constexpr CONFIGRET CR_NO_CM_SERVICES = 0x32;
constexpr CONFIGRET CR_ACCESS_DENIED = 0x33;
constexpr CONFIGRET CR_CALL_NOT_IMPLEMENTED = 0x34;
constexpr CONFIGRET CR_INVALID_PROPERTY = 0x35;
constexpr CONFIGRET CR_DEVICE_INTERFACE_ACTIVE = 0x36;
constexpr CONFIGRET CR_NO_SUCH_DEVICE_INTERFACE = 0x37;
constexpr CONFIGRET CR_INVALID_REFERENCE_STRING = 0x38;
constexpr CONFIGRET CR_INVALID_CONFLICT_LIST = 0x39;
constexpr CONFIGRET CR_INVALID_INDEX = 0x3A;
constexpr CONFIGRET CR_INVALID_STRUCTURE_SIZE = 0x3B;

// CM_Get_Device_ID_List filters. One of enumerator, service, class or bus relations may be given;
// present narrows any of them, or the whole list.
constexpr ULONG CM_GETIDLIST_FILTER_NONE = 0x00000000;
constexpr ULONG CM_GETIDLIST_FILTER_ENUMERATOR = 0x00000001;
constexpr ULONG CM_GETIDLIST_FILTER_SERVICE = 0x00000002;
constexpr ULONG CM_GETIDLIST_FILTER_EJECTRELATIONS = 0x00000004;
constexpr ULONG CM_GETIDLIST_FILTER_REMOVALRELATIONS = 0x00000008;
constexpr ULONG CM_GETIDLIST_FILTER_POWERRELATIONS = 0x00000010;
constexpr ULONG CM_GETIDLIST_FILTER_BUSRELATIONS = 0x00000020;
constexpr ULONG CM_GETIDLIST_DONOTGENERATE = 0x10000040;
constexpr ULONG CM_GETIDLIST_FILTER_TRANSPORTRELATIONS = 0x00000080;
constexpr ULONG CM_GETIDLIST_FILTER_PRESENT = 0x00000100;
constexpr ULONG CM_GETIDLIST_FILTER_CLASS = 0x00000200;

constexpr ULONG CM_GET_DEVICE_INTERFACE_LIST_PRESENT = 0x00000000;
constexpr ULONG CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES = 0x00000001;

constexpr ULONG CM_LOCATE_DEVNODE_NORMAL = 0x00000000;
constexpr ULONG CM_LOCATE_DEVNODE_PHANTOM = 0x00000001;
constexpr ULONG CM_LOCATE_DEVNODE_CANCELREMOVE = 0x00000002;
constexpr ULONG CM_LOCATE_DEVNODE_NOVALIDATION = 0x00000004;

constexpr ULONG CM_REENUMERATE_NORMAL = 0x00000000;
constexpr ULONG CM_REENUMERATE_SYNCHRONOUS = 0x00000001;
constexpr ULONG CM_REENUMERATE_RETRY_INSTALLATION = 0x00000002;
constexpr ULONG CM_REENUMERATE_ASYNCHRONOUS = 0x00000004;

// Device capabilities (DEVPKEY_Device_Capabilities bits).
constexpr ULONG CM_DEVCAP_LOCKSUPPORTED = 0x00000001;
constexpr ULONG CM_DEVCAP_EJECTSUPPORTED = 0x00000002;
constexpr ULONG CM_DEVCAP_REMOVABLE = 0x00000004;
constexpr ULONG CM_DEVCAP_DOCKDEVICE = 0x00000008;
constexpr ULONG CM_DEVCAP_UNIQUEID = 0x00000010;
constexpr ULONG CM_DEVCAP_SILENTINSTALL = 0x00000020;
constexpr ULONG CM_DEVCAP_RAWDEVICEOK = 0x00000040;
constexpr ULONG CM_DEVCAP_SURPRISEREMOVALOK = 0x00000080;
constexpr ULONG CM_DEVCAP_HARDWAREDISABLED = 0x00000100;
constexpr ULONG CM_DEVCAP_NONDYNAMIC = 0x00000200;
constexpr ULONG CM_DEVCAP_SECUREDEVICE = 0x00000400;

constexpr size_t MAX_DEVICE_ID_LEN = 200;

// Property types.
constexpr DEVPROPTYPE DEVPROP_TYPEMOD_ARRAY = 0x00001000;
constexpr DEVPROPTYPE DEVPROP_TYPEMOD_LIST = 0x00002000;
constexpr DEVPROPTYPE DEVPROP_TYPE_EMPTY = 0x00000000;
constexpr DEVPROPTYPE DEVPROP_TYPE_NULL = 0x00000001;
constexpr DEVPROPTYPE DEVPROP_TYPE_SBYTE = 0x00000002;
constexpr DEVPROPTYPE DEVPROP_TYPE_BYTE = 0x00000003;
constexpr DEVPROPTYPE DEVPROP_TYPE_INT16 = 0x00000004;
constexpr DEVPROPTYPE DEVPROP_TYPE_UINT16 = 0x00000005;
constexpr DEVPROPTYPE DEVPROP_TYPE_INT32 = 0x00000006;
constexpr DEVPROPTYPE DEVPROP_TYPE_UINT32 = 0x00000007;
constexpr DEVPROPTYPE DEVPROP_TYPE_INT64 = 0x00000008;
constexpr DEVPROPTYPE DEVPROP_TYPE_UINT64 = 0x00000009;
constexpr DEVPROPTYPE DEVPROP_TYPE_FLOAT = 0x0000000A;
constexpr DEVPROPTYPE DEVPROP_TYPE_DOUBLE = 0x0000000B;
constexpr DEVPROPTYPE DEVPROP_TYPE_DECIMAL = 0x0000000C;
constexpr DEVPROPTYPE DEVPROP_TYPE_GUID = 0x0000000D;
constexpr DEVPROPTYPE DEVPROP_TYPE_CURRENCY = 0x0000000E;
constexpr DEVPROPTYPE DEVPROP_TYPE_DATE = 0x0000000F;
constexpr DEVPROPTYPE DEVPROP_TYPE_FILETIME = 0x00000010;
constexpr DEVPROPTYPE DEVPROP_TYPE_BOOLEAN = 0x00000011;
constexpr DEVPROPTYPE DEVPROP_TYPE_STRING = 0x00000012;
constexpr DEVPROPTYPE DEVPROP_TYPE_SECURITY_DESCRIPTOR = 0x00000013;
constexpr DEVPROPTYPE DEVPROP_TYPE_SECURITY_DESCRIPTOR_STRING = 0x00000014;
constexpr DEVPROPTYPE DEVPROP_TYPE_DEVPROPKEY = 0x00000015;
constexpr DEVPROPTYPE DEVPROP_TYPE_DEVPROPTYPE = 0x00000016;
constexpr DEVPROPTYPE DEVPROP_TYPE_ERROR = 0x00000017;
constexpr DEVPROPTYPE DEVPROP_TYPE_NTSTATUS = 0x00000018;
constexpr DEVPROPTYPE DEVPROP_TYPE_STRING_INDIRECT = 0x00000019;
constexpr DEVPROPTYPE DEVPROP_TYPE_STRING_LIST = DEVPROP_TYPE_STRING | DEVPROP_TYPEMOD_LIST;
constexpr DEVPROPTYPE DEVPROP_TYPE_BINARY = DEVPROP_TYPE_BYTE | DEVPROP_TYPEMOD_ARRAY;

// A DEVPROP_TYPE_BOOLEAN value is one byte.
constexpr BYTE DEVPROP_TRUE = 0xFF;
constexpr BYTE DEVPROP_FALSE = 0x00;

// Device property keys.
inline constexpr GUID kDevPropSetDevice = {
    0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}};
inline constexpr GUID kDevPropSetRelations = {
    0x4340a6c5, 0x93fa, 0x4706, {0x97, 0x2c, 0x7b, 0x64, 0x80, 0x08, 0xa5, 0xa7}};
inline constexpr GUID kDevPropSetPciDevice = {
    0x3ab22e31, 0x8264, 0x4b4e, {0x9a, 0xf5, 0xa8, 0xd2, 0xd8, 0xe3, 0x3e, 0x62}};

inline constexpr DEVPROPKEY DEVPKEY_Device_DeviceDesc = {kDevPropSetDevice, 2};
inline constexpr DEVPROPKEY DEVPKEY_Device_HardwareIds = {kDevPropSetDevice, 3};
inline constexpr DEVPROPKEY DEVPKEY_Device_CompatibleIds = {kDevPropSetDevice, 4};
inline constexpr DEVPROPKEY DEVPKEY_Device_Service = {kDevPropSetDevice, 6};
inline constexpr DEVPROPKEY DEVPKEY_Device_Class = {kDevPropSetDevice, 9};
inline constexpr DEVPROPKEY DEVPKEY_Device_ClassGuid = {kDevPropSetDevice, 10};
inline constexpr DEVPROPKEY DEVPKEY_Device_Driver = {kDevPropSetDevice, 11};
inline constexpr DEVPROPKEY DEVPKEY_Device_Manufacturer = {kDevPropSetDevice, 13};
inline constexpr DEVPROPKEY DEVPKEY_Device_FriendlyName = {kDevPropSetDevice, 14};
inline constexpr DEVPROPKEY DEVPKEY_Device_LocationInfo = {kDevPropSetDevice, 15};
inline constexpr DEVPROPKEY DEVPKEY_Device_Capabilities = {kDevPropSetDevice, 17};
inline constexpr DEVPROPKEY DEVPKEY_Device_BusNumber = {kDevPropSetDevice, 23};
inline constexpr DEVPROPKEY DEVPKEY_Device_EnumeratorName = {kDevPropSetDevice, 24};
inline constexpr DEVPROPKEY DEVPKEY_Device_Address = {kDevPropSetDevice, 30};
inline constexpr DEVPROPKEY DEVPKEY_Device_LocationPaths = {kDevPropSetDevice, 37};
inline constexpr DEVPROPKEY DEVPKEY_Device_Parent = {kDevPropSetRelations, 8};
inline constexpr DEVPROPKEY DEVPKEY_Device_Children = {kDevPropSetRelations, 9};
inline constexpr DEVPROPKEY DEVPKEY_Device_IsPresent = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 5};
inline constexpr DEVPROPKEY DEVPKEY_Device_DriverVersion = {
    {0xa8b865dd, 0x2e3d, 0x4094, {0xad, 0x97, 0xe5, 0x93, 0xa7, 0x0c, 0x75, 0xd6}}, 3};
inline constexpr DEVPROPKEY DEVPKEY_Device_ContainerId = {
    {0x8c7ed206, 0x3f8a, 0x4827, {0xb3, 0xab, 0xae, 0x9e, 0x1f, 0xae, 0xfc, 0x6c}}, 2};
inline constexpr DEVPROPKEY DEVPKEY_Device_InstanceId = {
    {0x78c34fc8, 0x104a, 0x4aca, {0x9e, 0xa4, 0x52, 0x4d, 0x52, 0x99, 0x6e, 0x57}}, 256};
inline constexpr DEVPROPKEY DEVPKEY_PciDevice_BaseClass = {kDevPropSetPciDevice, 3};
inline constexpr DEVPROPKEY DEVPKEY_PciDevice_SubClass = {kDevPropSetPciDevice, 4};
inline constexpr DEVPROPKEY DEVPKEY_PciDevice_ProgIf = {kDevPropSetPciDevice, 5};
inline constexpr DEVPROPKEY DEVPKEY_PciDevice_CurrentLinkSpeed = {kDevPropSetPciDevice, 9};
inline constexpr DEVPROPKEY DEVPKEY_PciDevice_CurrentLinkWidth = {kDevPropSetPciDevice, 10};
inline constexpr DEVPROPKEY DEVPKEY_DeviceInterface_Enabled = {
    {0x026e516e, 0xb814, 0x414b, {0x83, 0xcd, 0x85, 0x6d, 0x6f, 0xef, 0x48, 0x22}}, 3};
inline constexpr DEVPROPKEY DEVPKEY_DeviceInterface_ClassGuid = {
    {0x026e516e, 0xb814, 0x414b, {0x83, 0xcd, 0x85, 0x6d, 0x6f, 0xef, 0x48, 0x22}}, 4};

// Device interface classes the product lists.
inline constexpr GUID GUID_DEVINTERFACE_DISK = {
    0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
inline constexpr GUID GUID_DEVINTERFACE_STORAGEPORT = {
    0x2accfe60, 0xc130, 0x11d2, {0xb0, 0x82, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

// Setup classes.
inline constexpr GUID GUID_DEVCLASS_SYSTEM = {
    0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
inline constexpr GUID GUID_DEVCLASS_SCSIADAPTER = {
    0x4d36e97b, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
inline constexpr GUID GUID_DEVCLASS_DISKDRIVE = {
    0x4d36e967, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// Length of the list in characters, final NUL included. No list filter when filter is null or empty.
CONFIGRET CM_Get_Device_ID_List_SizeW(PULONG length, PCWSTR filter, ULONG flags);
// CR_BUFFER_SMALL when the list does not fit in bufferLength characters (the buffer is left as it was).
CONFIGRET CM_Get_Device_ID_ListW(PCWSTR filter, PZZWSTR buffer, ULONG bufferLength, ULONG flags);

// The interface paths of one interface class, optionally of one device instance only.
CONFIGRET CM_Get_Device_Interface_List_SizeW(PULONG length, LPGUID interfaceClass, DEVINSTID_W deviceId,
                                             ULONG flags);
CONFIGRET CM_Get_Device_Interface_ListW(LPGUID interfaceClass, DEVINSTID_W deviceId, PZZWSTR buffer,
                                        ULONG bufferLength, ULONG flags);

// Property reads: *bufferSize holds the buffer's size in bytes on input and the value's size on output;
// a null buffer with size 0 asks for the size (CR_BUFFER_SMALL unless the value is empty). The type is
// stored on success and on CR_BUFFER_SMALL.
CONFIGRET CM_Get_Device_Interface_PropertyW(LPCWSTR interfacePath, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                            PBYTE buffer, PULONG bufferSize, ULONG flags);
CONFIGRET CM_Get_DevNode_PropertyW(DEVINST devInst, const DEVPROPKEY* key, DEVPROPTYPE* type, PBYTE buffer,
                                   PULONG bufferSize, ULONG flags);

// A null or empty id locates the root of the tree. A device that is not present is found only with
// CM_LOCATE_DEVNODE_PHANTOM.
CONFIGRET CM_Locate_DevNodeW(PDEVINST devInst, DEVINSTID_W deviceId, ULONG flags);
CONFIGRET CM_Locate_DevNodeA(PDEVINST devInst, DEVINSTID_A deviceId, ULONG flags);

// Asks the device's bus driver to look for new children again.
CONFIGRET CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags);

#pragma once
// Software device nodes: a program asks Windows to enumerate a device node of its own under an
// enumerator name ("SWD\<enumerator>\<instance id>") below a parent device. The node is made in the
// background; the creation result arrives through a callback on another thread. The node lives by
// its lifetime: with the handle lifetime (the default) closing the handle removes it, with the
// parent-present lifetime it stays while its parent is present. Creating a node that exists gives
// a handle to it, so re-creating with the handle lifetime and closing removes an existing node.
// Nodes appear in the configuration manager (WinCfgMgr.h) like every other device node.
#include <cstddef>

#include "platform/win/WinCfgMgr.h"
#include "platform/win/WinCom.h"

struct HSWDEVICE__;
using HSWDEVICE = HSWDEVICE__*;
using PCZZWSTR = const wchar_t*;

enum SW_DEVICE_LIFETIME : int32_t {
    SWDeviceLifetimeHandle = 0,
    SWDeviceLifetimeParentPresent = 1,
    SWDeviceLifetimeMax = 2,
};

// SW_DEVICE_CREATE_INFO capability flags.
constexpr ULONG SWDeviceCapabilitiesNone = 0x0;
constexpr ULONG SWDeviceCapabilitiesRemovable = 0x1;
constexpr ULONG SWDeviceCapabilitiesSilentInstall = 0x2;
constexpr ULONG SWDeviceCapabilitiesNoDisplayInUI = 0x4;
constexpr ULONG SWDeviceCapabilitiesDriverRequired = 0x8;

struct SW_DEVICE_CREATE_INFO {
    ULONG cbSize; // sizeof(SW_DEVICE_CREATE_INFO)
    PCWSTR pszInstanceId;
    PCZZWSTR pszzHardwareIds; // a multi-string, or null
    PCZZWSTR pszzCompatibleIds;
    const GUID* pContainerId;
    ULONG CapabilityFlags;
    PCWSTR pszDeviceDescription;
    PCWSTR pszDeviceLocation;
    const void* pSecurityDescriptor;
};
static_assert(sizeof(SW_DEVICE_CREATE_INFO) == 72);
static_assert(offsetof(SW_DEVICE_CREATE_INFO, pszInstanceId) == 8);
static_assert(offsetof(SW_DEVICE_CREATE_INFO, pszzHardwareIds) == 16);
static_assert(offsetof(SW_DEVICE_CREATE_INFO, pszzCompatibleIds) == 24);
static_assert(offsetof(SW_DEVICE_CREATE_INFO, pContainerId) == 32);
static_assert(offsetof(SW_DEVICE_CREATE_INFO, CapabilityFlags) == 40);
static_assert(offsetof(SW_DEVICE_CREATE_INFO, pszDeviceDescription) == 48);
static_assert(offsetof(SW_DEVICE_CREATE_INFO, pszDeviceLocation) == 56);
static_assert(offsetof(SW_DEVICE_CREATE_INFO, pSecurityDescriptor) == 64);

// Properties set at creation; not supported here (a count other than 0 gives E_INVALIDARG).
struct DEVPROPERTY;

// Called once on a thread of the system with the creation's result and, on success, the node's
// device instance id; it may arrive after SwDeviceCreate has returned, but never after SwDeviceClose
// has returned.
using SW_DEVICE_CREATE_CALLBACK = void (*)(HSWDEVICE device, HRESULT createResult, PVOID context,
                                           PCWSTR deviceInstanceId);

// Starts the creation of "SWD\<enumeratorName>\<info->pszInstanceId>" below the parent (a present
// device instance; HRESULT_ERROR_NOT_FOUND otherwise) and returns its handle at once. E_INVALIDARG
// for a missing name, instance id or callback, a wrong cbSize, or an instance id with a backslash.
HRESULT SwDeviceCreate(PCWSTR enumeratorName, PCWSTR parentDeviceInstance, const SW_DEVICE_CREATE_INFO* info,
                       ULONG propertyCount, const DEVPROPERTY* properties, SW_DEVICE_CREATE_CALLBACK callback,
                       PVOID context, HSWDEVICE* device);
HRESULT SwDeviceSetLifetime(HSWDEVICE device, SW_DEVICE_LIFETIME lifetime);
// Closes the handle: a node with the handle lifetime is removed. A callback that has not run by now
// never runs; one that is running is waited for.
void SwDeviceClose(HSWDEVICE device);

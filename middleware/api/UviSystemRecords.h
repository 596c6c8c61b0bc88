#pragma once
// The system and library version records of the exported interface and their queries.
#include <stddef.h>
#include <stdint.h>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

#ifndef __cplusplus
#include <assert.h>
#include <stdbool.h>
typedef struct _UVI_SystemInfo _UVI_SystemInfo;
typedef struct _UVI_MiddlewareVersionInfo _UVI_MiddlewareVersionInfo;
#endif

// The version UviGetSystemInfo accepts.
enum { UVI_SYSTEM_INFO_VERSION = 0x10000DAD };

// Feature bits of _UVI_SystemInfo::features.
enum {
    UVI_FEATURE_EMAIL = 0x1,
    UVI_FEATURE_XQJD_MODE = 0x2,
    UVI_FEATURE_PERFORMANCE_MODE = 0x4,
    UVI_FEATURE_RESERVED_26 = 0x8,
    UVI_FEATURE_CONTROLLER_REMAP = 0x10,
};

struct _UVI_SystemInfo {
    uint32_t recordVersion; // always 10
    uint8_t reserved4;
    uint8_t xqjdMode;
    uint8_t emailDisabled;
    uint8_t performanceModeDisabled;
    uint8_t rohiDisabled;
    // The OEM reserved volume's name, when it is a RAID 0 volume of the system.
    char oemReservedVolume[17];
    uint8_t reserved26;
    uint8_t linkPowerManagementEnabled;
    uint32_t reserved28;
    uint32_t features;
    uint32_t reserved36;
    // 0 all well, 1 attention, 2 failed.
    uint32_t worstStatus;
    uint32_t reserved44;
};
static_assert(sizeof(_UVI_SystemInfo) == 48, "record layout");
static_assert(offsetof(_UVI_SystemInfo, recordVersion) == 0, "record layout");
static_assert(offsetof(_UVI_SystemInfo, reserved4) == 4, "record layout");
static_assert(offsetof(_UVI_SystemInfo, xqjdMode) == 5, "record layout");
static_assert(offsetof(_UVI_SystemInfo, emailDisabled) == 6, "record layout");
static_assert(offsetof(_UVI_SystemInfo, performanceModeDisabled) == 7, "record layout");
static_assert(offsetof(_UVI_SystemInfo, rohiDisabled) == 8, "record layout");
static_assert(offsetof(_UVI_SystemInfo, oemReservedVolume) == 9, "record layout");
static_assert(offsetof(_UVI_SystemInfo, reserved26) == 26, "record layout");
static_assert(offsetof(_UVI_SystemInfo, linkPowerManagementEnabled) == 27, "record layout");
static_assert(offsetof(_UVI_SystemInfo, features) == 32, "record layout");
static_assert(offsetof(_UVI_SystemInfo, worstStatus) == 40, "record layout");

struct _UVI_MiddlewareVersionInfo {
    uint32_t recordVersion; // always 1
    uint32_t reserved4;
    char versionText[32];
    uint32_t major;
    uint32_t minor;
    uint32_t revision;
    uint32_t build;
};
static_assert(sizeof(_UVI_MiddlewareVersionInfo) == 56, "record layout");
static_assert(offsetof(_UVI_MiddlewareVersionInfo, versionText) == 8, "record layout");
static_assert(offsetof(_UVI_MiddlewareVersionInfo, major) == 40, "record layout");
static_assert(offsetof(_UVI_MiddlewareVersionInfo, minor) == 44, "record layout");
static_assert(offsetof(_UVI_MiddlewareVersionInfo, revision) == 48, "record layout");
static_assert(offsetof(_UVI_MiddlewareVersionInfo, build) == 52, "record layout");

#ifdef __cplusplus
extern "C" {
#endif
// Needs an open session (not 0) and the version UVI_SYSTEM_INFO_VERSION.
MOX_EXPORT _UVI_Error UviGetSystemInfo(unsigned int session, uint32_t version, _UVI_SystemInfo* info);
// The PCI device ID of the platform's LPC controller; needs no initialisation.
MOX_EXPORT _UVI_Error GetLPCId(uint16_t* id);
MOX_EXPORT _UVI_MiddlewareVersionInfo UviGetMiddlewareVersionInfo(void);
#ifdef __cplusplus
}
#endif

#pragma once
// The zero-power optical drive status record (IOCTL_ZERO_POWER_ODD, "OrvexATA"). Both moxcli and
// the optical drive library send it; each fills the header in its own way, so this header holds
// only the layout and its values.
#include <cstddef>
#include <cstdint>

#include "platform/win/WinStorage.h"

// Signature of the driver's ATA/AHCI miniport interface.
inline constexpr char kAtaSignature[] = "OrvexATA";

constexpr ULONG IOCTL_ZERO_POWER_ODD = 0x80000C00;

// The caller's marker; a driver that understood the request writes it back beside it.
constexpr ULONG kZpoddMarker = 0x1234;

// Power state word.
constexpr ULONG kZpoddAwake = 1;
constexpr ULONG kZpoddDozing = 2;
constexpr ULONG kZpoddAsleep = 3;
constexpr ULONG kZpoddAwakening = 4;
constexpr ULONG kZpoddDriveNotSupported = 5;
constexpr ULONG kZpoddAcpiNotSupported = 6;
constexpr ULONG kZpoddLoadingMechanismNotSupported = 7;
constexpr ULONG kZpoddThreadFailed = 8;
constexpr ULONG kZpoddHotPlugNotSupported = 9;

struct _ZPODD_INFO {
    static constexpr const char* kRuntimeClassName = "struct _ZPODD_INFO";
    ULONG Marker;
    ULONG MarkerEcho;
    ULONG PowerState;
    ULONG MediaPresent; // non-zero: a medium is in the drive
    UCHAR Reserved1[8];
    ULONG TrayOpen; // non-zero: the tray is open
    UCHAR Reserved2[184];
};
static_assert(sizeof(_ZPODD_INFO) == 212);
static_assert(offsetof(_ZPODD_INFO, MarkerEcho) == 4);
static_assert(offsetof(_ZPODD_INFO, PowerState) == 8);
static_assert(offsetof(_ZPODD_INFO, MediaPresent) == 12);
static_assert(offsetof(_ZPODD_INFO, TrayOpen) == 24);

struct _ZPODD_INFO_WITH_HEADER {
    static constexpr const char* kRuntimeClassName = "struct _ZPODD_INFO_WITH_HEADER";
    SRB_IO_CONTROL Header;
    _ZPODD_INFO Info;
};
static_assert(sizeof(_ZPODD_INFO_WITH_HEADER) == 240);
static_assert(offsetof(_ZPODD_INFO_WITH_HEADER, Info) == 28);
static_assert(offsetof(_ZPODD_INFO_WITH_HEADER, Info.MarkerEcho) == 32);
static_assert(offsetof(_ZPODD_INFO_WITH_HEADER, Info.PowerState) == 36);
static_assert(offsetof(_ZPODD_INFO_WITH_HEADER, Info.MediaPresent) == 40);
static_assert(offsetof(_ZPODD_INFO_WITH_HEADER, Info.TrayOpen) == 52);

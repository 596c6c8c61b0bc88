// The storage security command PPI of the EDK II PEI interfaces: security protocol commands (trusted
// send and receive) to one device, with the device path that names it, for the platform's
// resume-time drive unlock code.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef struct _EFI_DEVICE_PATH_PROTOCOL EFI_DEVICE_PATH_PROTOCOL;
typedef struct _EDKII_PEI_STORAGE_SECURITY_CMD_PPI EDKII_PEI_STORAGE_SECURITY_CMD_PPI;

#define EDKII_STORAGE_SECURITY_PPI_REVISION 0x00010000

typedef EFI_STATUS(EFIAPI* EDKII_PEI_STORAGE_SECURITY_GET_NUMBER_DEVICES)(
    IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This, OUT UINTN* NumberofDevices);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_STORAGE_SECURITY_GET_DEVICE_PATH)(
    IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This, IN UINTN DeviceIndex, OUT UINTN* DevicePathLength,
    OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath);
// Timeout in 100 ns units, 0 without limit; the device index counts from 1.
typedef EFI_STATUS(EFIAPI* EDKII_PEI_STORAGE_SECURITY_RECEIVE_DATA)(
    IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This, IN UINTN DeviceIndex, IN UINT64 Timeout,
    IN UINT8 SecurityProtocolId, IN UINT16 SecurityProtocolSpecificData, IN UINTN PayloadBufferSize,
    OUT VOID* PayloadBuffer, OUT UINTN* PayloadTransferSize);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_STORAGE_SECURITY_SEND_DATA)(IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This,
                                                                 IN UINTN DeviceIndex, IN UINT64 Timeout,
                                                                 IN UINT8 SecurityProtocolId,
                                                                 IN UINT16 SecurityProtocolSpecificData,
                                                                 IN UINTN PayloadBufferSize,
                                                                 IN VOID* PayloadBuffer);

struct _EDKII_PEI_STORAGE_SECURITY_CMD_PPI {
    alignas(8) UINT64 Revision;
    EDKII_PEI_STORAGE_SECURITY_GET_NUMBER_DEVICES GetNumberofDevices;
    EDKII_PEI_STORAGE_SECURITY_GET_DEVICE_PATH GetDevicePath;
    EDKII_PEI_STORAGE_SECURITY_RECEIVE_DATA ReceiveData;
    EDKII_PEI_STORAGE_SECURITY_SEND_DATA SendData;
};
static_assert(offsetof(EDKII_PEI_STORAGE_SECURITY_CMD_PPI, SendData) == 8 + 3 * sizeof(VOID*),
              "EDKII_PEI_STORAGE_SECURITY_CMD_PPI.SendData");

inline EFI_GUID gEdkiiPeiStorageSecurityCommandPpiGuid = {
    0x35de0b4e, 0x30fb, 0x46c3, {0xbd, 0x84, 0x1f, 0xdb, 0xa1, 0x58, 0xbb, 0x56}};

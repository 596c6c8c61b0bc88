// EFI_BLOCK_IO_PROTOCOL: a block device and its media.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_BLOCK_IO_PROTOCOL_GUID                                                                           \
    {                                                                                                        \
        0x964e5b21, 0x6459, 0x11d2, {                                                                        \
            0x8e, 0x39, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiBlockIoProtocolGuid = EFI_BLOCK_IO_PROTOCOL_GUID;

#define EFI_BLOCK_IO_PROTOCOL_REVISION2 0x00020001ULL
#define EFI_BLOCK_IO_PROTOCOL_REVISION3 0x0002001FULL

typedef struct {
    UINT32 MediaId;
    BOOLEAN RemovableMedia;
    BOOLEAN MediaPresent;
    BOOLEAN LogicalPartition;
    BOOLEAN ReadOnly;
    BOOLEAN WriteCaching;
    UINT32 BlockSize;
    UINT32 IoAlign;
    alignas(8) EFI_LBA LastBlock;
    // Revision 2 and later.
    EFI_LBA LowestAlignedLba;
    UINT32 LogicalBlocksPerPhysicalBlock;
    // Revision 3 and later.
    UINT32 OptimalTransferLengthGranularity;
} EFI_BLOCK_IO_MEDIA;
static_assert(sizeof(EFI_BLOCK_IO_MEDIA) == 48, "EFI_BLOCK_IO_MEDIA size");
static_assert(offsetof(EFI_BLOCK_IO_MEDIA, WriteCaching) == 8 &&
                  offsetof(EFI_BLOCK_IO_MEDIA, BlockSize) == 12 &&
                  offsetof(EFI_BLOCK_IO_MEDIA, IoAlign) == 16 &&
                  offsetof(EFI_BLOCK_IO_MEDIA, LastBlock) == 24 &&
                  offsetof(EFI_BLOCK_IO_MEDIA, LogicalBlocksPerPhysicalBlock) == 40,
              "EFI_BLOCK_IO_MEDIA field offsets");

struct EFI_BLOCK_IO_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_BLOCK_RESET)(EFI_BLOCK_IO_PROTOCOL* This, BOOLEAN ExtendedVerification);
typedef EFI_STATUS(EFIAPI* EFI_BLOCK_READ)(EFI_BLOCK_IO_PROTOCOL* This, UINT32 MediaId, EFI_LBA Lba,
                                           UINTN BufferSize, VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_BLOCK_WRITE)(EFI_BLOCK_IO_PROTOCOL* This, UINT32 MediaId, EFI_LBA Lba,
                                            UINTN BufferSize, VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_BLOCK_FLUSH)(EFI_BLOCK_IO_PROTOCOL* This);

struct EFI_BLOCK_IO_PROTOCOL {
    UINT64 Revision;
    EFI_BLOCK_IO_MEDIA* Media;
    EFI_BLOCK_RESET Reset;
    EFI_BLOCK_READ ReadBlocks;
    EFI_BLOCK_WRITE WriteBlocks;
    EFI_BLOCK_FLUSH FlushBlocks;
};
static_assert(sizeof(EFI_BLOCK_IO_PROTOCOL) == EFI_LAYOUT(48, 32), "EFI_BLOCK_IO_PROTOCOL size");
static_assert(offsetof(EFI_BLOCK_IO_PROTOCOL, Media) == 8 &&
                  offsetof(EFI_BLOCK_IO_PROTOCOL, FlushBlocks) == EFI_LAYOUT(40, 24),
              "EFI_BLOCK_IO_PROTOCOL field offsets");

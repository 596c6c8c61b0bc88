// Base types of the UEFI and PI specifications, shared by both firmware programs and by the
// simulated firmware. Written from the specifications' data type tables; the widths follow the
// target: UINTN is 8 bytes on x64 and 4 bytes on IA32.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#if defined(__x86_64__)
#define EFIAPI __attribute__((ms_abi))
#else
#define EFIAPI
#endif

#define IN
#define OUT
#define OPTIONAL
#define CONST const

typedef uint8_t UINT8;
typedef uint16_t UINT16;
typedef uint32_t UINT32;
typedef uint64_t UINT64;
typedef int8_t INT8;
typedef int16_t INT16;
typedef int32_t INT32;
typedef int64_t INT64;
typedef uintptr_t UINTN;
typedef intptr_t INTN;
typedef unsigned char BOOLEAN;
typedef char CHAR8;
typedef char16_t CHAR16;
typedef void VOID;

typedef UINTN EFI_STATUS;
typedef VOID* EFI_HANDLE;
typedef VOID* EFI_EVENT;
typedef UINTN EFI_TPL;
typedef UINT64 EFI_LBA;
typedef UINT64 EFI_PHYSICAL_ADDRESS;
typedef UINT64 EFI_VIRTUAL_ADDRESS;

#define TRUE ((BOOLEAN)1)
#define FALSE ((BOOLEAN)0)

typedef struct {
    UINT32 Data1;
    UINT16 Data2;
    UINT16 Data3;
    UINT8 Data4[8];
} EFI_GUID;
static_assert(sizeof(EFI_GUID) == 16, "EFI_GUID is 16 bytes");

// Status codes: errors have the top bit of the native width set.
#define EFI_MAX_BIT ((UINTN)1 << (sizeof(UINTN) * 8 - 1))
#define EFIERR(a) (EFI_MAX_BIT | (UINTN)(a))
#define EFI_ERROR(a) (((INTN)(EFI_STATUS)(a)) < 0)

#define EFI_SUCCESS ((EFI_STATUS)0)
#define EFI_LOAD_ERROR EFIERR(1)
#define EFI_INVALID_PARAMETER EFIERR(2)
#define EFI_UNSUPPORTED EFIERR(3)
#define EFI_BAD_BUFFER_SIZE EFIERR(4)
#define EFI_BUFFER_TOO_SMALL EFIERR(5)
#define EFI_NOT_READY EFIERR(6)
#define EFI_DEVICE_ERROR EFIERR(7)
#define EFI_WRITE_PROTECTED EFIERR(8)
#define EFI_OUT_OF_RESOURCES EFIERR(9)
#define EFI_VOLUME_CORRUPTED EFIERR(10)
#define EFI_VOLUME_FULL EFIERR(11)
#define EFI_NO_MEDIA EFIERR(12)
#define EFI_MEDIA_CHANGED EFIERR(13)
#define EFI_NOT_FOUND EFIERR(14)
#define EFI_ACCESS_DENIED EFIERR(15)
#define EFI_NO_RESPONSE EFIERR(16)
#define EFI_NO_MAPPING EFIERR(17)
#define EFI_TIMEOUT EFIERR(18)
#define EFI_NOT_STARTED EFIERR(19)
#define EFI_ALREADY_STARTED EFIERR(20)
#define EFI_ABORTED EFIERR(21)
#define EFI_ICMP_ERROR EFIERR(22)
#define EFI_TFTP_ERROR EFIERR(23)
#define EFI_PROTOCOL_ERROR EFIERR(24)
#define EFI_INCOMPATIBLE_VERSION EFIERR(25)
#define EFI_SECURITY_VIOLATION EFIERR(26)
#define EFI_CRC_ERROR EFIERR(27)
#define EFI_END_OF_MEDIA EFIERR(28)
#define EFI_END_OF_FILE EFIERR(31)
#define EFI_INVALID_LANGUAGE EFIERR(32)
#define EFI_COMPROMISED_DATA EFIERR(33)

#define EFI_WARN_UNKNOWN_GLYPH ((EFI_STATUS)1)
#define EFI_WARN_DELETE_FAILURE ((EFI_STATUS)2)
#define EFI_WARN_WRITE_FAILURE ((EFI_STATUS)3)
#define EFI_WARN_BUFFER_TOO_SMALL ((EFI_STATUS)4)

// Layouts are asserted for the two targets the firmware programs are built for: x64 (8-byte
// pointers) and IA32 (4-byte pointers). A UINT64 field keeps its natural 8-byte alignment on IA32 as
// the UEFI calling convention requires; records that have one after a 4-byte field say so with
// alignas, so a 32-bit build lays them out the same whatever the compiler's default.
static_assert(sizeof(VOID*) == 8 || sizeof(VOID*) == 4, "UEFI targets are x64 or IA32");
#define EFI_LAYOUT(x64, ia32) (sizeof(VOID*) == 8 ? (x64) : (ia32))

// The header at the start of every service table.
typedef struct {
    UINT64 Signature;
    UINT32 Revision;
    UINT32 HeaderSize;
    UINT32 CRC32;
    UINT32 Reserved;
} EFI_TABLE_HEADER;
static_assert(sizeof(EFI_TABLE_HEADER) == 24, "EFI_TABLE_HEADER is 24 bytes");
static_assert(offsetof(EFI_TABLE_HEADER, Revision) == 8 && offsetof(EFI_TABLE_HEADER, CRC32) == 16,
              "EFI_TABLE_HEADER field offsets");

// Variable argument lists of the firmware's own formatting routines (not of EFIAPI functions).
typedef va_list VA_LIST;
#define VA_START(list, last) va_start(list, last)
#define VA_ARG(list, type) va_arg(list, type)
#define VA_END(list) va_end(list)
#define VA_COPY(dest, src) va_copy(dest, src)

// Memory types and the page size, shared by the boot services and the PEI services.
typedef enum {
    EfiReservedMemoryType,
    EfiLoaderCode,
    EfiLoaderData,
    EfiBootServicesCode,
    EfiBootServicesData,
    EfiRuntimeServicesCode,
    EfiRuntimeServicesData,
    EfiConventionalMemory,
    EfiUnusableMemory,
    EfiACPIReclaimMemory,
    EfiACPIMemoryNVS,
    EfiMemoryMappedIO,
    EfiMemoryMappedIOPortSpace,
    EfiPalCode,
    EfiPersistentMemory,
    EfiUnacceptedMemoryType,
    EfiMaxMemoryType
} EFI_MEMORY_TYPE;
static_assert(sizeof(EFI_MEMORY_TYPE) == 4, "UEFI enumerations are 32 bits");

#define EFI_PAGE_SIZE 4096

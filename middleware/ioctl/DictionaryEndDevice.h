#pragma once
// The end-device dictionary of one disk, read into a fixed record: its addresses, identity and
// geometry as the raidport and the miniport report them. The two views must name the same disk
// (the same path and target ids).
#include <cstddef>
#include <cstdint>

#include "middleware/ioctl/Dictionary.h"
#include "middleware/ioctl/DictionaryCatalogue.h"

struct EndDeviceDictionaryValues {
    uint32_t valid; // 0 while reading, 1 after a successful read
    uint8_t reserved[4];
    uint64_t sasAddress;
    uint64_t parentSasAddress;
    uint32_t protocolsSupported;
    uint32_t peripheralDeviceType;
    char serialNumber[65];
    uint8_t reserved2[3];
    uint32_t serialNumberLength;
    int32_t raidportPathId;
    int32_t raidportTargetId;
    int32_t miniportPathId;
    int32_t miniportTargetId;
    uint64_t lbaCount;
    uint32_t logicalSectorSize;
    uint32_t queueDepth;
    char modelNumber[17];
    char firmwareVersion[5];
    uint8_t reserved3[2];
    uint32_t portId;
    uint32_t smartCapable;
    uint32_t physicalSectorSize;
    uint8_t prebootVisible;
    uint8_t reserved4[3];
};
static_assert(sizeof(EndDeviceDictionaryValues) == 176);
static_assert(offsetof(EndDeviceDictionaryValues, sasAddress) == 8);
static_assert(offsetof(EndDeviceDictionaryValues, parentSasAddress) == 16);
static_assert(offsetof(EndDeviceDictionaryValues, protocolsSupported) == 24);
static_assert(offsetof(EndDeviceDictionaryValues, peripheralDeviceType) == 28);
static_assert(offsetof(EndDeviceDictionaryValues, serialNumber) == 32);
static_assert(offsetof(EndDeviceDictionaryValues, serialNumberLength) == 100);
static_assert(offsetof(EndDeviceDictionaryValues, raidportPathId) == 104);
static_assert(offsetof(EndDeviceDictionaryValues, raidportTargetId) == 108);
static_assert(offsetof(EndDeviceDictionaryValues, miniportPathId) == 112);
static_assert(offsetof(EndDeviceDictionaryValues, miniportTargetId) == 116);
static_assert(offsetof(EndDeviceDictionaryValues, lbaCount) == 120);
static_assert(offsetof(EndDeviceDictionaryValues, logicalSectorSize) == 128);
static_assert(offsetof(EndDeviceDictionaryValues, queueDepth) == 132);
static_assert(offsetof(EndDeviceDictionaryValues, modelNumber) == 136);
static_assert(offsetof(EndDeviceDictionaryValues, firmwareVersion) == 153);
static_assert(offsetof(EndDeviceDictionaryValues, portId) == 160);
static_assert(offsetof(EndDeviceDictionaryValues, smartCapable) == 164);
static_assert(offsetof(EndDeviceDictionaryValues, physicalSectorSize) == 168);
static_assert(offsetof(EndDeviceDictionaryValues, prebootVisible) == 172);

enum _END_DEVICE_FIELD_NAME : uint32_t {
    END_DEVICE_SAS_ADDRESS = 0x45440000,
    END_DEVICE_PARENT_SAS_ADDRESS = 0x45440001,
    END_DEVICE_PROTOCOLS_SUPPORTED = 0x45440002,
    END_DEVICE_PERIPHERAL_DEVICE_TYPE = 0x45440003,
    END_DEVICE_SERIAL_NUMBER = 0x45440004,
    END_DEVICE_SERIAL_NUMBER_LENGTH = 0x45440005,
    END_DEVICE_PATH_ID = 0x45440006,
    END_DEVICE_TARGET_ID = 0x45440007,
    END_DEVICE_LBA_COUNT = 0x45440008,
    END_DEVICE_LOGICAL_SECTOR_SIZE = 0x45440009,
    END_DEVICE_QUEUE_DEPTH = 0x4544000A,
    END_DEVICE_MODEL_NUMBER = 0x4544000B,
    END_DEVICE_FIRMWARE_VERSION = 0x4544000C,
    END_DEVICE_PORT_ID = 0x4544000D,
    END_DEVICE_SMART_CAPABLE = 0x4544000E,
    END_DEVICE_PHYSICAL_SECTOR_SIZE = 0x4544000F,
    END_DEVICE_PREBOOT_VISIBLE = 0x45440010,
};

class CDictionaryEndDevice : public CDictionaryFieldExtractor<_END_DEVICE_FIELD_NAME, kDictionaryEndDevice>,
                             public CDictionary {
public:
    explicit CDictionaryEndDevice(uint32_t instanceIndex);

    void SetValid(int value) override { m_Values.valid = static_cast<uint32_t>(value); }
    // Puts the serial number into reading order, cuts the firmware version, turns the SAS addresses
    // around, and checks that both views name the same path and target ids.
    CConsolidatedError Invoke() override;
    const FieldMap& GetRaidportFields() const override { return m_Raidport; }
    const FieldMap& GetMiniportFields() const override { return m_Miniport; }

    const EndDeviceDictionaryValues& GetValues() const { return m_Values; }

protected:
    uint32_t GetKind() const override { return kDictionaryEndDevice; }

private:
    EndDeviceDictionaryValues m_Values{};
    FieldMap m_Raidport;
    FieldMap m_Miniport;
};

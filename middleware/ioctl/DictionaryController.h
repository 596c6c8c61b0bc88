#pragma once
// The controller dictionary read into the fixed controller record that every controller locator
// record keeps a copy of.
#include "middleware/ioctl/ControllerDictionaryValues.h"
#include "middleware/ioctl/Dictionary.h"
#include "middleware/ioctl/DictionaryCatalogue.h"

enum _CONTROLLER_FIELD_NAME : uint32_t {
    CONTROLLER_PCI_COMMON_CONFIG = 0x434F0000,
    CONTROLLER_OROM_VERSION = 0x434F0001,
    CONTROLLER_DRIVER_VERSION = 0x434F0002,
    CONTROLLER_MAX_PHYS_PER_PORT = 0x434F0003,
    CONTROLLER_CONTROLLER_TYPE = 0x434F0004,
    CONTROLLER_BUILD_TYPE = 0x434F0005,
    CONTROLLER_HW_XOR_TYPE = 0x434F0006,
    CONTROLLER_FUA_ENABLED = 0x434F0007,
    CONTROLLER_PREBOOT_DRIVER_TYPE = 0x434F0009,
    CONTROLLER_FEATURES_ENABLED = 0x434F000A,
};

// Values of the record's "controller type" field.
constexpr uint8_t kControllerTypeSata = 1;
constexpr uint8_t kControllerTypeNvme = 3;
constexpr uint8_t kControllerTypeUnkept = 4;
constexpr uint8_t kControllerTypeRemapping = 5;

class CDictionaryController : public CDictionaryFieldExtractor<_CONTROLLER_FIELD_NAME, kDictionaryController>,
                              public CDictionary {
public:
    explicit CDictionaryController(uint32_t instanceIndex = 0);

    void SetValid(int value) override { m_Values.valid = static_cast<uint32_t>(value); }
    const FieldMap& GetRaidportFields() const override { return m_Raidport; }
    const FieldMap& GetMiniportFields() const override { return m_Miniport; }

    const ControllerDictionaryValues& GetValues() const { return m_Values; }

protected:
    uint32_t GetKind() const override { return kDictionaryController; }

private:
    ControllerDictionaryValues m_Values{};
    FieldMap m_Raidport;
    FieldMap m_Miniport;
};

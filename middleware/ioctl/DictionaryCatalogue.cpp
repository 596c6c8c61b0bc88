#include "middleware/ioctl/DictionaryCatalogue.h"

#include <map>

uint32_t DictionaryTypeSize(uint32_t typeCode) {
    switch (typeCode) {
    case 0:
    case 4:
        return 1;
    case 1:
    case 5:
        return 2;
    case 2:
    case 6:
        return 4;
    case 3:
    case 7:
        return 8;
    case 8:
        return 16;
    case 9:
        return 32;
    case 10:
        return 64;
    case 11:
        return 128;
    case 13:
        return 512;
    default:
        return 0;
    }
}

const std::vector<DictionaryCatalogueRow>& DictionaryCatalogue(uint32_t kind) {
    constexpr uint32_t R = kDictionaryRaidport;
    constexpr uint32_t M = kDictionaryMiniport;
    static const std::map<uint32_t, std::vector<DictionaryCatalogueRow>> catalogue = {
        {kDictionaryController,
         {{0x434F0000, 10, R},
          {0x434F0001, 10, R},
          {0x434F0002, 10, R},
          {0x434F0008, 13, R},
          {0x434F0003, 2, M},
          {0x434F0004, 0, R},
          {0x434F0005, 0, R},
          {0x434F0006, 2, R},
          {0x434F0007, 2, R},
          {0x434F0009, 0, R},
          {0x504F0000, 2, M}}},
        {kDictionaryPort, {{0x504F0000, 2, M}, {0x504F0001, 3, M}, {0x504F0002, 2, M}}},
        {kDictionaryPhy,
         {{0x50480000, 2, M},
          {0x50480001, 2, M},
          {0x50480002, 1, M},
          {0x50480003, 2, R},
          {0x50480004, 2, R},
          {0x50480005, 2, R},
          {0x50480006, 2, R},
          {0x50480007, 2, R},
          {0x50480008, 2, R},
          {0x50480009, 2, R},
          {0x5048000A, 2, R},
          {0x5048000B, 2, R},
          {0x5048000C, 2, R},
          {0x5048000D, 2, R}}},
        {kDictionaryEndDevice,
         {{0x45440000, 3, R | M},
          {0x45440001, 3, M},
          {0x45440002, 2, M},
          {0x45440003, 2, R},
          {0x45440004, 10, R},
          {0x45440005, 2, R},
          {0x45440006, 2, R | M},
          {0x45440007, 2, R | M},
          {0x45440008, 3, R},
          {0x45440009, 2, R},
          {0x4544000A, 2, R},
          {0x4544000B, 8, R},
          {0x4544000C, 2, R},
          {0x4544000D, 2, M},
          {0x4544000E, 2, R},
          {0x4544000F, 2, R},
          {0x45440010, 0, R}}},
        {kDictionaryRoutingDevice,
         {{0x52440000, 3, M}, {0x52440001, 3, M}, {0x52440002, 2, M}, {0x52440003, 2, M}}},
    };
    static const std::vector<DictionaryCatalogueRow> none;
    auto it = catalogue.find(kind);
    return it == catalogue.end() ? none : it->second;
}

uint32_t DictionaryCatalogueCount(uint32_t kind, uint32_t portMask) {
    uint32_t count = 0;
    for (const auto& row : DictionaryCatalogue(kind))
        if (row.portMask & portMask)
            ++count;
    return count;
}

#pragma once
// What the library knows of the driver's dictionaries before asking: the dictionary kinds (also
// their ids in the requests), the two views (raidport and miniport), the value size of each type
// code, and the catalogue of fields per kind with the views that publish them.
#include <cstdint>
#include <vector>

constexpr uint32_t kDictionaryController = 1;
constexpr uint32_t kDictionaryPort = 2;
constexpr uint32_t kDictionaryPhy = 4;
constexpr uint32_t kDictionaryEndDevice = 8;
constexpr uint32_t kDictionaryRoutingDevice = 16;

// The two views of every dictionary, as port mask bits.
constexpr uint32_t kDictionaryRaidport = 1;
constexpr uint32_t kDictionaryMiniport = 2;

// Bytes of a value of the type code: 0/4 -> 1, 1/5 -> 2, 2/6 -> 4, 3/7 -> 8, 8 -> 16, 9 -> 32,
// 10 -> 64, 11 -> 128, 13 -> 512, anything else 0.
uint32_t DictionaryTypeSize(uint32_t typeCode);

struct DictionaryCatalogueRow {
    uint32_t fieldId;
    uint32_t typeCode;
    uint32_t portMask; // kDictionaryRaidport, kDictionaryMiniport or both
};

// The catalogue of a kind; empty for an unknown kind.
const std::vector<DictionaryCatalogueRow>& DictionaryCatalogue(uint32_t kind);
// How many rows of the kind's catalogue the view publishes.
uint32_t DictionaryCatalogueCount(uint32_t kind, uint32_t portMask);

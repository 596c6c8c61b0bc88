#pragma once
// A dictionary read into a fixed record: each subclass owns a value record and two field maps (one
// per view) that say where each field id's value goes, how many bytes fit there and what the field
// is called. PointToInstance copies the values of one instance of a CDictionaryBuffer into the
// record, walking each view's instance block by the type codes found in it; every step is bounded
// against the block.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "middleware/core/ConsolidatedError.h"

class CDictionaryBuffer;

class CDictionary {
public:
    struct FieldEntry {
        void* destination = nullptr;
        uint32_t capacity = 0; // bytes
        std::string name;
    };
    using FieldMap = std::map<uint32_t, FieldEntry>;

    explicit CDictionary(uint32_t instanceIndex) : m_InstanceIndex(instanceIndex) {}
    virtual ~CDictionary() = default;
    CDictionary(const CDictionary&) = delete;
    CDictionary& operator=(const CDictionary&) = delete;

    // Writes the value record's valid word.
    virtual void SetValid(int value) = 0;
    // Copies this object's instance out of the buffer: raidport block, miniport block, then the
    // subclass's post-processing (Invoke); valid is 1 only after all of it worked.
    virtual CConsolidatedError PointToInstance(const CDictionaryBuffer& buffer);
    // Post-processing after both views were copied; the base has none.
    virtual CConsolidatedError Invoke();
    virtual const FieldMap& GetRaidportFields() const = 0;
    virtual const FieldMap& GetMiniportFields() const = 0;

    uint32_t GetInstanceIndex() const { return m_InstanceIndex; }

    // Walks count entries (field id, type code, value) of an instance block of blockSize bytes and
    // copies those the map knows. An entry that does not lie within the block ends the walk with
    // 0xA0040401.
    CConsolidatedError readDictionaryFields(const uint8_t* block, size_t blockSize, uint32_t count,
                                            const FieldMap& map);
    // Copies one value of length bytes into the entry's destination; the rest of the field stays.
    CConsolidatedError readDictionaryField(const FieldEntry& entry, const uint8_t* value, uint32_t length);

protected:
    // The dictionary's kind bit (kDictionaryController, kDictionaryEndDevice).
    virtual uint32_t GetKind() const = 0;

    uint32_t m_Instance = 0;
    uint32_t m_InstanceIndex;
};

// Builds a dictionary's field maps from its field-name enumeration.
template <class FieldName, uint32_t Kind> class CDictionaryFieldExtractor {
public:
    static constexpr uint32_t kKind = Kind;

protected:
    static void AddField(CDictionary::FieldMap& map, FieldName id, void* destination, uint32_t capacity,
                         const char* name) {
        map[static_cast<uint32_t>(id)] = CDictionary::FieldEntry{destination, capacity, name};
    }
};

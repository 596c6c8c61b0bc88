#pragma once
// The three dictionary requests of the driver's RAID interface ("OrvexRdp", sent framed whatever the
// direct mode says, without the interface-version gate): the supported dictionaries, the field list
// of one dictionary, and the values of chosen fields for its instances. Offsets are from the start
// of the buffer; the SRB header takes the first 28 bytes.
//
// Counts and offsets the driver answers are bounded against the answer before they are used: an
// answer that does not hold what it claims is an error, and nothing is read outside the buffer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "middleware/ioctl/CIoctScsiMiniport.h"

// One field descriptor: the field's 32-bit id and its type code.
struct DICTIONARY_FIELD_DESCRIPTOR {
    uint32_t FieldId;
    uint32_t TypeCode;
};
static_assert(sizeof(DICTIONARY_FIELD_DESCRIPTOR) == 8);

// After the header: the mask of supported dictionaries and the largest field count of one.
struct SUPPORTED_DICTIONARIES_DATA {
    uint32_t SupportedMask;
    uint32_t MaxFields;
};
static_assert(sizeof(SUPPORTED_DICTIONARIES_DATA) == 8);

// After the header: the id, the instance count, the offset of the field list (44) and the field
// count; the descriptors follow from offset 44.
struct DICTIONARY_FIELDS_DATA {
    uint32_t DictionaryId;
    uint32_t NumberOfInstances;
    uint32_t FieldListOffset;
    uint32_t NumberOfFields;
};
static_assert(sizeof(DICTIONARY_FIELDS_DATA) == 16);

// After the header: the id, the offset of the field-id list (48), the field count, the offset of
// the values and the instances returned; the requested descriptors follow from offset 48.
struct DICTIONARY_VALUES_DATA {
    uint32_t DictionaryId;
    uint32_t FieldListOffset;
    uint32_t NumberOfFields;
    uint32_t ValuesOffset;
    uint32_t NumberOfInstances;
};
static_assert(sizeof(DICTIONARY_VALUES_DATA) == 20);

constexpr DWORD IOCTL_GET_SUPPORTED_DICTIONARIES = 0x90000A02;
constexpr DWORD IOCTL_GET_DICTIONARY_FIELDS = 0x90000A03;
constexpr DWORD IOCTL_GET_DICTIONARY_VALUES = 0x90000A04;

class CIoctlSupportedDictionaries : public CIoctScsiMiniportUnchecked {
    MOX_RUNTIME_CLASS("class CIoctlSupportedDictionaries")

public:
    static constexpr DWORD kSize = 36;
    explicit CIoctlSupportedDictionaries(HANDLE target);

    // The answer's mask and largest field count; verify and throw.
    uint32_t GetSupportedMask();
    uint32_t GetMaxFields();

protected:
    CConsolidatedError _realFormatInputBuffer() override;
};

class CIoctlDictionaryFields : public CIoctScsiMiniportUnchecked {
    MOX_RUNTIME_CLASS("class CIoctlDictionaryFields")

public:
    static constexpr DWORD kSize = 1024;
    static constexpr DWORD kFieldListOffset = 44;
    CIoctlDictionaryFields(HANDLE target, uint32_t dictionaryId, uint32_t maxFields);

    // The field descriptors of the answer (number of fields x 8 bytes), copied once into memory the
    // request owns. Verifies first; throws the verification's error, 0xA0040401 when the field count
    // does not fit in the answer, or Win32 error 14 when the copy cannot be made.
    const DICTIONARY_FIELD_DESCRIPTOR* GetDictionaryFieldsDataBuffer();
    // The answer's field count (bounded as above) and instance count; verify and throw.
    uint32_t GetNumberOfFields();
    uint32_t GetNumberOfInstances();

    uint32_t GetDictionaryId() const { return m_DictionaryId; }
    uint32_t GetMaxFields() const { return m_MaxFields; }
    std::string Describe() const override;

protected:
    CConsolidatedError _realFormatInputBuffer() override;

private:
    uint32_t m_DictionaryId;
    uint32_t m_MaxFields;
    std::vector<DICTIONARY_FIELD_DESCRIPTOR> m_Fields;
    bool m_FieldsCopied = false;
};

class CIoctlDictionaryValues : public CIoctScsiMiniportUnchecked {
    MOX_RUNTIME_CLASS("class CIoctlDictionaryValues")

public:
    static constexpr DWORD kFieldListOffset = 48;
    // The largest values buffer the library asks for; a driver answer that would need more is
    // refused before anything is allocated.
    static constexpr uint64_t kMaxSize = 64ull << 20;

    // The buffer is (totalFieldTypeSize + 8 n) x maxInstances + 8 n + 48 bytes, computed wide; a
    // size that does not fit is refused when the request is formatted (0xA0030137).
    CIoctlDictionaryValues(HANDLE target, uint32_t dictionaryId, uint32_t maxInstances, uint32_t numFields,
                           uint32_t totalFieldTypeSize);

    // Keeps a copy of numFields descriptors (numFields x 8 bytes); throws Win32 error 14 when the
    // copy cannot be made.
    void setDictionaryFields(const DICTIONARY_FIELD_DESCRIPTOR* descriptors);

    // The values in the answer (from the offset the answer's word at 40 gives) and how many bytes of
    // the answer follow them. Verifies first; throws the verification's error, or 0xA0040401 when
    // the offset does not lie inside the answer.
    const BYTE* GetValuesBuffer();
    size_t GetValuesSize();
    // The instances the driver returned (answer word 44); verifies and throws.
    uint32_t GetNumberOfInstances();

    uint32_t GetDictionaryId() const { return m_DictionaryId; }
    std::string Describe() const override;

protected:
    CConsolidatedError _realFormatInputBuffer() override;

private:
    // The values' offset after verification, bounded; throws.
    uint32_t CheckedValuesOffset();

    uint32_t m_DictionaryId;
    uint32_t m_MaxInstances;
    uint32_t m_NumFields;
    uint32_t m_TotalFieldTypeSize;
    bool m_SizeTooLarge = false;
    std::vector<DICTIONARY_FIELD_DESCRIPTOR> m_Fields;
};

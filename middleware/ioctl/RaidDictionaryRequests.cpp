#include "middleware/ioctl/RaidDictionaryRequests.h"

#include <cstring>
#include <new>

#include "middleware/ioctl/RaidConfig.h"
#include "platform/win/WinError.h"

namespace {

constexpr DWORD kHeader = CIoctScsiMiniportUnchecked::kHeaderLength;

uint32_t Word(const BYTE* buffer, size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, buffer + offset, sizeof(value));
    return value;
}

void PutWord(BYTE* buffer, size_t offset, uint32_t value) {
    std::memcpy(buffer + offset, &value, sizeof(value));
}

CConsolidatedError TooSmall(const char* message, DWORD inBufferSize, const char* sizeText, uint64_t needed) {
    CConsolidatedError e;
    e.SetError(CConsolidatedError::IOCTL_IN_BUFFER_SIZE, message);
    e.AddDebugInformation("InBufferSize = %d", static_cast<int>(inBufferSize));
    e.AddDebugInformation(sizeText, static_cast<int>(needed));
    return e;
}

CConsolidatedError OutOfMemory(const char* where, DWORD inBufferSize) {
    CConsolidatedError e;
    e.SetError(KEDO2_ERROR_TYPE_WIN32, ERROR_OUTOFMEMORY, where);
    e.AddDebugInformation("InBufferSize = %d", static_cast<int>(inBufferSize));
    return e;
}

CConsolidatedError Malformed(const char* message) {
    CConsolidatedError e;
    e.SetError(CConsolidatedError::DRIVER_UNEXPECTED, message);
    return e;
}

// (totalFieldTypeSize + 8 n) x maxInstances + 8 n + 48, in 64 bits.
uint64_t ValuesSize(uint32_t maxInstances, uint32_t numFields, uint32_t totalFieldTypeSize) {
    const uint64_t fields = 8ull * numFields;
    return (uint64_t{totalFieldTypeSize} + fields) * maxInstances + fields +
           CIoctlDictionaryValues::kFieldListOffset;
}

DWORD BoundedValuesSize(uint32_t maxInstances, uint32_t numFields, uint32_t totalFieldTypeSize) {
    const uint64_t size = ValuesSize(maxInstances, numFields, totalFieldTypeSize);
    return size > CIoctlDictionaryValues::kMaxSize ? CIoctlDictionaryValues::kFieldListOffset
                                                   : static_cast<DWORD>(size);
}

} // namespace

// ---- supported dictionaries ----

CIoctlSupportedDictionaries::CIoctlSupportedDictionaries(HANDLE target)
    : CIoctScsiMiniportUnchecked(target, kRaidPortSignature, IOCTL_GET_SUPPORTED_DICTIONARIES, 0, kSize,
                                 kSize) {
    SetExpectedReturnCode(0);
    SetCheckReturnCode(true);
}

CConsolidatedError CIoctlSupportedDictionaries::_realFormatInputBuffer() {
    SetExpectedReturnCode(0);
    if (m_InBufferSize < kSize)
        return TooSmall("InBufferSize is too small, must be >= sizeof(SUPPORTED_DICTIONARIES_DATA) "
                        "CIoctlSupportedDictionaries::_realFormatInputBuffer",
                        m_InBufferSize, ", sizeof(SUPPORTED_DICTIONARIES_DATA)= %d", kSize);
    CConsolidatedError result = CIoctScsiMiniportUnchecked::_realFormatInputBuffer();
    if (!m_InBuffer)
        return OutOfMemory("malloc returned null in CIoctlSupportedDictionaries::_realFormatInputBuffer",
                           m_InBufferSize);
    if (result.IsSuccessful())
        PutWord(m_InBuffer.get(), 24, sizeof(SUPPORTED_DICTIONARIES_DATA));
    return result;
}

uint32_t CIoctlSupportedDictionaries::GetSupportedMask() {
    return Word(GetVerifiedPayload(), 0);
}

uint32_t CIoctlSupportedDictionaries::GetMaxFields() {
    return Word(GetVerifiedPayload(), 4);
}

// ---- field list ----

CIoctlDictionaryFields::CIoctlDictionaryFields(HANDLE target, uint32_t dictionaryId, uint32_t maxFields)
    : CIoctScsiMiniportUnchecked(target, kRaidPortSignature, IOCTL_GET_DICTIONARY_FIELDS, 0, kSize,
                                 // The minimum answer names the descriptors the caller has room for;
                                 // an impossible count is refused when formatting.
                                 uint64_t{maxFields} * 8 + kFieldListOffset > kSize
                                     ? kSize
                                     : static_cast<DWORD>(uint64_t{maxFields} * 8 + kFieldListOffset)),
      m_DictionaryId(dictionaryId), m_MaxFields(maxFields) {
    SetExpectedReturnCode(0);
    SetCheckReturnCode(true);
}

CConsolidatedError CIoctlDictionaryFields::_realFormatInputBuffer() {
    SetExpectedReturnCode(0);
    const uint64_t needed = uint64_t{m_MaxFields} * 8 + kFieldListOffset;
    if (m_InBufferSize < needed)
        return TooSmall("InBufferSize is too small, must be >= sizeof(DICTIONARY_FIELDS_DATA) "
                        "CIoctlDictionaryFields::_realFormatInputBuffer",
                        m_InBufferSize, ", sizeof(DICTIONARY_FIELDS_DATA)= %d",
                        kHeader + sizeof(DICTIONARY_FIELDS_DATA));
    CConsolidatedError result = CIoctScsiMiniportUnchecked::_realFormatInputBuffer();
    if (!m_InBuffer)
        return OutOfMemory("malloc returned null in CIoctlDictionaryFields::_realFormatInputBuffer",
                           m_InBufferSize);
    if (result.IsError())
        return result;
    BYTE* b = m_InBuffer.get();
    PutWord(b, 24, static_cast<uint32_t>(8ull * m_MaxFields + 16));
    PutWord(b, 28, m_DictionaryId);
    PutWord(b, 36, kFieldListOffset);
    return result;
}

uint32_t CIoctlDictionaryFields::GetNumberOfFields() {
    const BYTE* payload = GetVerifiedPayload();
    const uint32_t count = Word(payload, 40 - kHeader);
    // The descriptors must lie inside the answer the driver returned.
    if (uint64_t{count} * sizeof(DICTIONARY_FIELD_DESCRIPTOR) + kFieldListOffset > AnswerLength())
        throw Malformed("Dictionary field count exceeds the answer in CIoctlDictionaryFields");
    return count;
}

uint32_t CIoctlDictionaryFields::GetNumberOfInstances() {
    return Word(GetVerifiedPayload(), 32 - kHeader);
}

const DICTIONARY_FIELD_DESCRIPTOR* CIoctlDictionaryFields::GetDictionaryFieldsDataBuffer() {
    if (m_FieldsCopied)
        return m_Fields.data();
    const uint32_t count = GetNumberOfFields();
    try {
        m_Fields.resize(count);
    } catch (const std::bad_alloc&) {
        CConsolidatedError e;
        e.SetError(KEDO2_ERROR_TYPE_WIN32, ERROR_OUTOFMEMORY,
                   "Malloc returned null in CIoctlDictionaryFields::GetDictionaryFieldsDataBuffer");
        throw e;
    }
    if (count != 0)
        std::memcpy(m_Fields.data(), m_OutBuffer.get() + kFieldListOffset,
                    count * sizeof(DICTIONARY_FIELD_DESCRIPTOR));
    m_FieldsCopied = true;
    return m_Fields.data();
}

std::string CIoctlDictionaryFields::Describe() const {
    return "dictionaryName: " + std::to_string(m_DictionaryId) +
           ", maxFields: " + std::to_string(m_MaxFields);
}

// ---- values ----

CIoctlDictionaryValues::CIoctlDictionaryValues(HANDLE target, uint32_t dictionaryId, uint32_t maxInstances,
                                               uint32_t numFields, uint32_t totalFieldTypeSize)
    : CIoctScsiMiniportUnchecked(target, kRaidPortSignature, IOCTL_GET_DICTIONARY_VALUES, 0,
                                 BoundedValuesSize(maxInstances, numFields, totalFieldTypeSize),
                                 BoundedValuesSize(maxInstances, numFields, totalFieldTypeSize)),
      m_DictionaryId(dictionaryId), m_MaxInstances(maxInstances), m_NumFields(numFields),
      m_TotalFieldTypeSize(totalFieldTypeSize),
      m_SizeTooLarge(ValuesSize(maxInstances, numFields, totalFieldTypeSize) > kMaxSize) {
    SetExpectedReturnCode(0);
    SetCheckReturnCode(true);
}

void CIoctlDictionaryValues::setDictionaryFields(const DICTIONARY_FIELD_DESCRIPTOR* descriptors) {
    try {
        m_Fields.assign(m_NumFields, DICTIONARY_FIELD_DESCRIPTOR{});
    } catch (const std::bad_alloc&) {
        CConsolidatedError e;
        e.SetError(KEDO2_ERROR_TYPE_WIN32, ERROR_OUTOFMEMORY,
                   "Malloc returned null in CIoctlDictionaryValues::setDictionaryFields");
        throw e;
    }
    if (m_NumFields != 0 && descriptors)
        std::memcpy(m_Fields.data(), descriptors, m_NumFields * sizeof(DICTIONARY_FIELD_DESCRIPTOR));
}

CConsolidatedError CIoctlDictionaryValues::_realFormatInputBuffer() {
    SetExpectedReturnCode(0);
    const uint64_t needed = ValuesSize(m_MaxInstances, m_NumFields, m_TotalFieldTypeSize);
    if (m_SizeTooLarge || m_InBufferSize < needed)
        return TooSmall("InBufferSize is too small, must be >= sizeof(DICTIONARY_VALUES_DATA) "
                        "CIoctlDictionaryValues::_realFormatInputBuffer",
                        m_InBufferSize, ", sizeof(DICTIONARY_VALUES_DATA)= %d", kFieldListOffset);
    CConsolidatedError result = CIoctScsiMiniportUnchecked::_realFormatInputBuffer();
    if (!m_InBuffer)
        return OutOfMemory("malloc returned null in CIoctlDictionaryValues::_realFormatInputBuffer",
                           m_InBufferSize);
    if (result.IsError())
        return result;
    BYTE* b = m_InBuffer.get();
    PutWord(b, 28, m_DictionaryId);
    PutWord(b, 32, kFieldListOffset);
    PutWord(b, 36, m_NumFields);
    PutWord(b, 40, static_cast<uint32_t>(kFieldListOffset + 8ull * m_NumFields));
    PutWord(b, 44, 0);
    // Descriptors never given are sent as zeros.
    if (m_NumFields != 0 && m_Fields.size() == m_NumFields)
        std::memcpy(b + kFieldListOffset, m_Fields.data(), m_NumFields * sizeof(DICTIONARY_FIELD_DESCRIPTOR));
    return result;
}

uint32_t CIoctlDictionaryValues::CheckedValuesOffset() {
    const BYTE* payload = GetVerifiedPayload();
    const uint32_t offset = Word(payload, 40 - kHeader);
    if (offset < kFieldListOffset + 8ull * m_NumFields || offset > AnswerLength())
        throw Malformed("Dictionary values offset outside the answer in CIoctlDictionaryValues");
    return offset;
}

const BYTE* CIoctlDictionaryValues::GetValuesBuffer() {
    return m_OutBuffer.get() + CheckedValuesOffset();
}

size_t CIoctlDictionaryValues::GetValuesSize() {
    return AnswerLength() - CheckedValuesOffset();
}

uint32_t CIoctlDictionaryValues::GetNumberOfInstances() {
    return Word(GetVerifiedPayload(), 44 - kHeader);
}

std::string CIoctlDictionaryValues::Describe() const {
    return "dictionaryName: " + std::to_string(m_DictionaryId) +
           ", maxInstances: " + std::to_string(m_MaxInstances) +
           ", numFields: " + std::to_string(m_NumFields) +
           ", totalFieldTypeSize: " + std::to_string(m_TotalFieldTypeSize);
}

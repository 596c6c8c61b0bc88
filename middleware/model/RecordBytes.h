#pragma once
// Little-endian fields of the driver's fixed records, read and written by byte offset. The model
// keeps the records as the driver answered them and reads only what it needs.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace model {

template <class T> T ReadField(const uint8_t* record, size_t offset) {
    T value{};
    std::memcpy(&value, record + offset, sizeof(T));
    return value;
}

template <class T> void WriteField(uint8_t* record, size_t offset, T value) {
    std::memcpy(record + offset, &value, sizeof(T));
}

inline uint32_t Read32(const uint8_t* record, size_t offset) {
    return ReadField<uint32_t>(record, offset);
}

inline uint16_t Read16(const uint8_t* record, size_t offset) {
    return ReadField<uint16_t>(record, offset);
}

inline uint64_t Read64(const uint8_t* record, size_t offset) {
    return ReadField<uint64_t>(record, offset);
}

} // namespace model

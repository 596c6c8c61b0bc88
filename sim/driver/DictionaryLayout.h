#pragma once
// The byte layouts of the dictionary requests ("OrvexRdp", 0x90000A02 to 0x90000A04) as the driver
// protocol documents them: offsets from the start of the buffer, the 28-byte SRB_IO_CONTROL header
// included. Written from the protocol, never from the product's records; tests compare the two.
#include <cstddef>

namespace sim::driver::dictionary {

// A field descriptor: the field's id and its type code.
namespace descriptor {
constexpr size_t kFieldId = 0;
constexpr size_t kTypeCode = 4;
constexpr size_t kSize = 8;
} // namespace descriptor

namespace supported {
constexpr size_t kSupportedMask = 28;
constexpr size_t kMaxFields = 32;
constexpr size_t kSize = 36;
} // namespace supported

namespace fields {
constexpr size_t kDictionaryId = 28;
constexpr size_t kNumberOfInstances = 32;
constexpr size_t kFieldListOffset = 36;
constexpr size_t kNumberOfFields = 40;
constexpr size_t kFieldList = 44; // the descriptors
// What the header's Length counts before the descriptors.
constexpr size_t kLengthBeforeList = kFieldList - 28;
} // namespace fields

// The values follow the requested descriptors, one block per instance: each field's descriptor and
// its value.
namespace values {
constexpr size_t kDictionaryId = 28;
constexpr size_t kFieldListOffset = 32;
constexpr size_t kNumberOfFields = 36;
constexpr size_t kValuesOffset = 40;
constexpr size_t kNumberOfInstances = 44;
constexpr size_t kFieldList = 48; // the requested descriptors
} // namespace values

} // namespace sim::driver::dictionary

// The dictionary requests as the product declares them against the simulator's layouts, written
// separately from the driver protocol: a field that moves on one side only fails here.
#include <cstddef>

#include <gtest/gtest.h>

#include "middleware/ioctl/RaidDictionaryRequests.h"
#include "platform/win/WinStorage.h"
#include "sim/driver/DictionaryLayout.h"
#include "tests/middleware/ioctl/LayoutRows.h"

namespace {

namespace dict = sim::driver::dictionary;

// The product's records start after the SRB header.
constexpr size_t kHeader = sizeof(SRB_IO_CONTROL);

using layouttest::ExpectSame;

TEST(DictionaryLayout, RequestRecordsMatchTheProtocol) {
    ExpectSame({
        {"descriptor id", offsetof(DICTIONARY_FIELD_DESCRIPTOR, FieldId), dict::descriptor::kFieldId},
        {"descriptor type", offsetof(DICTIONARY_FIELD_DESCRIPTOR, TypeCode), dict::descriptor::kTypeCode},
        {"descriptor size", sizeof(DICTIONARY_FIELD_DESCRIPTOR), dict::descriptor::kSize},
        {"supported mask", kHeader + offsetof(SUPPORTED_DICTIONARIES_DATA, SupportedMask),
         dict::supported::kSupportedMask},
        {"supported most fields", kHeader + offsetof(SUPPORTED_DICTIONARIES_DATA, MaxFields),
         dict::supported::kMaxFields},
        {"supported size", CIoctlSupportedDictionaries::kSize, dict::supported::kSize},
        {"fields dictionary", kHeader + offsetof(DICTIONARY_FIELDS_DATA, DictionaryId),
         dict::fields::kDictionaryId},
        {"fields instances", kHeader + offsetof(DICTIONARY_FIELDS_DATA, NumberOfInstances),
         dict::fields::kNumberOfInstances},
        {"fields list offset", kHeader + offsetof(DICTIONARY_FIELDS_DATA, FieldListOffset),
         dict::fields::kFieldListOffset},
        {"fields count", kHeader + offsetof(DICTIONARY_FIELDS_DATA, NumberOfFields),
         dict::fields::kNumberOfFields},
        {"fields list", CIoctlDictionaryFields::kFieldListOffset, dict::fields::kFieldList},
        {"fields list after the record", kHeader + sizeof(DICTIONARY_FIELDS_DATA), dict::fields::kFieldList},
        {"values dictionary", kHeader + offsetof(DICTIONARY_VALUES_DATA, DictionaryId),
         dict::values::kDictionaryId},
        {"values list offset", kHeader + offsetof(DICTIONARY_VALUES_DATA, FieldListOffset),
         dict::values::kFieldListOffset},
        {"values field count", kHeader + offsetof(DICTIONARY_VALUES_DATA, NumberOfFields),
         dict::values::kNumberOfFields},
        {"values offset", kHeader + offsetof(DICTIONARY_VALUES_DATA, ValuesOffset),
         dict::values::kValuesOffset},
        {"values instances", kHeader + offsetof(DICTIONARY_VALUES_DATA, NumberOfInstances),
         dict::values::kNumberOfInstances},
        {"values list", CIoctlDictionaryValues::kFieldListOffset, dict::values::kFieldList},
        {"values list after the record", kHeader + sizeof(DICTIONARY_VALUES_DATA), dict::values::kFieldList},
    });
}

} // namespace

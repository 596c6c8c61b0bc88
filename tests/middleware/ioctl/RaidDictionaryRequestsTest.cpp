#include "middleware/ioctl/RaidDictionaryRequests.h"
#include "tests/middleware/ioctl/RaidTestMachine.h"

namespace {

using namespace raidtest;

constexpr uint32_t kEndDevice = 8;

uint32_t TypeSize(uint32_t type) {
    switch (type) {
    case 0:
        return 1;
    case 2:
        return 4;
    case 3:
        return 8;
    case 8:
        return 16;
    case 10:
        return 64;
    }
    return 0;
}

using RaidDictionaries = RaidTest;

TEST_F(RaidDictionaries, ThreeRequestsFramedAndAnswered) {
    CIoctlSupportedDictionaries supported(adapter_);
    supported.SetVerifyOnInvoke(true);
    ASSERT_TRUE(supported.Invoke().IsSuccessful());
    EXPECT_EQ(LastSend().input, Expected(36).Srb("OrvexRdp", 0x90000A02, 8).bytes());
    EXPECT_EQ(supported.GetSupportedMask(), 9u);
    const uint32_t maxFields = supported.GetMaxFields();
    EXPECT_EQ(maxFields, 17u);

    CIoctlDictionaryFields fields(adapter_, kEndDevice, maxFields);
    EXPECT_EQ(fields.GetBytesExpected(), 44 + 8 * 17u);
    fields.SetVerifyOnInvoke(true);
    ASSERT_TRUE(fields.Invoke().IsSuccessful());
    EXPECT_EQ(LastSend().input,
              Expected(1024).Srb("OrvexRdp", 0x90000A03, 8 * 17 + 16).U32(28, 8).U32(36, 44).bytes());
    // The driver's end-device slots, the same for all its controllers, not this controller's disks.
    EXPECT_EQ(fields.GetNumberOfInstances(), 32u);
    const uint32_t n = fields.GetNumberOfFields();
    ASSERT_EQ(n, 17u);
    const DICTIONARY_FIELD_DESCRIPTOR* list = fields.GetDictionaryFieldsDataBuffer();
    EXPECT_EQ(list, fields.GetDictionaryFieldsDataBuffer()); // copied once
    EXPECT_EQ(list[0].FieldId, 0x45440000u);
    uint32_t total = 0;
    for (uint32_t i = 0; i < n; ++i)
        total += TypeSize(list[i].TypeCode);

    CIoctlDictionaryValues values(adapter_, kEndDevice, 5, n, total);
    values.setDictionaryFields(list);
    const uint32_t size = (total + 8 * n) * 5 + 8 * n + 48;
    EXPECT_EQ(values.GetInBufferSize(), size);
    values.SetVerifyOnInvoke(true);
    ASSERT_TRUE(values.Invoke().IsSuccessful());
    Expected sent(size);
    sent.Srb("OrvexRdp", 0x90000A04, size - 28).U32(28, 8).U32(32, 48).U32(36, n).U32(40, 48 + 8 * n);
    for (uint32_t i = 0; i < n; ++i)
        sent.U32(48 + 8 * i, list[i].FieldId).U32(52 + 8 * i, list[i].TypeCode);
    EXPECT_EQ(LastSend().input, sent.bytes());
    EXPECT_EQ(values.GetNumberOfInstances(), 5u);
    const BYTE* block = values.GetValuesBuffer();
    EXPECT_EQ(block, values.GetOutBuffer() + 48 + 8 * n);
    EXPECT_EQ(values.GetValuesSize(), size - (48 + 8 * n));
    EXPECT_EQ(Word(block, 0), 0x45440000u); // the first entry of the first instance

    EXPECT_EQ(fields.Describe(), "dictionaryName: 8, maxFields: 17");
    EXPECT_EQ(values.Describe(), "dictionaryName: 8, maxInstances: 5, numFields: 17, totalFieldTypeSize: " +
                                     std::to_string(total));
}

TEST_F(RaidDictionaries, CountsAndOffsetsOfTheAnswerAreBounded) {
    // A field count whose descriptors would run past the answer.
    Inject({{"control_code", 0x90000A03}}, {{"patch", {{{"offset", 40}, {"hex", "FFFFFF00"}}}}});
    CIoctlDictionaryFields fields(adapter_, kEndDevice, 17);
    ASSERT_TRUE(fields.Invoke().IsSuccessful());
    try {
        fields.GetDictionaryFieldsDataBuffer();
        FAIL() << "an impossible field count was taken";
    } catch (const CConsolidatedError& e) {
        EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::DRIVER_UNEXPECTED);
    }
    // The answer holds what the driver returned: 180 bytes for 17 descriptors, not 18.
    Inject({{"control_code", 0x90000A03}}, {{"patch", {{{"offset", 40}, {"hex", "11000000"}}}}});
    CIoctlDictionaryFields most(adapter_, kEndDevice, 17);
    ASSERT_TRUE(most.Invoke().IsSuccessful());
    EXPECT_EQ(most.GetBytesReturned(), 180u);
    EXPECT_EQ(most.GetNumberOfFields(), 17u);
    Inject({{"control_code", 0x90000A03}}, {{"patch", {{{"offset", 40}, {"hex", "12000000"}}}}});
    CIoctlDictionaryFields tooMany(adapter_, kEndDevice, 17);
    ASSERT_TRUE(tooMany.Invoke().IsSuccessful());
    EXPECT_THROW(tooMany.GetNumberOfFields(), CConsolidatedError);

    // A values offset beyond the answer, and one inside the descriptors.
    for (const char* hex : {"00100000", "30000000"}) {
        Inject({{"control_code", 0x90000A04}}, {{"patch", {{{"offset", 40}, {"hex", hex}}}}});
        CIoctlDictionaryValues values(adapter_, 1, 1, 1, 4);
        const DICTIONARY_FIELD_DESCRIPTOR one{0x434F0003, 2};
        values.setDictionaryFields(&one);
        ASSERT_TRUE(values.Invoke().IsSuccessful());
        EXPECT_THROW(values.GetValuesBuffer(), CConsolidatedError) << hex;
    }
}

TEST_F(RaidDictionaries, AValuesBufferTooLargeToBuildIsRefusedBeforeAnySend) {
    struct Case {
        uint32_t instances, fields, total;
    };
    // The first overflows 32 bits; the second fits in 32 bits but is far beyond any driver answer.
    for (const Case& c : {Case{0xFFFFFFFF, 0xFFFF, 0xFFFFFFFF}, Case{0x10000, 16, 0x1000}}) {
        const size_t before = SendCount();
        CIoctlDictionaryValues values(adapter_, kEndDevice, c.instances, c.fields, c.total);
        CConsolidatedError result = values.Invoke();
        EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::IOCTL_IN_BUFFER_SIZE);
        EXPECT_STREQ(result.GetErrorMessage(), "InBufferSize is too small, must be >= "
                                               "sizeof(DICTIONARY_VALUES_DATA) "
                                               "CIoctlDictionaryValues::_realFormatInputBuffer");
        EXPECT_EQ(SendCount(), before);
    }
    // A field list the buffer cannot hold.
    CIoctlDictionaryFields fields(adapter_, kEndDevice, 200);
    EXPECT_EQ(fields.Invoke().GetErrorCode(), CConsolidatedError::IOCTL_IN_BUFFER_SIZE);
}

TEST_F(RaidDictionaries, ReturnCodeOfTheDriverIsChecked) {
    Inject({{"control_code", 0x90000A02}}, {{"srb_return_code", 1}});
    CIoctlSupportedDictionaries supported(adapter_);
    supported.SetVerifyOnInvoke(true);
    CConsolidatedError result = supported.Invoke();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::DRIVER_SRB_IO_RESPONSE);
    EXPECT_EQ(result.GetDriverError(), 1u);
}

} // namespace

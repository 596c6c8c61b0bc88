#include <gtest/gtest.h>

#include "middleware/ioctl/ControllerLocator.h"
#include "middleware/model/ZrcRemapAddress.h"
#include "middleware/model/ZrcRemapBiosVariable.h"

namespace {

TEST(ZrcRemapAddress, BusOrRootPortNumberDeviceAndFunctionFillTheWord) {
    struct Case {
        ZrcPciLocation location;
        uint16_t word;
        const char* text;
    } cases[] = {
        {{kRootPortSat, 0, 23, 0, 0xFF}, 0x1700, "[bus or port number: 0], [device: 23], [function: 0]"},
        // Behind a root port "RP09" the port number stands where the bus would.
        {{kRootPortRp, 0, 0, 2, 9}, 0x0009, "[bus or port number: 9], [device: 0], [function: 0]"},
        {{kRootPortPeg, 0, 0, 1, 0}, 0x0001, "[bus or port number: 1], [device: 0], [function: 0]"},
        {{kRootPortNone, 7, 31, 255, 3}, 0xFFFF, "[bus or port number: 255], [device: 31], [function: 7]"},
        // Only the low 5 device bits and the low 3 function bits are kept.
        {{kRootPortNone, 0x0A, 0x3F, 4, 0}, 0x5F04, "[bus or port number: 4], [device: 31], [function: 2]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MakeZrcRemapAddress(c.location), c.word) << c.text;
        EXPECT_EQ(ZrcRemapLocationText(c.word), c.text);
    }
}

TEST(ZrcRemapAddress, AControllerRecordGivesItsLocationWord) {
    ControllerLocator record{};
    record.rootPortKind = kRootPortRp;
    record.pciFunction = 1;
    record.pciDevice = 0x1D;
    record.pciBus = 3;
    record.rootPortNumber = 5;
    EXPECT_EQ(MakeZrcRemapAddress(record), 0x3D05);
    record.rootPortKind = kRootPortPeg;
    EXPECT_EQ(MakeZrcRemapAddress(record), 0x3D03);
}

TEST(ZrcRemapBiosVariable, CountRuleAndByteOrder) {
    uint8_t bytes[64] = {};
    bytes[0] = 0x2D | 0xC0; // count field 45, bits 6 and 7 set
    bytes[1] = 0xA5;
    bytes[2] = 0x34;
    bytes[3] = 0x12;
    bytes[62] = 0xCD;
    bytes[63] = 0xAB;
    ZrcRemapBiosVariable record = ZrcRemapBiosVariable::FromBytes(bytes);
    EXPECT_EQ(record.words[0], 0xA5ED);
    EXPECT_EQ(record.countField(), 45u);
    EXPECT_EQ(record.count(), 31u);
    EXPECT_TRUE(record.lists(0x1234));
    EXPECT_TRUE(record.lists(0xABCD)); // word 31 is the last slot a full record searches
    record.setCountField(3);
    EXPECT_EQ(record.words[0], 0xA5C3);
    EXPECT_FALSE(record.lists(0xABCD));
    uint8_t back[64];
    record.toBytes(back);
    EXPECT_EQ(back[0], 0xC3);
    EXPECT_EQ(back[1], 0xA5);
    EXPECT_EQ(back[63], 0xAB);

    for (unsigned field : {0u, 1u, 30u, 31u, 32u, 63u}) {
        record.setCountField(field);
        EXPECT_EQ(record.count(), field > 31 ? 31u : field);
    }
}

} // namespace

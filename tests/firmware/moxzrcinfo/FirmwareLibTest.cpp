// The application's small routines in place of a C library.
#include <string>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/FirmwareLib.h"

namespace {

TEST(FirmwareLib, Strings) {
    EXPECT_EQ(NarrowStringLength("abc"), 3u);
    EXPECT_EQ(NarrowStringLength(nullptr), 0u);
    EXPECT_EQ(WideStringLength(u"abcd"), 4u);
    EXPECT_EQ(CompareNarrowN("ZRC", "ZRCX", 3), 0);
    EXPECT_NE(CompareNarrowN("ZRC", "ZRCX", 4), 0);
    EXPECT_NE(CompareNarrowN("zrc", "ZRC", 3), 0);
    EXPECT_EQ(CompareNarrowNoCaseN("zrc", "ZRC", 4), 0);
    EXPECT_LT(CompareNarrowNoCaseN("abc", "ABD", 3), 0);
    char text[] = "/?:value";
    EXPECT_EQ(FindNarrowChar(text, ':'), text + 2);
    EXPECT_EQ(FindNarrowChar(text, 'x'), nullptr);
    EXPECT_EQ(FindFirstOf(text + 1, "+-:"), text + 2);
    EXPECT_EQ(FindFirstOf(text, "#"), nullptr);
}

TEST(FirmwareLib, TrimAndNarrow) {
    for (const auto& [given, trimmed] : {std::pair<std::string, std::string>{"  Brand  CPU   ", "Brand  CPU"},
                                         {"none", "none"},
                                         {"     ", ""},
                                         {"", ""}}) {
        std::string text = given;
        EXPECT_STREQ(TrimSpaces(text.data()), trimmed.c_str()) << given;
    }
    CHAR8 out[8];
    EXPECT_EQ(NarrowFromWide(out, u"ab\u0143d", 7), 4u);
    EXPECT_STREQ(out, "abCd");
    EXPECT_EQ(NarrowFromWide(out, u"abcdefghij", 3), 3u);
    EXPECT_STREQ(out, "abc");
}

TEST(FirmwareLib, Bytes) {
    UINT8 bytes[4];
    FillBytes(bytes, sizeof(bytes), 0x80);
    EXPECT_EQ(ByteSum(bytes, sizeof(bytes)), 0);
    EXPECT_EQ(ByteSum(bytes, 3), 0x80);
    const UINT8 other[4] = {0x80, 0x80, 0x81, 0x00};
    EXPECT_LT(CompareBytes(bytes, other, 4), 0);
    EXPECT_EQ(CompareBytes(bytes, other, 2), 0);
}

} // namespace

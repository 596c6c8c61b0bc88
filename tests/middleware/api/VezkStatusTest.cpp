#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "middleware/api/VezkStatus.h"

namespace {

TEST(VezkStatusTexts, KnownAndUnknownValues) {
    EXPECT_STREQ(UVI_VezkDiskPairStatusToDescription(0), "Pair valid");
    EXPECT_STREQ(UVI_VezkDiskPairStatusToDescription(8), "Accelerating dynamic disk is not supported");
    EXPECT_STREQ(UVI_VezkDiskPairStatusToDescription(9), "Unknown disk pair status");
    EXPECT_STREQ(UVI_VezkDiskValidForConcatenationStatusToDescription(6), "Icorrect disk type");
    EXPECT_STREQ(UVI_VezkDiskValidForConcatenationStatusToDescription(8), "Unknown disk status");
    EXPECT_STREQ(UVI_VezkOperationStatusToDescription(10), "Clearing Halvex's block cache");
    EXPECT_STREQ(UVI_VezkOperationStatusToDescription(11), "Unknown");
    EXPECT_STREQ(UVI_VezkOperationStatusToDescription(0xFFFFFFFF), "Unknown");
}

TEST(VezkConversions, PairVerdictsAndFileCacheModes) {
    const uint32_t expected[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 5, 5};
    for (uint32_t verdict = 0; verdict < std::size(expected); ++verdict)
        EXPECT_EQ(ToVezkDiskPairStatus(verdict), expected[verdict]) << verdict;
    EXPECT_EQ(ToVezkDiskPairStatus(0xFFFFFFFF), UVI_VEZK_DISK_PAIR_INTERNAL_ERROR);

    for (uint32_t mode = 0; mode <= 2; ++mode)
        EXPECT_EQ(ToVezkFileCacheMode(mode), mode);
    try {
        ToVezkFileCacheMode(0x1F);
        FAIL() << "no error";
    } catch (const CConsolidatedError& error) {
        EXPECT_EQ(error.GetErrorCode(), 0xA0010010u);
        EXPECT_STREQ(error.GetErrorMessage(), "Cannot convert value: 0x1F to FileCacheMode");
    }
}

TEST(PairStatusToError, CodesAndTheTwoMessageLines) {
    EXPECT_TRUE(PairStatusToError(0).IsSuccessful());
    const struct {
        uint32_t status, code;
    } cases[] = {{1, 0xA007001A}, {2, 0xA007001B}, {3, 0xA007001C}, {4, 0xA007001D}, {5, 0xA007001E},
                 {6, 0xA007001E}, {7, 0xA0070032}, {8, 0xA007001E}, {99, 0xA007001E}};
    for (const auto& c : cases) {
        const CConsolidatedError error = PairStatusToError(c.status);
        EXPECT_EQ(error.GetErrorCode(), c.code) << c.status;
        EXPECT_EQ(std::string(error.GetErrorMessage()),
                  std::string("Disk pair not valid\n") + UVI_VezkDiskPairStatusToDescription(c.status));
    }
}

TEST(MiddlewareVersion, NumbersMatchTheText) {
    const _UVI_MiddlewareVersionInfo info = UviGetMiddlewareVersionInfo();
    EXPECT_EQ(info.recordVersion, 1u);
    EXPECT_EQ(info.reserved4, 0u);
    const std::string text = std::to_string(info.major) + "." + std::to_string(info.minor) + "." +
                             std::to_string(info.revision) + "." + std::to_string(info.build);
    EXPECT_STREQ(info.versionText, text.c_str());
    EXPECT_LT(std::strlen(info.versionText), sizeof info.versionText);
}

} // namespace

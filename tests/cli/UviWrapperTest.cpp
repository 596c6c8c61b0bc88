#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/UviWrapper.h"
#include "middleware/api/UviApi.h"

namespace {

TEST(UviWrapper, StartStatusesDecideTheFailureText) {
    const std::vector<std::pair<int32_t, std::optional<std::string>>> cases = {
        {0, std::nullopt},
        {11, std::nullopt},
        {15, "Unable to connect."},
        {22, "User has insufficient privileges."},
        {16, "Unknown initialization error: 16"},
        {12, "Unknown initialization error: 12"},
        {-1, "Unknown initialization error: -1"},
    };
    for (const auto& [status, text] : cases)
        EXPECT_EQ(MOX::UviInitializationFailure(status), text) << status;
}

TEST(UviWrapper, InitializationExceptionKeepsItsOwnCopyOfTheText) {
    std::string text = "Unable to connect.";
    const MOX::UviInitializationException original(text);
    text = "changed";
    const MOX::UviInitializationException copy = original;
    EXPECT_STREQ(copy.what(), "Unable to connect.");
    EXPECT_STREQ(original.what(), "Unable to connect.");
}

TEST(UviWrapper, KeepsTheLibraryStartedForItsLifetime) {
    {
        const MOX::UviWrapper wrapper;
        unsigned handle = 0;
        EXPECT_EQ(UviSessionOpen(&handle).status, UVI_STATUS_SUCCESS);
        EXPECT_EQ(UviSessionClose(handle).status, UVI_STATUS_SUCCESS);
        EXPECT_EQ(UviInitialize().status, UVI_STATUS_DUPLICATE);
    }
    EXPECT_EQ(UviFinalize().status, UVI_STATUS_NOT_INITIALIZED) << "the wrapper stopped the library";
}

} // namespace

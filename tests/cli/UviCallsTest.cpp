// The command line's one seam to the library, and the fault rules the command line's tests build on it.
#include <cstring>
#include <string>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "cli/UviCalls.h"
#include "cli/UviWrapper.h"
#include "middleware/api/UviApi.h"
#include "tests/cli/UviFaults.h"

namespace {

std::string VersionText() {
    const _UVI_MiddlewareVersionInfo version = MOX::CallUvi(UviGetMiddlewareVersionInfo);
    return std::string(version.versionText, strnlen(version.versionText, sizeof version.versionText));
}

_UVI_MiddlewareVersionInfo VersionNamed(const char* text) {
    _UVI_MiddlewareVersionInfo version{};
    std::strncpy(version.versionText, text, sizeof version.versionText - 1);
    return version;
}

TEST(UviCalls, AStandInHoldsForItsScopeAndThenGivesTheEarlierOneBack) {
    const std::string library = VersionText();
    ASSERT_FALSE(library.empty());
    {
        MOX::ScopedUviStandIn outer(UviGetMiddlewareVersionInfo, [] { return VersionNamed("outer"); });
        EXPECT_EQ(VersionText(), "outer");
        {
            MOX::ScopedUviStandIn inner(UviGetMiddlewareVersionInfo, [] { return VersionNamed("inner"); });
            EXPECT_EQ(VersionText(), "inner");
        }
        EXPECT_EQ(VersionText(), "outer");
    }
    EXPECT_EQ(VersionText(), library);
}

TEST(UviCalls, TheLibraryGuardSeesTheStartStatusThroughTheSeam) {
    MOX::ScopedUviStandIn refused(UviInitialize, [] {
        _UVI_Error answer{};
        answer.status = static_cast<_UVI_Status>(15);
        return answer;
    });
    try {
        MOX::UviWrapper library;
        ADD_FAILURE() << "the library guard accepted status 15";
    } catch (const MOX::UviInitializationException& e) {
        EXPECT_STREQ(e.what(), "Unable to connect.");
    }
}

TEST(UviFaults, AnEditOfAnExportWithoutArgumentsChangesItsResult) {
    clitest::ScopedUviFaults faults{{UviGetMiddlewareVersionInfo, 1, 1, [](void* record) {
                                         auto* version = static_cast<_UVI_MiddlewareVersionInfo*>(record);
                                         std::strcpy(version->versionText, "edited");
                                     }}};
    const std::string library = VersionText();
    EXPECT_EQ(VersionText(), "edited");
    EXPECT_EQ(VersionText(), library);
}

void UnfiredRule() {
    clitest::ScopedUviFaults faults{{UviGetArrayInfo, 1}};
}

// The library's own failure comes from a session it does not know; this export takes none, so the
// rule is refused and its call goes through.
void FailureWithoutASession() {
    clitest::ScopedUviFaults faults{{UviGetMiddlewareVersionInfo}};
    EXPECT_FALSE(VersionText().empty());
}

TEST(UviFaults, ARuleThatNeverFiresFailsTheTest) {
    EXPECT_NONFATAL_FAILURE(UnfiredRule(), "this fault rule never fired");
}

TEST(UviFaults, AFailureNeedsASessionToFailOn) {
    EXPECT_NONFATAL_FAILURE(FailureWithoutASession(), "needs an export whose first argument is a session");
}

} // namespace

#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "middleware/core/NamedCriticalSection.h"
#include "platform/win/WinSync.h"
#include "sim/KernelObjects.h"
#include "sim/Machine.h"
#include "tests/support/ChildProcess.h"

namespace {

constexpr const char* kName = "Global\\HalvexEnableOneStepSemaphore";
constexpr uint32_t kBusy = 0xA0070037;
constexpr uint32_t kTwice = 0xA0070038;
constexpr uint32_t kWin32 = 0x20000001;

class NamedCriticalSectionTest : public ::testing::Test {
protected:
    sim::ScopedMachine machine;

    void Fail(const char* kind, sim::Value outcome, sim::Value match = sim::Value::object()) {
        machine->faults().Add(sim::FaultRule::FromJson(
            {{"kind", kind}, {"match", std::move(match)}, {"outcome", std::move(outcome)}}));
    }
};

template <class F> auto OnOtherThread(F f) {
    decltype(f()) result{};
    std::thread([&] { result = f(); }).join();
    return result;
}

uint32_t EnterOnOtherThread(const char* name) {
    return OnOtherThread([name] {
        NamedCriticalSection other(name);
        return static_cast<uint32_t>(other.enter().GetErrorCode());
    });
}

TEST_F(NamedCriticalSectionTest, HeldSectionRefusesEveryOtherHolderAtOnce) {
    NamedCriticalSection section(kName);
    EXPECT_FALSE(section.exists());
    EXPECT_FALSE(section.isInUse());

    CConsolidatedError entered = section.enter();
    ASSERT_TRUE(entered.IsSuccessful());
    EXPECT_TRUE(section.exists());
    EXPECT_TRUE(section.isInUse());

    CConsolidatedError twice = section.enter();
    EXPECT_EQ(twice.GetErrorCode(), kTwice);
    EXPECT_STREQ(twice.GetErrorMessage(), "Cannot enter section twice");
    EXPECT_TRUE(section.isInUse());

    // Another thread's object is refused; it sees the section in use.
    EXPECT_EQ(EnterOnOtherThread(kName), kBusy);
    EXPECT_TRUE(OnOtherThread([] { return NamedCriticalSection(kName).isInUse(); }));

    // So is another process's.
    auto child = moxtest::RunChild({"ncs-try", kName});
    EXPECT_EQ(child.output, "0XA0070037 Could not enter critical section\nin use 1\nexists 1\n");

    section.leave();
    EXPECT_FALSE(section.isInUse());
    EXPECT_TRUE(section.exists()); // the object keeps its mutex open for the next enter
    EXPECT_EQ(EnterOnOtherThread(kName), 0x20000000u);
    EXPECT_EQ(moxtest::RunChild({"ncs-try", kName}).output, "0X20000000 \nin use 1\nexists 1\n");
    EXPECT_TRUE(section.enter().IsSuccessful());
}

// The holder's own thread is refused through a second object too, and that object's leave changes
// nothing: every process still sees the section in use.
TEST_F(NamedCriticalSectionTest, ASecondObjectIsRefusedEvenOnTheHoldersThread) {
    NamedCriticalSection first(kName);
    NamedCriticalSection second(kName);
    ASSERT_TRUE(first.enter().IsSuccessful());
    CConsolidatedError busy = second.enter();
    EXPECT_EQ(busy.GetErrorCode(), kBusy);
    EXPECT_STREQ(busy.GetErrorMessage(), "Could not enter critical section");
    EXPECT_EQ(first.enter().GetErrorCode(), kTwice);
    second.leave();
    EXPECT_TRUE(second.isInUse());
    EXPECT_EQ(moxtest::RunChild({"ncs-try", kName}).output,
              "0XA0070037 Could not enter critical section\nin use 1\nexists 1\n");
    EXPECT_EQ(EnterOnOtherThread(kName), kBusy);

    first.leave();
    EXPECT_FALSE(first.isInUse());
    EXPECT_TRUE(second.enter().IsSuccessful());
    EXPECT_EQ(first.enter().GetErrorCode(), kBusy);
    second.leave();
    EXPECT_EQ(EnterOnOtherThread(kName), 0x20000000u);
}

TEST_F(NamedCriticalSectionTest, ASectionHeldInAnotherProcessIsRefusedUntilThatProcessEnds) {
    {
        moxtest::Child holder({"ncs-hold", kName});
        ASSERT_EQ(holder.ReadLine(), "ready 0X20000000");
        NamedCriticalSection section(kName);
        EXPECT_TRUE(section.exists());
        EXPECT_TRUE(section.isInUse());
        CConsolidatedError busy = section.enter();
        EXPECT_EQ(busy.GetErrorCode(), kBusy);
        EXPECT_EQ(busy.GetErrorType(), KEDO2_ERROR_TYPE_KEDO2);
        EXPECT_STREQ(busy.GetErrorMessage(), "Could not enter critical section");

        // The holder dies inside: this process still has the mutex open, so it is abandoned, which
        // counts as entered.
        holder.Kill();
        EXPECT_FALSE(section.isInUse());
        EXPECT_TRUE(section.enter().IsSuccessful());
        EXPECT_TRUE(section.isInUse());
    }
    // With no handle left anywhere the section is gone with its holder.
    moxtest::Child holder({"ncs-hold", kName});
    ASSERT_EQ(holder.ReadLine(), "ready 0X20000000");
    holder.Kill();
    NamedCriticalSection section(kName);
    EXPECT_FALSE(section.exists());
    EXPECT_TRUE(section.enter().IsSuccessful());
}

TEST_F(NamedCriticalSectionTest, AServicesMutexIsOpenedWhenCreationIsRefused) {
    sim::ScopedMachine service(sim::Value{
        {"name", "service"}, {"kernel_objects", {{"deny_create", {{{"name", kName}, {"type", "mutex"}}}}}}});
    NamedCriticalSection section(kName);
    EXPECT_TRUE(section.exists());
    EXPECT_TRUE(section.enter().IsSuccessful());
    EXPECT_TRUE(section.isInUse());
    section.leave();
    EXPECT_FALSE(section.isInUse());
}

TEST_F(NamedCriticalSectionTest, AMutexThatCanBeNeitherCreatedNorOpenedIsThrown) {
    Fail("CreateMutex", {{"win32_error", 5}});
    Fail("OpenMutex", {{"win32_error", 1450}});
    NamedCriticalSection section(kName);
    try {
        static_cast<void>(section.enter()); // throws
        FAIL() << "no error thrown";
    } catch (const CConsolidatedError& e) {
        EXPECT_EQ(e.GetErrorCode(), kWin32);
        EXPECT_EQ(e.GetErrorType(), KEDO2_ERROR_TYPE_KEDO2);
        EXPECT_EQ(e.GetWin32Error(), 1450u);
        EXPECT_STREQ(e.GetDebugInformation(), "Failed to create or open mutex. ErrorCode: 1450");
    }
    // A creation refused for another reason is not retried as an open.
    Fail("CreateMutex", {{"win32_error", 6}});
    EXPECT_THROW(section.enter(), CConsolidatedError);
    EXPECT_EQ(machine->calls().Count("OpenMutex"), 1u);
    EXPECT_TRUE(section.enter().IsSuccessful());
}

TEST_F(NamedCriticalSectionTest, WaitFailuresAreReturnedWithTheWin32Error) {
    struct Case {
        const char* waitResult;
        uint32_t lastError;
        const char* debug;
    } cases[] = {
        {"0xFFFFFFFF", 6, "Mutex wait failed. ErrorCode: 6"},
        {"0xC0", 0, "Unexpected result while obtaining mutex. ErrorCode: 0"},
    };
    NamedCriticalSection section(kName);
    for (const auto& c : cases) {
        Fail("WaitForSingleObject", {{"wait_result", c.waitResult}, {"win32_error", c.lastError}},
             {{"object", "mutex"}});
        CConsolidatedError failed = section.enter();
        EXPECT_EQ(failed.GetErrorCode(), kWin32) << c.debug;
        EXPECT_EQ(failed.GetWin32Error(), c.lastError);
        EXPECT_STREQ(failed.GetDebugInformation(), c.debug);
        EXPECT_FALSE(section.isInUse());
    }
    EXPECT_TRUE(section.enter().IsSuccessful());
}

TEST_F(NamedCriticalSectionTest, ASectionWhoseFlagCannotBeRaisedIsLeftAgain) {
    for (const char* kind : {"CreateEvent", "SetEvent"}) {
        Fail(kind, {{"win32_error", 5}});
        NamedCriticalSection section(kName);
        CConsolidatedError failed = section.enter();
        EXPECT_EQ(failed.GetErrorCode(), kBusy) << kind;
        EXPECT_STREQ(failed.GetErrorMessage(), "Could not enter critical section - setting flag failed");
        EXPECT_FALSE(section.isInUse());
        EXPECT_EQ(EnterOnOtherThread(kName), 0x20000000u) << kind;
    }
}

TEST_F(NamedCriticalSectionTest, AFailedReleaseIsThrownAndLeavesTheSectionHeld) {
    auto section = std::make_unique<NamedCriticalSection>(kName);
    ASSERT_TRUE(section->enter().IsSuccessful());
    Fail("ReleaseMutex", {{"win32_error", 288}});
    try {
        section->leave();
        FAIL() << "no error thrown";
    } catch (const CConsolidatedError& e) {
        EXPECT_EQ(e.GetErrorCode(), kWin32);
        EXPECT_EQ(e.GetWin32Error(), 288u);
        EXPECT_STREQ(e.GetDebugInformation(), "Failed to release mutex. ErrorCode: 288");
    }
    EXPECT_TRUE(section->isInUse());
    EXPECT_EQ(section->enter().GetErrorCode(), kTwice);

    // Destruction reports no failure to release.
    Fail("ReleaseMutex", {{"win32_error", 288}});
    EXPECT_NO_THROW(section.reset());
}

// As a mutex whose owner thread ended is abandoned, the section is entered by the next holder; the
// first object, destroyed later, takes nothing from it.
TEST_F(NamedCriticalSectionTest, ASectionWhoseHolderThreadEndedWithoutLeavingIsEntered) {
    auto gone = std::make_unique<NamedCriticalSection>(kName);
    std::thread([&] { ASSERT_TRUE(gone->enter().IsSuccessful()); }).join();

    NamedCriticalSection next(kName);
    ASSERT_TRUE(next.enter().IsSuccessful());
    gone.reset();
    EXPECT_TRUE(next.isInUse());
    EXPECT_EQ(EnterOnOtherThread(kName), kBusy);
    next.leave();
    EXPECT_EQ(EnterOnOtherThread(kName), 0x20000000u);
}

TEST_F(NamedCriticalSectionTest, DestructionLeavesAHeldSection) {
    auto section = std::make_unique<NamedCriticalSection>(kName);
    ASSERT_TRUE(section->enter().IsSuccessful());
    section.reset();
    EXPECT_EQ(EnterOnOtherThread(kName), 0x20000000u);
    EXPECT_FALSE(NamedCriticalSection(kName).exists());
}

} // namespace

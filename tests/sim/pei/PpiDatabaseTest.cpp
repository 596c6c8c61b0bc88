// The simulated PEI foundation's PPI database and notifications.
#include <vector>

#include <gtest/gtest.h>

#include "sim/Machine.h"
#include "sim/pei/PeiEnvironment.h"

namespace {

EFI_GUID kA = {0x11111111, 0x1111, 0x1111, {1, 1, 1, 1, 1, 1, 1, 1}};
EFI_GUID kB = {0x22222222, 0x2222, 0x2222, {2, 2, 2, 2, 2, 2, 2, 2}};

constexpr UINTN kPpi = EFI_PEI_PPI_DESCRIPTOR_PPI;
constexpr UINTN kEnd = EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
constexpr UINTN kCallback = EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK;

// Which notify was called with which PPI, in order.
std::vector<std::pair<const EFI_PEI_NOTIFY_DESCRIPTOR*, void*>> g_called;
// What the next callback installs, if anything.
const EFI_PEI_PPI_DESCRIPTOR* g_installFromCallback = nullptr;
const EFI_PEI_NOTIFY_DESCRIPTOR* g_notifyFromCallback = nullptr;

EFI_STATUS EFIAPI Record(EFI_PEI_SERVICES** services, EFI_PEI_NOTIFY_DESCRIPTOR* notify, VOID* ppi) {
    g_called.emplace_back(notify, ppi);
    if (auto* d = std::exchange(g_installFromCallback, nullptr))
        (*services)->InstallPpi(const_cast<const EFI_PEI_SERVICES**>(services), d);
    if (auto* n = std::exchange(g_notifyFromCallback, nullptr))
        (*services)->NotifyPpi(const_cast<const EFI_PEI_SERVICES**>(services), n);
    return EFI_SUCCESS;
}

class PpiDatabaseTest : public ::testing::Test {
protected:
    PpiDatabaseTest() { g_called.clear(); }
    EFI_STATUS Install(const EFI_PEI_PPI_DESCRIPTOR* list) {
        return services()->InstallPpi(env_.Services(), list);
    }
    EFI_STATUS Notify(const EFI_PEI_NOTIFY_DESCRIPTOR* list) {
        return services()->NotifyPpi(env_.Services(), list);
    }
    EFI_STATUS Locate(const EFI_GUID& guid, UINTN instance, void** ppi) {
        return services()->LocatePpi(env_.Services(), &guid, instance, nullptr, ppi);
    }
    const EFI_PEI_SERVICES* services() { return *env_.Services(); }

    sim::ScopedMachine machine_;
    sim::pei::Environment env_;
    int ppiA1 = 1, ppiA2 = 2, ppiB = 3;
};

TEST_F(PpiDatabaseTest, PpisAreFoundByGuidAndInstanceInInstallationOrder) {
    const EFI_PEI_PPI_DESCRIPTOR list[] = {{kPpi, &kA, &ppiA1}, {kPpi | kEnd, &kB, &ppiB}};
    const EFI_PEI_PPI_DESCRIPTOR second = {kPpi | kEnd, &kA, &ppiA2};
    ASSERT_EQ(Install(list), EFI_SUCCESS);
    ASSERT_EQ(Install(&second), EFI_SUCCESS);
    void* ppi = nullptr;
    EFI_PEI_PPI_DESCRIPTOR* descriptor = nullptr;
    EXPECT_EQ(services()->LocatePpi(env_.Services(), &kA, 1, &descriptor, &ppi), EFI_SUCCESS);
    EXPECT_EQ(ppi, &ppiA2);
    EXPECT_EQ(descriptor, &second);
    EXPECT_EQ(Locate(kA, 0, &ppi), EFI_SUCCESS);
    EXPECT_EQ(ppi, &ppiA1);
    EXPECT_EQ(Locate(kB, 1, &ppi), EFI_NOT_FOUND);
}

TEST_F(PpiDatabaseTest, AListWithABadEntryOrWithoutItsEndInstallsNothing) {
    const EFI_PEI_PPI_DESCRIPTOR notAPpi[] = {{kPpi, &kA, &ppiA1}, {kCallback | kEnd, &kB, &ppiB}};
    EXPECT_EQ(Install(notAPpi), EFI_INVALID_PARAMETER);
    std::vector<EFI_PEI_PPI_DESCRIPTOR> endless(100, EFI_PEI_PPI_DESCRIPTOR{kPpi, &kA, &ppiA1});
    EXPECT_EQ(Install(endless.data()), EFI_INVALID_PARAMETER);
    EXPECT_EQ(Install(nullptr), EFI_INVALID_PARAMETER);
    EXPECT_TRUE(env_.ppis().Installed(kA).empty());
}

TEST_F(PpiDatabaseTest, ACallbackRunsWhenItsPpiIsInstalledAndAtOnceForOneInstalledAlready) {
    const EFI_PEI_PPI_DESCRIPTOR a1 = {kPpi | kEnd, &kA, &ppiA1};
    const EFI_PEI_PPI_DESCRIPTOR a2 = {kPpi | kEnd, &kA, &ppiA2};
    const EFI_PEI_NOTIFY_DESCRIPTOR onA = {kCallback | kEnd, &kA, Record};
    ASSERT_EQ(Install(&a1), EFI_SUCCESS);
    ASSERT_EQ(Notify(&onA), EFI_SUCCESS);
    ASSERT_EQ(g_called.size(), 1u);
    EXPECT_EQ(g_called[0].second, &ppiA1);
    ASSERT_EQ(Install(&a2), EFI_SUCCESS);
    ASSERT_EQ(g_called.size(), 2u);
    EXPECT_EQ(g_called[1], std::make_pair(&onA, static_cast<void*>(&ppiA2)));
    EXPECT_EQ(machine_->calls().CountMatching("PeiNotifyCallback",
                                              R"({"guid": "11111111-1111-1111-0101-010101010101"})"),
              2u);
}

TEST_F(PpiDatabaseTest, ANotifyACallbackRegistersIsCalledOnceForThePpiBeingInstalled) {
    const EFI_PEI_PPI_DESCRIPTOR a = {kPpi | kEnd, &kA, &ppiA1};
    const EFI_PEI_PPI_DESCRIPTOR b = {kPpi | kEnd, &kB, &ppiB};
    const EFI_PEI_NOTIFY_DESCRIPTOR onA = {kCallback | kEnd, &kA, Record};
    const EFI_PEI_NOTIFY_DESCRIPTOR onAToo = {kCallback | kEnd, &kA, Record};
    const EFI_PEI_NOTIFY_DESCRIPTOR onB = {kCallback | kEnd, &kB, Record};
    ASSERT_EQ(Notify(&onB), EFI_SUCCESS);
    ASSERT_EQ(Notify(&onA), EFI_SUCCESS);
    // The callback for A installs B and waits for A once more.
    g_installFromCallback = &b;
    g_notifyFromCallback = &onAToo;
    ASSERT_EQ(Install(&a), EFI_SUCCESS);
    using Call = std::pair<const EFI_PEI_NOTIFY_DESCRIPTOR*, void*>;
    EXPECT_EQ(g_called, (std::vector<Call>{{&onA, &ppiA1}, {&onB, &ppiB}, {&onAToo, &ppiA1}}));
}

TEST_F(PpiDatabaseTest, ANotifyWithoutATypeIsRefused) {
    const EFI_PEI_NOTIFY_DESCRIPTOR none = {kEnd, &kA, Record};
    EXPECT_EQ(Notify(&none), EFI_INVALID_PARAMETER);
    EXPECT_TRUE(env_.ppis().Notifies(kA).empty());
}

TEST_F(PpiDatabaseTest, FaultRulesFailTheServicesAndTheirCallsAreLogged) {
    machine_->faults().Add(R"({"kind": "PeiLocatePpi", "match": {"instance": 0}, "outcome": {"error": 7}})");
    machine_->faults().Add(
        R"({"kind": "PeiInstallPpi", "match": {"guid": "22222222-2222-2222-0202-020202020202"}, "outcome": {"error": 9}})");
    const EFI_PEI_PPI_DESCRIPTOR list[] = {{kPpi, &kA, &ppiA1}, {kPpi | kEnd, &kB, &ppiB}};
    EXPECT_EQ(Install(list), EFI_OUT_OF_RESOURCES);
    EXPECT_TRUE(env_.ppis().Installed(kA).empty());
    void* ppi = nullptr;
    EXPECT_EQ(Locate(kA, 0, &ppi), EFI_DEVICE_ERROR);
}

TEST_F(PpiDatabaseTest, ThePlatformsStallPpiIsThereFromTheStart) {
    void* ppi = nullptr;
    ASSERT_EQ(Locate(gEfiPeiStallPpiGuid, 0, &ppi), EFI_SUCCESS);
    auto* stall = static_cast<EFI_PEI_STALL_PPI*>(ppi);
    const uint64_t before = env_.tsc().Now();
    EXPECT_EQ(stall->Stall(env_.Services(), stall, 31000000), EFI_SUCCESS);
    EXPECT_EQ(env_.tsc().Now() - before, 31000000ull * 2400);
}

} // namespace

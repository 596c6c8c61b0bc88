// The BAR-window PPI, as another PEI module finds and calls it.
#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include "firmware/moxsecpeim/RemapBarPpi.h"

namespace {

class RemapBarPpiTest : public PeiModuleTest {
protected:
    explicit RemapBarPpiTest(const sim::MachineBuilder& machine = PeiMachine()) : PeiModuleTest(machine) {
        EXPECT_EQ(RunModule(), EFI_SUCCESS);
        VOID* ppi = nullptr;
        EXPECT_EQ(env_.Table().LocatePpi(env_.Services(), &gMoxRemapBarPpiGuid, 0, nullptr, &ppi),
                  EFI_SUCCESS);
        ppi_ = static_cast<MoxRemapBarPpi*>(ppi);
    }
    EFI_STATUS Ask(const RemapBarRequest* request, const VOID* caller = nullptr) {
        return ppi_->GetRemappedDeviceBar(caller ? caller : env_.Services(), request, &address_, &high_);
    }
    void SetBar5(uint32_t value) { env_.pci().Find(0, 0x17, 0)->Set(0x24, 4, value); }

    MoxRemapBarPpi* ppi_ = nullptr;
    UINT32 address_ = 0xAAAAAAAA;
    UINT32 high_ = 0xBBBBBBBB;
};

TEST_F(RemapBarPpiTest, EachWindowIdSelectsItsWindowOfBar5) {
    for (auto [window, offset] : {std::pair{0x100, 0x4000u}, {0x200, 0x8000u}, {0x400, 0xC000u}}) {
        const RemapBarRequest request{0, 0x17, 0, 0xEE, static_cast<UINT16>(window)};
        EXPECT_EQ(Ask(&request), EFI_SUCCESS);
        EXPECT_EQ(address_, 0xFE000000u + offset);
        EXPECT_EQ(high_, 0u);
    }
    // The hardware is read on every call.
    SetBar5(0xFD100000);
    const RemapBarRequest request{0, 0x17, 0, 0, 0x200};
    EXPECT_EQ(Ask(&request), EFI_SUCCESS);
    EXPECT_EQ(address_, 0xFD108000u);
}

struct Refusal {
    const char* name;
    bool nullCaller, nullRequest;
    RemapBarRequest request;
    uint32_t bar5;
    EFI_STATUS expected;
    // Whether the check comes before any hardware access.
    bool beforeHardware;
};

class RemapBarRefusalTest : public RemapBarPpiTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RemapBarRefusalTest, RefusesInOrderAndLeavesTheOutputs) {
    const Refusal& r = GetParam();
    SetBar5(r.bar5);
    const size_t readsBefore = Calls("PeiPciCfgRead");
    EFI_STATUS status = r.nullCaller ? ppi_->GetRemappedDeviceBar(nullptr, &r.request, &address_, &high_)
                                     : Ask(r.nullRequest ? nullptr : &r.request);
    EXPECT_EQ(status, r.expected);
    EXPECT_EQ(address_, 0xAAAAAAAAu);
    EXPECT_EQ(high_, 0xBBBBBBBBu);
    EXPECT_EQ(Calls("PeiPciCfgRead") == readsBefore, r.beforeHardware);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RemapBarRefusalTest,
    ::testing::Values(
        Refusal{"NullCaller", true, false, {0, 0x17, 0, 0, 0x100}, 0xFE000000, EFI_INVALID_PARAMETER, true},
        Refusal{"NullRequest", false, true, {}, 0xFE000000, EFI_INVALID_PARAMETER, true},
        Refusal{"OtherBus", false, false, {1, 0x17, 0, 0, 0x100}, 0xFE000000, EFI_INVALID_PARAMETER, true},
        Refusal{"OtherDevice", false, false, {0, 0x16, 0, 0, 0x100}, 0xFE000000, EFI_INVALID_PARAMETER, true},
        Refusal{
            "OtherFunction", false, false, {0, 0x17, 1, 0, 0x100}, 0xFE000000, EFI_INVALID_PARAMETER, true},
        Refusal{"Bar5Zero", false, false, {0, 0x17, 0, 0, 0x100}, 0, EFI_DEVICE_ERROR, false},
        Refusal{"Bar5Io", false, false, {0, 0x17, 0, 0, 0x100}, 0xF001, EFI_DEVICE_ERROR, false},
        Refusal{"Bar5Is64Bit", false, false, {0, 0x17, 0, 0, 0x100}, 0xFE00000C, EFI_DEVICE_ERROR, false},
        // The hardware is tested before the window id.
        Refusal{"BadWindowOnBar5Zero", false, false, {0, 0x17, 0, 0, 0x300}, 0, EFI_DEVICE_ERROR, false},
        Refusal{"BadWindow", false, false, {0, 0x17, 0, 0, 0x300}, 0xFE000000, EFI_INVALID_PARAMETER, false},
        Refusal{"WindowZero", false, false, {0, 0x17, 0, 0, 0}, 0xFE000000, EFI_INVALID_PARAMETER, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RemapBarPpiTest, MissingOutputsAreRefusedBeforeTheHardware) {
    const RemapBarRequest request{0, 0x17, 0, 0, 0x100};
    const size_t readsBefore = Calls("PeiPciCfgRead");
    EXPECT_EQ(ppi_->GetRemappedDeviceBar(env_.Services(), &request, nullptr, &high_), EFI_INVALID_PARAMETER);
    EXPECT_EQ(ppi_->GetRemappedDeviceBar(env_.Services(), &request, &address_, nullptr),
              EFI_INVALID_PARAMETER);
    EXPECT_EQ(Calls("PeiPciCfgRead"), readsBefore);
}

TEST_F(RemapBarPpiTest, AControllerGoneAfterInstallIsNotFound) {
    env_.pci().Remove(0, 0x17, 0);
    const RemapBarRequest request{0, 0x17, 0, 0, 0x100};
    EXPECT_EQ(Ask(&request), EFI_NOT_FOUND);
}

TEST_F(RemapBarPpiTest, TheRequestIsSixBytesAndItsFourthIsNotRead) {
    const uint8_t raw[6] = {0, 0x17, 0, 0x5A, 0x00, 0x04};
    EXPECT_EQ(Ask(reinterpret_cast<const RemapBarRequest*>(raw)), EFI_SUCCESS);
    EXPECT_EQ(address_, 0xFE00C000u);
}

} // namespace
